/* check_vorn: the installed library seen from C, through vorn.h alone.
 *
 * Usage: check_vorn GOLDEN_DIR
 *
 * Every golden input must compress to exactly its stream and every stream
 * restore exactly its input, in one call and through the streaming calls
 * with input and output cut into pieces of many sizes; seven streams run at
 * once in four threads; damaged, truncated and otherwise wrong input and
 * wrong arguments must give their statuses. Each failure prints one line
 * starting with FAIL; the exit status is 1 when any check failed.
 */
#define _POSIX_C_SOURCE 200809L

#include <pthread.h>
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "vorn.h"

#include "tests/goldenrules.h"

#define WHOLE ((size_t)-1)
#define ALLBUT(k) (WHOLE - 1 - (k)) /* a count: all of the input but its last k bytes */
#define BROKEN 99 /* pump's status when the library breaks the call contract */

static pthread_mutex_t faillock = PTHREAD_MUTEX_INITIALIZER;
static int failures = 0;

static void fail(const char* fmt, ...)
{
    va_list ap;
    pthread_mutex_lock(&faillock);
    ++failures;
    fputs("FAIL ", stdout);
    va_start(ap, fmt);
    vprintf(fmt, ap);
    va_end(ap);
    fputc('\n', stdout);
    fflush(stdout);
    pthread_mutex_unlock(&faillock);
}

static void* allocate(size_t n)
{
    void* p = malloc(n > 0 ? n : 1);
    if (p == NULL) {
        fprintf(stderr, "check_vorn: out of memory (%lu bytes)\n", (unsigned long)n);
        exit(2);
    }
    return p;
}

/* ---- golden inputs and streams ------------------------------------------ */

typedef struct {
    unsigned char* data;
    size_t len;
} buffer;

static const char* folder;

static buffer readfile(const char* name)
{
    char path[4096];
    buffer b = {NULL, 0};
    size_t cap = 1 << 16;
    size_t n;
    FILE* f;
    snprintf(path, sizeof path, "%s/%s", folder, name);
    f = fopen(path, "rb");
    if (f == NULL) {
        fprintf(stderr, "check_vorn: cannot read %s\n", path);
        exit(2);
    }
    b.data = allocate(cap);
    while ((n = fread(b.data + b.len, 1, cap - b.len, f)) > 0) {
        b.len += n;
        if (b.len == cap) {
            unsigned char* grown = realloc(b.data, cap *= 2);
            if (grown == NULL) exit(2);
            b.data = grown;
        }
    }
    fclose(f);
    return b;
}

typedef struct {
    const char* name; /* the stream is NAME.vn */
    const struct goldenrule* rule;
    buffer in, vn;
} golden;

static golden goldens[GOLDEN_COUNT];
#define NGOLDEN GOLDEN_COUNT

static void loadgoldens(void)
{
    char name[256];
    size_t i;
    for (i = 0; i < NGOLDEN; ++i) {
        golden* g = &goldens[i];
        const struct goldenrule* r = &goldenrules[i];
        buffer file = {NULL, 0};
        if (r->file != NULL) file = readfile(r->file);
        g->name = r->name;
        g->rule = r;
        g->in.len = r->size;
        g->in.data = allocate(r->size);
        goldenmake(r, g->in.data, file.data, file.len);
        free(file.data);
        if (goldendigest(g->in.data, g->in.len) != r->digest) {
            fprintf(stderr, "check_vorn: the input %s is not the recorded one\n", g->name);
            exit(2);
        }
        snprintf(name, sizeof name, "%s.vn", g->name);
        g->vn = readfile(name);
    }
}

/* Fails unless got[0..gotlen) is want[0..wantlen), naming the first
 * differing offset. */
static int same(const char* what, const unsigned char* got, size_t gotlen, const unsigned char* want, size_t wantlen)
{
    size_t i, n = gotlen < wantlen ? gotlen : wantlen;
    for (i = 0; i < n && got[i] == want[i]; ++i) {
    }
    if (i == n && gotlen == wantlen) return 1;
    if (i < n)
        fail("%s: %lu bytes, expected %lu; first difference at offset %lu: %02X, expected %02X", what,
             (unsigned long)gotlen, (unsigned long)wantlen, (unsigned long)i, got[i], want[i]);
    else
        fail("%s: %lu bytes, expected %lu; the shorter is a prefix of the longer", what, (unsigned long)gotlen,
             (unsigned long)wantlen);
    return 0;
}

