/* libvorn: lossless block-sorting compression.
 *
 * A stream is compressed in blocks of up to 2 MiB, each reordered by an
 * order-4 sort transform and coded by an adaptive symbol model over a range
 * coder. The streams are those of the vorn and unvorn programs, byte for
 * byte: either side may write what the other reads.
 *
 * Usable from C99 and C++. Every call returns a status: VORN_OK, VORN_MORE,
 * or one of the VORN_E_ errors below (all negative). The library prints
 * nothing, never exits and never raises a signal. Encoders and decoders
 * share nothing: any number may run at once, in one thread or in several.
 *
 * Memory: an encoder holds at most about 13 MiB (two blocks of input, the
 * sort's working storage, the coded output of a quarter block), a decoder
 * at most about 25 MiB (two decoded blocks and their restored bytes, and
 * the inverse transform's tables, of which text takes less). The one-shot
 * calls use one of either for the length of the call.
 */
#ifndef VORN_H
#define VORN_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(VORN_BUILDING) && defined(__GNUC__)
#define VORN_API __attribute__((visibility("default")))
#else
#define VORN_API
#endif

enum {
    VORN_OK = 0,            /* done: everything given is taken, nothing is pending */
    VORN_MORE = 1,          /* call again: output is pending, or input is left */
    VORN_END = 2,           /* a decoder that stops at each end: a stream has ended */
    VORN_E_ARGUMENT = -1,   /* a null pointer with a nonzero size, or another impossible argument */
    VORN_E_NOMEMORY = -2,   /* working storage could not be allocated */
    VORN_E_DSTSIZE = -3,    /* one-shot calls: dstcap is too small for the result */
    VORN_E_TRUNCATED = -4,  /* the compressed input ends inside a stream */
    VORN_E_DAMAGED = -5,    /* the compressed input breaks the format */
    VORN_E_TRAILING = -6,   /* bytes after the last stream begin no stream */
    VORN_E_EMPTY = -7,      /* the compressed input holds no byte at all */
    VORN_E_STATE = -8       /* a call after the end or a failure, or one that breaks a finish given before */
};

/* The library's version, as "major.minor". */
VORN_API const char* vorn_version(void);

/* A short text for every status, and for any other value. */
VORN_API const char* vorn_strerror(int status);

/* Room that always suffices for compressing n bytes, whatever they hold;
 * 0 when that room would not fit a size_t. */
VORN_API size_t vorn_compress_bound(size_t n);

/* One-shot calls: the whole of src in, the whole result into dst, its
 * length in *dstlen. VORN_E_DSTSIZE when dst is too small; after any
 * failure *dstlen is 0 and the contents of dst are unspecified.
 * vorn_decompress restores every stream of src, one after the other; it
 * fails with VORN_E_EMPTY on an empty src. Both take threads 0 (see
 * below). */
VORN_API int vorn_compress(void* dst, size_t dstcap, size_t* dstlen, const void* src, size_t srclen);
VORN_API int vorn_decompress(void* dst, size_t dstcap, size_t* dstlen, const void* src, size_t srclen);

/* Streaming. Each call takes what it can of src (*srcused bytes) and writes
 * what fits into dst (*dstlen bytes); either may be 0 bytes long. It returns
 * VORN_MORE while the caller must call again, with more output room or
 * (without finish) more input, and VORN_OK once everything given has been
 * taken and no output is pending. Any way of cutting the input and the
 * output into pieces gives the same bytes.
 *
 * finish nonzero says no input follows what src holds: VORN_OK then means
 * the whole stream has been written, or every stream restored, and any
 * further call returns VORN_E_STATE. Once a call has said finish, every
 * later call must say it again and hold exactly the input that the calls
 * before left untaken (srclen - *srcused of the call before, in whatever
 * memory): a call that withdraws finish or brings other input returns
 * VORN_E_STATE and does nothing else; the stream goes on, and what it has
 * written stays valid.
 *
 * After an error (a negative status) the stream takes no more calls: any
 * further call returns VORN_E_STATE. *srcused and *dstlen still count what
 * the failing call took and wrote, and what a decoder wrote is good to
 * keep (see below); VORN_E_ARGUMENT and a refused call leave the stream as
 * it was, with both counts 0.
 *
 * threads: 1 or 2 (block k+1 is sorted while block k is coded, or block k
 * is restored while block k+1 is decoded); 0: two where the process may run
 * on two processors, else one. The second thread starts only once a stream
 * has a second block: a one-block stream, and so any one-shot call on a
 * block or less, runs on the caller's thread alone. NULL when the encoder
 * or decoder cannot be allocated or threads is out of range. Freeing NULL
 * does nothing. */
typedef struct vorn_encoder vorn_encoder;
VORN_API vorn_encoder* vorn_encoder_new(int threads);
VORN_API int vorn_encode(vorn_encoder* e, const void* src, size_t srclen, size_t* srcused, void* dst, size_t dstcap,
                         size_t* dstlen, int finish);
VORN_API void vorn_encoder_free(vorn_encoder* e);

/* The decoder restores streams that follow one another. After a complete
 * stream, bytes that begin no stream end the run with VORN_E_TRAILING once
 * everything before them is handed out; zero bytes (padding, as block
 * devices and tapes add) begin no stream. Every byte of a stream is
 * handed out as soon as the input holds the stream's last byte, with or
 * without finish.
 *
 * Failures: VORN_E_TRUNCATED when the input given with finish ends inside
 * a stream (the decoder had to read past its end to get as far as it
 * did); VORN_E_DAMAGED when the stream breaks the format before that.
 * Either is reported once the blocks before it are handed out, and the
 * bytes handed out, in that call and the calls before, are whole blocks
 * that passed every check: the blocks before the damage. The format has no
 * checksum: a block can pass every check and still be damaged, and then
 * comes out as it decodes. What is promised is that the decoder stops at
 * the first check that fails, hands out nothing of the block that failed
 * it or of anything after it, never reads or writes outside its buffers,
 * and never writes without bound.
 *
 * vorn_decoder_stop_at_end, called before the first vorn_decode, makes d
 * stop at the end of each stream: the call that hands out a stream's last
 * byte returns VORN_END, with *srcused counting the input exactly up to the
 * stream's last byte and nothing after it, so that the caller keeps what
 * follows (a stream inside a container, messages on a connection). What
 * follows is not examined; a further call starts on a new stream, as a new
 * decoder would. VORN_OK, or VORN_E_STATE once vorn_decode has been
 * called, or VORN_E_ARGUMENT for NULL. */
typedef struct vorn_decoder vorn_decoder;
VORN_API vorn_decoder* vorn_decoder_new(int threads);
VORN_API int vorn_decode(vorn_decoder* d, const void* src, size_t srclen, size_t* srcused, void* dst, size_t dstcap,
                         size_t* dstlen, int finish);
VORN_API int vorn_decoder_stop_at_end(vorn_decoder* d);
VORN_API void vorn_decoder_free(vorn_decoder* d);

#ifdef __cplusplus
}
#endif

#endif
