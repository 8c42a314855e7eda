/* A C99 program on the library: the header compiles as plain C (this file
 * is built with -std=c99 -pedantic -Werror), and a second of a tone goes
 * through a created encoder and a decoder placed in malloc'd memory. Exit
 * status 0 when every call returns what the header promises. */
#include <g729a/g729a.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>

int main(void) {
  int16_t pcm[G729A_FRAME_SAMPLES], out[G729A_FRAME_SAMPLES];
  unsigned char frame[G729A_FRAME_BYTES];
  int error = 1, n, f, ok;
  G729AEncoder* enc = g729a_encoder_create(0, &error);
  G729ADecoder* dec = (G729ADecoder*)malloc((size_t)g729a_decoder_get_size());

  ok = enc != NULL && error == G729A_OK && dec != NULL && g729a_decoder_init(dec) == G729A_OK;
  for (f = 0; f < 100 && ok; ++f) {
    for (n = 0; n < G729A_FRAME_SAMPLES; ++n) {
      pcm[n] = (int16_t)(8000.0 *
                         sin(2.0 * 3.14159265 * 440.0 * (f * G729A_FRAME_SAMPLES + n) / 8000.0));
    }
    ok = g729a_encode(enc, pcm, frame, sizeof frame) == G729A_FRAME_BYTES &&
         g729a_decode(dec, frame, G729A_FRAME_BYTES, out) == G729A_FRAME_SAMPLES;
  }
  g729a_encoder_destroy(enc);
  free(dec);
  fprintf(ok ? stdout : stderr, "%s %s\n", ok ? "C program: ok," : "FAIL:", g729a_version_string());
  return ok ? 0 : 1;
}