static void status(const char* what, int got, int want)
{
    if (got != want) fail("%s: status %d (%s), expected %d (%s)", what, got, vorn_strerror(got), want, vorn_strerror(want));
}

/* A one-shot call that must fail: the status, and *dstlen (set to 1 before
 * the call) back at 0. */
static void failed(const char* what, int got, int want, size_t dstlen)
{
    status(what, got, want);
    if (got < 0 && dstlen != 0) fail("%s: *dstlen is %lu after the failure, expected 0", what, (unsigned long)dstlen);
}

/* ---- the streaming loop -------------------------------------------------- */

typedef int (*stepfn)(void* coder, const void* src, size_t srclen, size_t* srcused, void* dst, size_t dstcap,
                      size_t* dstlen, int finish);

static int encstep(void* c, const void* src, size_t srclen, size_t* srcused, void* dst, size_t dstcap, size_t* dstlen,
                   int finish)
{
    return vorn_encode(c, src, srclen, srcused, dst, dstcap, dstlen, finish);
}

static int decstep(void* c, const void* src, size_t srclen, size_t* srcused, void* dst, size_t dstcap, size_t* dstlen,
                   int finish)
{
    return vorn_decode(c, src, srclen, srcused, dst, dstcap, dstlen, finish);
}

/* Runs src through a new encoder or decoder in pieces of inpiece bytes,
 * with at most outpiece bytes of room a call, into out (outcap bytes, its
 * length in *outlen). Returns the final status: VORN_OK, an error, or
 * BROKEN where the library broke the loop's contract (reported). Any call
 * after the final status must give VORN_E_STATE. */
static int pump(const char* what, int encode, int threads, const unsigned char* src, size_t srclen, size_t inpiece,
                size_t outpiece, unsigned char* out, size_t outcap, size_t* outlen)
{
    void* coder = encode ? (void*)vorn_encoder_new(threads) : (void*)vorn_decoder_new(threads);
    stepfn step = encode ? encstep : decstep;
    size_t pos = 0, got = 0, used, wrote;
    int rc = VORN_OK;
    if (coder == NULL) {
        fail("%s: no %s for threads %d", what, encode ? "encoder" : "decoder", threads);
        *outlen = 0;
        return BROKEN;
    }
    do {
        const size_t end = srclen - pos > inpiece ? pos + inpiece : srclen;
        const int finish = end == srclen;
        for (;;) {
            const size_t room = outcap - got < outpiece ? outcap - got : outpiece;
            used = wrote = 0;
            rc = step(coder, src + pos, end - pos, &used, out + got, room, &wrote, finish);
            if (used > end - pos || wrote > room) {
                fail("%s: a call took %lu of %lu bytes and wrote %lu into %lu", what, (unsigned long)used,
                     (unsigned long)(end - pos), (unsigned long)wrote, (unsigned long)room);
                rc = BROKEN;
                goto done;
            }
            pos += used;
            got += wrote;
            if (rc < 0) goto final;
            if (rc == VORN_OK) {
                if (pos != end) {
                    fail("%s: VORN_OK with %lu bytes of the piece not taken", what, (unsigned long)(end - pos));
                    rc = BROKEN;
                    goto done;
                }
                break;
            }
            if (rc != VORN_MORE) {
                fail("%s: unknown status %d", what, rc);
                rc = BROKEN;
                goto done;
            }
            if (room == 0 && used == 0) {
                fail("%s: more output than the %lu bytes of room", what, (unsigned long)outcap);
                rc = BROKEN;
                goto done;
            }
        }
    } while (pos < srclen);
final:
    {
        int after;
        unsigned char spare[16];
        used = wrote = 0;
        after = step(coder, spare, 0, &used, spare, sizeof spare, &wrote, 1);
        if (after != VORN_E_STATE)
            fail("%s: a call after the final status %d gave %d, expected VORN_E_STATE", what, rc, after);
    }
done:
    if (encode)
        vorn_encoder_free(coder);
    else
        vorn_decoder_free(coder);
    *outlen = got;
    return rc;
}

