/* 16-bit PCM (8 kHz, mono, native order) on stdin to G.729A frames on stdout. */
#include <g729a/g729a.h>
#include <stdio.h>

int main(void) {
  int16_t pcm[G729A_FRAME_SAMPLES];
  unsigned char frame[G729A_FRAME_BYTES];
  int n = 0;
  G729AEncoder* enc = g729a_encoder_create(0, &n);
  if (enc == NULL) return 1;
  while (n >= 0 && fread(pcm, sizeof pcm, 1, stdin) == 1) {
    n = g729a_encode(enc, pcm, frame, sizeof frame);
    if (n > 0) fwrite(frame, 1, (size_t)n, stdout);
  }
  g729a_encoder_destroy(enc);
  return n < 0 || fflush(stdout) != 0;
}
