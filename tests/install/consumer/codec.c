/* `codec encode` turns 16-bit PCM (8 kHz, mono, native order) on stdin into
 * 10-byte frames on stdout; `codec decode [N]` turns such frames into PCM,
 * treating every Nth frame as lost. */
#include <g729a/g729a.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

int main(int argc, char** argv) {
  int16_t pcm[G729A_FRAME_SAMPLES];
  unsigned char frame[G729A_FRAME_BYTES];
  const int encode = argc > 1 && strcmp(argv[1], "encode") == 0;
  const long lose_every = argc > 2 ? atol(argv[2]) : 0;
  long count = 0;
  int n = G729A_OK;
  G729AEncoder* enc = encode ? g729a_encoder_create(0, &n) : NULL;
  G729ADecoder* dec = encode ? NULL : g729a_decoder_create(&n);
  while (encode && n >= 0 && fread(pcm, sizeof pcm, 1, stdin) == 1) {
    n = g729a_encode(enc, pcm, frame, sizeof frame);
    if (n > 0) fwrite(frame, 1, (size_t)n, stdout);
  }
  while (!encode && n >= 0 && fread(frame, sizeof frame, 1, stdin) == 1) {
    const int lost = lose_every > 0 && ++count % lose_every == 0;
    n = g729a_decode(dec, lost ? NULL : frame, sizeof frame, pcm);
    if (n > 0) fwrite(pcm, sizeof pcm[0], (size_t)n, stdout);
  }
  if (n < 0) fprintf(stderr, "%s\n", g729a_strerror(n));
  g729a_encoder_destroy(enc);
  g729a_decoder_destroy(dec);
  return n < 0 || ferror(stdin) || fflush(stdout) != 0;
}