/* ---- checks -------------------------------------------------------------- */

static void oneshot(const golden* g)
{
    char what[256];
    const size_t bound = vorn_compress_bound(g->in.len);
    const size_t room = bound > g->vn.len ? bound : g->vn.len;
    unsigned char* out = allocate(room > g->in.len ? room : g->in.len);
    size_t n = 0;
    int rc;

    if (bound < g->vn.len)
        fail("%s: vorn_compress_bound %lu is below the stream's %lu bytes", g->name, (unsigned long)bound,
             (unsigned long)g->vn.len);
    snprintf(what, sizeof what, "%s: vorn_compress", g->name);
    rc = vorn_compress(out, bound, &n, g->in.data, g->in.len);
    status(what, rc, VORN_OK);
    if (rc == VORN_OK) same(what, out, n, g->vn.data, g->vn.len);
    snprintf(what, sizeof what, "%s: vorn_compress into exactly the stream's length", g->name);
    status(what, vorn_compress(out, g->vn.len, &n, g->in.data, g->in.len), VORN_OK);
    snprintf(what, sizeof what, "%s: vorn_compress into one byte less than the stream", g->name);
    n = 1;
    rc = vorn_compress(out, g->vn.len - 1, &n, g->in.data, g->in.len);
    failed(what, rc, VORN_E_DSTSIZE, n);

    snprintf(what, sizeof what, "%s: vorn_decompress", g->name);
    rc = vorn_decompress(out, g->in.len, &n, g->vn.data, g->vn.len);
    status(what, rc, VORN_OK);
    if (rc == VORN_OK) same(what, out, n, g->in.data, g->in.len);
    snprintf(what, sizeof what, "%s: vorn_decompress into one byte less than the input", g->name);
    n = 1;
    rc = vorn_decompress(out, g->in.len - 1, &n, g->vn.data, g->vn.len);
    failed(what, rc, VORN_E_DSTSIZE, n);
    free(out);
}

static const size_t pieces[] = {1, 7, 4096, WHOLE};
#define NPIECES (sizeof pieces / sizeof pieces[0])
#define SMALL 300000 /* 1-byte pieces only on sides up to this long */

static void piecename(char* s, size_t piece)
{
    if (piece == WHOLE)
        strcpy(s, "whole");
    else
        sprintf(s, "%lu", (unsigned long)piece);
}

/* Every golden input through the encoder and every stream through the
 * decoder, with every pair of piece sizes and both thread counts. */
static void streaming(const golden* g)
{
    char what[256], a[24], b[24];
    const size_t bound = vorn_compress_bound(g->in.len);
    unsigned char* out = allocate(bound > g->in.len + 1 ? bound : g->in.len + 1);
    size_t i, j, n;
    int threads, encode, rc;
    for (encode = 1; encode >= 0; --encode) {
        const buffer* src = encode ? &g->in : &g->vn;
        const buffer* want = encode ? &g->vn : &g->in;
        for (i = 0; i < NPIECES; ++i) {
            if (pieces[i] == 1 && src->len > SMALL) continue;
            for (j = 0; j < NPIECES; ++j) {
                if (pieces[j] == 1 && want->len > SMALL) continue;
                for (threads = 1; threads <= 2; ++threads) {
                    piecename(a, pieces[i]);
                    piecename(b, pieces[j]);
                    snprintf(what, sizeof what, "%s: %s, threads %d, pieces of %s in and %s out", g->name,
                             encode ? "vorn_encode" : "vorn_decode", threads, a, b);
                    rc = pump(what, encode, threads, src->data, src->len, pieces[i], pieces[j], out,
                              encode ? bound : want->len + 1, &n);
                    if (rc != BROKEN) status(what, rc, VORN_OK);
                    if (rc == VORN_OK) same(what, out, n, want->data, want->len);
                }
            }
        }
    }
    free(out);
}

