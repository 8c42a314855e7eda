/* A C99 program on the library: the header compiles as plain C (this file
 * is built with -std=c99 -pedantic -Werror), and encoding and decoding work
 * through both the created and the caller-placed states. Exit status 0 when
 * every check holds; each failed check is named on stderr. */
#include <g729a/g729a.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static int failures = 0;

static void check(int ok, const char* what) {
  if (!ok) {
    fprintf(stderr, "FAIL: %s\n", what);
    ++failures;
  }
}

int main(void) {
  int16_t pcm[G729A_FRAME_SAMPLES], out[G729A_FRAME_SAMPLES];
  unsigned char frame[G729A_FRAME_BYTES];
  double in_energy = 0.0, out_energy = 0.0;
  int error = 1, n, f;
  G729AEncoder* enc = g729a_encoder_create(0, &error);
  G729ADecoder* dec = (G729ADecoder*)malloc((size_t)g729a_decoder_get_size());

  check(enc != NULL && error == G729A_OK, "g729a_encoder_create");
  check(dec != NULL && g729a_decoder_init(dec) == G729A_OK, "g729a_decoder_init");
  if (enc == NULL || dec == NULL) return 1;
  /* Half a second of a 440 Hz tone. */
  for (f = 0; f < 50; ++f) {
    for (n = 0; n < G729A_FRAME_SAMPLES; ++n) {
      pcm[n] = (int16_t)(8000.0 * sin(2.0 * 3.141592653589793 * 440.0 *
                                      (f * G729A_FRAME_SAMPLES + n) / 8000.0));
    }
    check(g729a_encode(enc, pcm, frame, sizeof frame) == G729A_FRAME_BYTES, "g729a_encode");
    check(g729a_decode(dec, frame, G729A_FRAME_BYTES, out) == G729A_FRAME_SAMPLES, "g729a_decode");
    if (f >= 10) {
      for (n = 0; n < G729A_FRAME_SAMPLES; ++n) {
        in_energy += (double)pcm[n] * pcm[n];
        out_energy += (double)out[n] * out[n];
      }
    }
  }
  /* The tone comes back at about its level. */
  check(out_energy > 0.5 * in_energy && out_energy < 2.0 * in_energy, "decoded level");
  check(g729a_decode(dec, NULL, 0, out) == G729A_FRAME_SAMPLES, "lost frame");
  check(g729a_decode(dec, frame, 5, out) == G729A_INVALID_PACKET, "bad length refused");
  check(g729a_encode(enc, pcm, frame, 9) == G729A_BUFFER_TOO_SMALL, "small buffer refused");
  check(g729a_encoder_init(enc, 2) == G729A_BAD_ARG, "unknown flag refused");
  check(strncmp(g729a_version_string(), "libg729a ", 9) == 0, "version string");
  check(strcmp(g729a_strerror(G729A_BAD_ARG), "invalid argument") == 0, "g729a_strerror");
  g729a_encoder_destroy(enc);
  free(dec);
  if (failures == 0) printf("C program: ok (%s)\n", g729a_version_string());
  return failures == 0 ? 0 : 1;
}
