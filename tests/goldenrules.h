/* The golden inputs: for each stream NAME.vn of tests/data/golden, the
 * input it was written for, kept there as a file or made here by a fixed
 * rule, with its length and digest. C99 and C++ alike: read by the C++
 * tests (tests/goldens.h) and by the install check's C program
 * (tests/c/check_vorn.c). */
#ifndef VORN_TESTS_GOLDENRULES_H
#define VORN_TESTS_GOLDENRULES_H

#include <stddef.h>
#include <stdint.h>

enum goldenkind {
    golden_file,     /* the file of tests/data/golden named `file` */
    golden_repeat,   /* that file repeated to the length */
    golden_hash,     /* byte i: the top byte of i * 2654435761 */
    golden_xorshift, /* a 32-bit xorshift from 2463534242, its low byte */
    golden_steps,    /* runs of 1 + (k * 53) % 500 bytes of value k */
    golden_zeros     /* zero bytes */
};

struct goldenrule {
    const char* name;     /* the stream is NAME.vn */
    size_t size;          /* of the input */
    uint64_t digest;      /* the input's FNV-1a: guards the rules and the files */
    enum goldenkind kind;
    const char* file;     /* golden_file and golden_repeat */
};

static const struct goldenrule goldenrules[] = {
    {"grammar.lsp", 3721, 0xF79E4B3D0BB30B76u, golden_file, "grammar.lsp"},
    {"alice29.txt", 152089, 0xFDC9AA73646EC76Eu, golden_file, "alice29.txt"},
    {"hash100k", 100000, 0xDE7C8A81746B1E92u, golden_hash, NULL},
    {"xorshift64k", 65536, 0x98ACDB15E0C1C402u, golden_xorshift, NULL},
    {"steps250k", 250000, 0x5AABF6F8060CB5B5u, golden_steps, NULL},
    {"alice_2m+3", 2097155, 0xC57189F1A8F3E4D7u, golden_repeat, "alice29.txt"},
    {"zeros_4m+5", 4194309, 0xBB7C016A342BE94Fu, golden_zeros, NULL},
};
#define GOLDEN_COUNT (sizeof goldenrules / sizeof goldenrules[0])

/* FNV-1a, 64 bits. */
static inline uint64_t goldendigest(const unsigned char* p, size_t n)
{
    uint64_t h = 0xCBF29CE484222325u;
    size_t i;
    for (i = 0; i < n; ++i) h = (h ^ p[i]) * 0x100000001B3u;
    return h;
}

/* Fills out[0..g->size) by the rule; for the two kinds read from a file,
 * from the file's filelen bytes at file. */
static inline void goldenmake(const struct goldenrule* g, unsigned char* out, const unsigned char* file, size_t filelen)
{
    size_t i, n = 0;
    uint32_t x = 2463534242u, k, j;
    switch (g->kind) {
    case golden_file:
    case golden_repeat:
        for (i = 0; i < g->size; ++i) out[i] = file[i % filelen];
        break;
    case golden_hash:
        for (i = 0; i < g->size; ++i) out[i] = (unsigned char)((uint32_t)((uint32_t)i * 2654435761u) >> 24);
        break;
    case golden_xorshift:
        for (i = 0; i < g->size; ++i) {
            x ^= x << 13;
            x ^= x >> 17;
            x ^= x << 5;
            out[i] = (unsigned char)x;
        }
        break;
    case golden_steps:
        for (k = 0; n < g->size; ++k)
            for (j = 0; j < 1 + (k * 53) % 500 && n < g->size; ++j) out[n++] = (unsigned char)k;
        break;
    case golden_zeros:
        for (i = 0; i < g->size; ++i) out[i] = 0;
        break;
    }
}

#endif