static void* concurrent(void* arg)
{
    const int id = *(const int*)arg;
    char what[256];
    size_t i, n;
    int rc;
    for (i = (size_t)id; i < NGOLDEN; i += 4) {
        const golden* g = &goldens[i];
        const size_t bound = vorn_compress_bound(g->in.len);
        unsigned char* out = allocate(bound > g->in.len + 1 ? bound : g->in.len + 1);
        snprintf(what, sizeof what, "%s: vorn_encode in POSIX thread %d", g->name, id);
        rc = pump(what, 1, 1 + id % 2, g->in.data, g->in.len, 4096, 4096, out, bound, &n);
        if (rc != BROKEN) status(what, rc, VORN_OK);
        if (rc == VORN_OK) same(what, out, n, g->vn.data, g->vn.len);
        snprintf(what, sizeof what, "%s: vorn_decode in POSIX thread %d", g->name, id);
        rc = pump(what, 0, 2 - id % 2, g->vn.data, g->vn.len, 4096, 4096, out, g->in.len + 1, &n);
        if (rc != BROKEN) status(what, rc, VORN_OK);
        if (rc == VORN_OK) same(what, out, n, g->in.data, g->in.len);
        free(out);
    }
    return NULL;
}

/* All seven golden inputs at once, one to three streams in each of four
 * threads. */
static void threads4(void)
{
    pthread_t t[4];
    int ids[4], i, started[4];
    for (i = 0; i < 4; ++i) {
        ids[i] = i;
        started[i] = pthread_create(&t[i], NULL, concurrent, &ids[i]) == 0;
        if (!started[i]) fail("pthread_create for thread %d", i);
    }
    for (i = 0; i < 4; ++i)
        if (started[i]) pthread_join(t[i], NULL);
}

/* A stream that is broken somehow: both ways of decoding must give the
 * status, and the decoder must hand out exactly the first `keep` bytes of
 * the input (the blocks before the fault) and nothing of a broken block. */
typedef struct {
    const char* what;
    int from;      /* index into goldens */
    size_t cut;    /* keep this many bytes of the stream (WHOLE: all) */
    long at;       /* byte to change, -1: none */
    int set;       /* ... to this value, -1: keep it */
    int flip;      /* ... then xor this into it */
    const char* append;
    int want;
    size_t keep; /* bytes handed out: a count, WHOLE or ALLBUT(k) */
} broken;

static void brokenstreams(void)
{
    static const broken cases[] = {
        {"grammar.lsp.vn, its first byte only", 0, 1, -1, -1, 0, "", VORN_E_TRUNCATED, 0},
        {"grammar.lsp.vn, its first 4 bytes", 0, 4, -1, -1, 0, "", VORN_E_TRUNCATED, 0},
        {"grammar.lsp.vn, its first 600 bytes", 0, 600, -1, -1, 0, "", VORN_E_TRUNCATED, 0},
        {"grammar.lsp.vn without its last 5 bytes", 0, 1213 - 5, -1, -1, 0, "", VORN_E_TRUNCATED, 0},
        {"grammar.lsp.vn without its last byte", 0, 1213 - 1, -1, -1, 0, "", VORN_E_TRUNCATED, 0},
        {"alice_2m+3.vn without its last 3 bytes", 5, 430607 - 3, -1, -1, 0, "", VORN_E_TRUNCATED, ALLBUT(3)},
        {"grammar.lsp.vn with header byte 22", 0, WHOLE, 0, 22, 0, "", VORN_E_DAMAGED, 0},
        {"grammar.lsp.vn with header byte 255", 0, WHOLE, 0, 255, 0, "", VORN_E_DAMAGED, 0},
        {"grammar.lsp.vn with byte 1 set to 01", 0, WHOLE, 1, 1, 0, "", VORN_E_DAMAGED, 0},
        {"alice29.txt.vn with bit 4 of byte 20000 flipped", 1, WHOLE, 20000, -1, 0x10, "", VORN_E_DAMAGED, 0},
        {"grammar.lsp.vn followed by \"xyz\"", 0, WHOLE, -1, -1, 0, "xyz", VORN_E_TRAILING, WHOLE},
        {"alice_2m+3.vn followed by \"xyz\"", 5, WHOLE, -1, -1, 0, "xyz", VORN_E_TRAILING, WHOLE},
    };
    char what[320];
    size_t c, n;
    int run, rc;
    for (c = 0; c < sizeof cases / sizeof cases[0]; ++c) {
        const broken* k = &cases[c];
        const golden* g = &goldens[k->from];
        const size_t cut = k->cut == WHOLE ? g->vn.len : k->cut;
        const size_t keep = k->keep == WHOLE            ? g->in.len
                            : k->keep > WHOLE - 1 - 64 ? g->in.len - (WHOLE - 1 - k->keep)
                                                       : k->keep;
        const size_t extra = strlen(k->append);
        unsigned char* src = allocate(cut + extra);
        unsigned char* out = allocate(g->in.len + 1);
        memcpy(src, g->vn.data, cut);
        memcpy(src + cut, k->append, extra);
        if (k->at >= 0) {
            if (k->set >= 0) src[k->at] = (unsigned char)k->set;
            src[k->at] ^= (unsigned char)k->flip;
        }

        snprintf(what, sizeof what, "%s: vorn_decompress", k->what);
        n = 1;
        rc = vorn_decompress(out, g->in.len, &n, src, cut + extra);
        failed(what, rc, k->want, n);
        for (run = 0; run < 4; ++run) {
            const int threads = 1 + run % 2;
            const size_t piece = run < 2 ? WHOLE : 7;
            snprintf(what, sizeof what, "%s: vorn_decode, threads %d, pieces of %s", k->what, threads,
                     piece == WHOLE ? "whole" : "7");
            rc = pump(what, 0, threads, src, cut + extra, piece, piece, out, g->in.len + 1, &n);
            if (rc == BROKEN) continue;
            status(what, rc, k->want);
            if (n != keep)
                fail("%s: handed out %lu bytes before the status, expected %lu", what, (unsigned long)n,
                     (unsigned long)keep);
            else
                same(what, out, n, g->in.data, n);
        }
        free(src);
        free(out);
    }
}

