/* G.729A frames (10 bytes each) on stdin to 16-bit PCM on stdout; with an
 * argument N, every Nth frame is treated as lost. */
#include <g729a/g729a.h>
#include <stdio.h>
#include <stdlib.h>

int main(int argc, char** argv) {
  unsigned char frame[G729A_FRAME_BYTES];
  int16_t pcm[G729A_FRAME_SAMPLES];
  long lose_every = argc > 1 ? atol(argv[1]) : 0, count = 0;
  int error, n = 0;
  G729ADecoder* dec = g729a_decoder_create(&error);
  if (dec == NULL) {
    fprintf(stderr, "g729a_decoder_create: %s\n", g729a_strerror(error));
    return 1;
  }
  while (fread(frame, sizeof frame, 1, stdin) == 1) {
    const int lost = lose_every > 0 && ++count % lose_every == 0;
    n = g729a_decode(dec, lost ? NULL : frame, sizeof frame, pcm);
    if (n < 0) break;
    fwrite(pcm, sizeof pcm[0], (size_t)n, stdout);
  }
  g729a_decoder_destroy(dec);
  if (n < 0) fprintf(stderr, "g729a_decode: %s\n", g729a_strerror(n));
  return n < 0 || ferror(stdin) || fflush(stdout) != 0;
}
