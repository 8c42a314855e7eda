/* libg729a: the G.729 Annex A speech codec as a C library.
 *
 * One frame is 10 ms of 16-bit linear PCM at 8000 Hz, mono: 80 samples.
 * The encoder turns it into a 10-byte frame; the decoder turns a 10-byte
 * speech frame or a 2-byte SID frame (comfort noise) back into 80 samples,
 * and also conceals a lost frame and fills a DTX gap.
 *
 * Every function returns a negative G729A_* error code on failure (see
 * g729a_strerror). Nothing is allocated in g729a_encode or g729a_decode;
 * only the _create functions allocate. Calls on one state must not overlap;
 * different states are independent and may be used from different threads
 * at once. The results are bit-identical on every processor and vector path.
 *
 * Build with: pkg-config --cflags --libs g729a
 * or in CMake: find_package(g729a) and link the target g729a::g729a.
 */
#ifndef G729A_G729A_H
#define G729A_G729A_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Samples in one frame (10 ms at 8000 Hz). */
#define G729A_FRAME_SAMPLES 80
/* Bytes of a speech frame: what g729a_encode needs at least in max_bytes. */
#define G729A_FRAME_BYTES 10
/* Bytes of a SID (comfort noise) frame. */
#define G729A_SID_BYTES 2

/* Encoder flags. */
/* Discontinuous transmission: silence is sent as SID frames (2 bytes) or
 * not at all (0 bytes). */
#define G729A_DTX 1

/* Error codes. */
#define G729A_OK 0
/* A NULL pointer where one is required, unknown flag bits, or memory that
 * is not aligned for any type (as malloc returns). */
#define G729A_BAD_ARG (-1)
/* max_bytes is smaller than G729A_FRAME_BYTES. */
#define G729A_BUFFER_TOO_SMALL (-2)
/* A frame whose length is none of 10, 2 or 0. */
#define G729A_INVALID_PACKET (-3)
/* A feature this build of the library does not offer. */
#define G729A_UNSUPPORTED (-4)
/* Memory could not be allocated. */
#define G729A_ALLOC_FAIL (-5)

typedef struct G729AEncoder G729AEncoder;
typedef struct G729ADecoder G729ADecoder;

/* Bytes an encoder state needs, for callers who place it themselves. */
int g729a_encoder_get_size(void);

/* Prepares an encoder in caller memory of g729a_encoder_get_size() bytes,
 * aligned for any type. flags: 0 or G729A_DTX. Any previous content is
 * ignored. Returns G729A_OK or a negative error (the memory is untouched). */
int g729a_encoder_init(G729AEncoder* enc, int flags);

/* Allocates and prepares an encoder (flags as for g729a_encoder_init).
 * Returns NULL on failure; *error (when error is not NULL) receives
 * G729A_OK or the error. */
G729AEncoder* g729a_encoder_create(int flags, int* error);

/* Frees an encoder made by g729a_encoder_create. NULL is allowed. */
void g729a_encoder_destroy(G729AEncoder* enc);

/* Encodes one frame: pcm holds G729A_FRAME_SAMPLES samples; out receives
 * the frame and has room for max_bytes (at least G729A_FRAME_BYTES).
 * Returns the bytes written (10; with G729A_DTX also 2 for a SID frame or
 * 0 when nothing is to be sent) or a negative error, in which case the
 * state and out are untouched. */
int g729a_encode(G729AEncoder* enc, const int16_t* pcm, unsigned char* out, int max_bytes);

/* Bytes a decoder state needs, for callers who place it themselves. */
int g729a_decoder_get_size(void);

/* Prepares a decoder in caller memory of g729a_decoder_get_size() bytes,
 * aligned for any type. Returns G729A_OK or a negative error. */
int g729a_decoder_init(G729ADecoder* dec);

/* Allocates and prepares a decoder. Returns NULL on failure; *error (when
 * error is not NULL) receives G729A_OK or the error. */
G729ADecoder* g729a_decoder_create(int* error);

/* Frees a decoder made by g729a_decoder_create. NULL is allowed. */
void g729a_decoder_destroy(G729ADecoder* dec);

/* Decodes one frame into pcm (G729A_FRAME_SAMPLES samples):
 *   data != NULL, len 10: a speech frame;
 *   data != NULL, len 2:  a SID frame (comfort noise);
 *   data != NULL, len 0:  nothing was sent (a DTX gap): comfort noise goes
 *                         on, or concealment when the last frame was speech;
 *   data == NULL:         the frame was lost: concealment (len is ignored).
 * Returns G729A_FRAME_SAMPLES, or a negative error (G729A_INVALID_PACKET for
 * any other length) with the state and pcm untouched. */
int g729a_decode(G729ADecoder* dec, const unsigned char* data, int len, int16_t* pcm);

/* A short English description of an error code (never NULL). */
const char* g729a_strerror(int error);

/* The library's name and version, e.g. "libg729a 1.4.3". */
const char* g729a_version_string(void);

#ifdef __cplusplus
}
#endif

#endif /* G729A_G729A_H */