/* Two streams one after the other restore as their inputs one after the
 * other. */
static void concatenated(void)
{
    const golden *a = &goldens[0], *b = &goldens[1];
    const size_t srclen = a->vn.len + b->vn.len, wantlen = a->in.len + b->in.len;
    unsigned char* src = allocate(srclen);
    unsigned char* want = allocate(wantlen);
    unsigned char* out = allocate(wantlen + 1);
    size_t n;
    int rc;
    memcpy(src, a->vn.data, a->vn.len);
    memcpy(src + a->vn.len, b->vn.data, b->vn.len);
    memcpy(want, a->in.data, a->in.len);
    memcpy(want + a->in.len, b->in.data, b->in.len);
    rc = vorn_decompress(out, wantlen, &n, src, srclen);
    status("grammar.lsp.vn then alice29.txt.vn: vorn_decompress", rc, VORN_OK);
    if (rc == VORN_OK) same("grammar.lsp.vn then alice29.txt.vn: vorn_decompress", out, n, want, wantlen);
    rc = pump("grammar.lsp.vn then alice29.txt.vn: vorn_decode", 0, 2, src, srclen, 4096, 4096, out, wantlen + 1, &n);
    if (rc != BROKEN) status("grammar.lsp.vn then alice29.txt.vn: vorn_decode", rc, VORN_OK);
    if (rc == VORN_OK) same("grammar.lsp.vn then alice29.txt.vn: vorn_decode", out, n, want, wantlen);
    free(src);
    free(want);
    free(out);
}

/* The empty input: compressed to the empty stream, and no input at all to
 * restore. */
static void empty(void)
{
    static const unsigned char emptystream[] = {0x00, 0x80, 0x00, 0x00, 0x00};
    unsigned char out[64];
    size_t n = 0;
    int rc;
    rc = vorn_compress(out, sizeof out, &n, NULL, 0);
    status("vorn_compress of no bytes (src NULL)", rc, VORN_OK);
    if (rc == VORN_OK) same("vorn_compress of no bytes", out, n, emptystream, sizeof emptystream);
    rc = pump("vorn_encode of no bytes", 1, 1, emptystream, 0, WHOLE, WHOLE, out, sizeof out, &n);
    if (rc != BROKEN) status("vorn_encode of no bytes", rc, VORN_OK);
    if (rc == VORN_OK) same("vorn_encode of no bytes", out, n, emptystream, sizeof emptystream);
    rc = vorn_decompress(out, sizeof out, &n, emptystream, sizeof emptystream);
    status("vorn_decompress of the empty stream", rc, VORN_OK);
    if (rc == VORN_OK && n != 0) fail("vorn_decompress of the empty stream: %lu bytes", (unsigned long)n);

    n = 1;
    rc = vorn_decompress(out, sizeof out, &n, emptystream, 0);
    failed("vorn_decompress of no bytes", rc, VORN_E_EMPTY, n);
    n = 1;
    rc = vorn_decompress(out, sizeof out, &n, NULL, 0);
    failed("vorn_decompress of no bytes (src NULL)", rc, VORN_E_EMPTY, n);
    rc = pump("vorn_decode of no bytes", 0, 1, emptystream, 0, WHOLE, WHOLE, out, sizeof out, &n);
    if (rc != BROKEN) status("vorn_decode of no bytes", rc, VORN_E_EMPTY);
}

static int encode1(const void* src, size_t srclen, size_t* srcused, void* dst, size_t dstcap, size_t* dstlen)
{
    vorn_encoder* e = vorn_encoder_new(1);
    const int rc = vorn_encode(e, src, srclen, srcused, dst, dstcap, dstlen, 1);
    vorn_encoder_free(e);
    return rc;
}

static int decode1(const void* src, size_t srclen, size_t* srcused, void* dst, size_t dstcap, size_t* dstlen)
{
    vorn_decoder* d = vorn_decoder_new(1);
    const int rc = vorn_decode(d, src, srclen, srcused, dst, dstcap, dstlen, 1);
    vorn_decoder_free(d);
    return rc;
}

static void arguments(void)
{
    static const unsigned char banana[] = "banana";
    static const unsigned char vn[] = {0x03, 0x00, 0xF3, 0xE8, 0x07, 0x08, 0x31, 0x5E, 0x72, 0x35, 0x3F, 0x5B, 0x87, 0xF2};
    unsigned char dst[64];
    size_t n, used;
    const struct {
        const char* what;
        int got, want;
    } calls[] = {
        {"vorn_compress, dst NULL with dstcap 64", vorn_compress(NULL, 64, &n, banana, 6), VORN_E_ARGUMENT},
        {"vorn_compress, src NULL with srclen 6", vorn_compress(dst, 64, &n, NULL, 6), VORN_E_ARGUMENT},
        {"vorn_compress, dstlen NULL", vorn_compress(dst, 64, NULL, banana, 6), VORN_E_ARGUMENT},
        {"vorn_compress into 13 bytes", vorn_compress(dst, 13, &n, banana, 6), VORN_E_DSTSIZE},
        {"vorn_compress into dst NULL with dstcap 0", vorn_compress(NULL, 0, &n, banana, 6), VORN_E_DSTSIZE},
        {"vorn_decompress, dst NULL with dstcap 64", vorn_decompress(NULL, 64, &n, vn, sizeof vn), VORN_E_ARGUMENT},
        {"vorn_decompress, src NULL with srclen 14", vorn_decompress(dst, 64, &n, NULL, sizeof vn), VORN_E_ARGUMENT},
        {"vorn_decompress, dstlen NULL", vorn_decompress(dst, 64, NULL, vn, sizeof vn), VORN_E_ARGUMENT},
        {"vorn_decompress into 5 bytes", vorn_decompress(dst, 5, &n, vn, sizeof vn), VORN_E_DSTSIZE},
        {"vorn_decompress into dst NULL with dstcap 0", vorn_decompress(NULL, 0, &n, vn, sizeof vn), VORN_E_DSTSIZE},
        {"vorn_encode, encoder NULL", vorn_encode(NULL, banana, 6, &used, dst, 64, &n, 1), VORN_E_ARGUMENT},
        {"vorn_encode, src NULL with srclen 6", encode1(NULL, 6, &used, dst, 64, &n), VORN_E_ARGUMENT},
        {"vorn_encode, dst NULL with dstcap 64", encode1(banana, 6, &used, NULL, 64, &n), VORN_E_ARGUMENT},
        {"vorn_encode, srcused NULL", encode1(banana, 6, NULL, dst, 64, &n), VORN_E_ARGUMENT},
        {"vorn_encode, dstlen NULL", encode1(banana, 6, &used, dst, 64, NULL), VORN_E_ARGUMENT},
        {"vorn_decode, decoder NULL", vorn_decode(NULL, vn, sizeof vn, &used, dst, 64, &n, 1), VORN_E_ARGUMENT},
        {"vorn_decode, src NULL with srclen 14", decode1(NULL, sizeof vn, &used, dst, 64, &n), VORN_E_ARGUMENT},
        {"vorn_decode, dst NULL with dstcap 64", decode1(vn, sizeof vn, &used, NULL, 64, &n), VORN_E_ARGUMENT},
        {"vorn_decode, srcused NULL", decode1(vn, sizeof vn, NULL, dst, 64, &n), VORN_E_ARGUMENT},
        {"vorn_decode, dstlen NULL", decode1(vn, sizeof vn, &used, dst, 64, NULL), VORN_E_ARGUMENT},
    };
    size_t i;
    for (i = 0; i < sizeof calls / sizeof calls[0]; ++i) status(calls[i].what, calls[i].got, calls[i].want);

    {
        static const int bad[] = {-1, 3, 1000};
        for (i = 0; i < sizeof bad / sizeof bad[0]; ++i) {
            vorn_encoder* e = vorn_encoder_new(bad[i]);
            vorn_decoder* d = vorn_decoder_new(bad[i]);
            if (e != NULL || d != NULL) fail("vorn_encoder_new or vorn_decoder_new with threads %d gave an object", bad[i]);
            vorn_encoder_free(e);
            vorn_decoder_free(d);
        }
        vorn_encoder_free(NULL);
        vorn_decoder_free(NULL);
    }
    {
        /* threads 0 picks a count by itself, and the bytes are the same */
        vorn_encoder* e = vorn_encoder_new(0);
        int rc;
        if (e == NULL) {
            fail("vorn_encoder_new(0) gave NULL");
            return;
        }
        rc = vorn_encode(e, banana, 6, &used, dst, sizeof dst, &n, 1);
        status("vorn_encode of banana, threads 0", rc, VORN_OK);
        if (rc == VORN_OK) same("vorn_encode of banana, threads 0", dst, n, vn, sizeof vn);
        vorn_encoder_free(e);
    }
}

static void texts(void)
{
    const char* v = vorn_version();
    int s, major = -1, minor = -1;
    char tail = 0;
    if (v == NULL || sscanf(v, "%d.%d%c", &major, &minor, &tail) != 2 || major < 0 || minor < 0)
        fail("vorn_version gives \"%s\", not major.minor", v != NULL ? v : "(NULL)");
    for (s = VORN_E_STATE - 2; s <= VORN_MORE + 2; ++s) {
        const char* t = vorn_strerror(s);
        int o;
        if (t == NULL || t[0] == '\0') {
            fail("vorn_strerror(%d) is empty", s);
            continue;
        }
        for (o = VORN_E_STATE; o < s && s <= VORN_MORE; ++o)
            if (vorn_strerror(o) != NULL && strcmp(t, vorn_strerror(o)) == 0) fail("vorn_strerror gives \"%s\" for both %d and %d", t, o, s);
    }
    if (vorn_compress_bound((size_t)-1) != 0) fail("vorn_compress_bound(SIZE_MAX) is not 0");
    if (vorn_compress_bound(0) < 5) fail("vorn_compress_bound(0) is below the 5 bytes of the empty stream");
}

int main(int argc, char** argv)
{
    size_t i;
    if (argc != 2) {
        fprintf(stderr, "usage: check_vorn GOLDEN_DIR\n");
        return 2;
    }
    folder = argv[1];
    loadgoldens();
    texts();
    arguments();
    empty();
    for (i = 0; i < NGOLDEN; ++i) oneshot(&goldens[i]);
    for (i = 0; i < NGOLDEN; ++i) streaming(&goldens[i]);
    threads4();
    brokenstreams();
    concatenated();
    for (i = 0; i < NGOLDEN; ++i) {
        free(goldens[i].in.data);
        free(goldens[i].vn.data);
    }
    if (failures > 0) {
        printf("check_vorn: %d checks failed\n", failures);
        return 1;
    }
    printf("check_vorn: all checks passed\n");
    return 0;
}
