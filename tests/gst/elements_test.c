/* Element-level cases of g729aenc and g729adec through GstHarness, against
 * the C library called directly on the same data. */
#include <g729a/g729a.h>
#include <gst/check/gstcheck.h>
#include <gst/check/gstharness.h>
#include <stdio.h>
#include <string.h>

#define RAW_CAPS "audio/x-raw, format=S16LE, layout=interleaved, rate=8000, channels=1"
#define G729_CAPS "audio/G729, rate=8000, channels=1"
#define MS (GST_MSECOND)

static gint16 speech[8000]; /* 1 s of the speech sample */
/* Six speech frames of it, a SID frame, and a SID frame before a speech frame. */
static unsigned char frames[60], sid[2] = {0x5a, 0xc3}, sid_speech[12];

static void setup(void) {
  FILE* f = fopen(G729A_SOURCE_DIR "/data/speech/librivox_austen_8k.raw", "rb");
  fail_unless(f != NULL);
  /* Skip the first second, which is mostly quiet. */
  fseek(f, 16000, SEEK_SET);
  fail_unless_equals_int(fread(speech, sizeof speech[0], 8000, f), 8000);
  fclose(f);
  G729AEncoder* enc = g729a_encoder_create(0, NULL);
  for (int i = 0; i < 6; ++i) g729a_encode(enc, speech + 80 * i, frames + 10 * i, 10);
  g729a_encoder_destroy(enc);
  memcpy(sid_speech, sid, 2);
  memcpy(sid_speech + 2, frames + 40, 10);
}

static GstBuffer* bytes_buffer(const void* data, gsize size, GstClockTime pts) {
  GstBuffer* buf = gst_buffer_new_memdup(data, size);
  GST_BUFFER_PTS(buf) = pts;
  return buf;
}

/* Pulls one buffer and checks its bytes, time and duration. */
static void pull_and_check(GstHarness* h, const void* data, gsize size, GstClockTime pts,
                           GstClockTime duration) {
  GstBuffer* buf = gst_harness_try_pull(h);
  fail_unless(buf != NULL, "no buffer at %" GST_TIME_FORMAT, GST_TIME_ARGS(pts));
  fail_unless_equals_uint64(gst_buffer_get_size(buf), size);
  fail_unless(gst_buffer_memcmp(buf, 0, data, size) == 0, "at %" GST_TIME_FORMAT,
              GST_TIME_ARGS(pts));
  fail_unless_equals_uint64(GST_BUFFER_PTS(buf), pts);
  fail_unless_equals_uint64(GST_BUFFER_DURATION(buf), duration);
  gst_buffer_unref(buf);
}

/* Caps each element accepts (and what it then offers) or refuses. */
GST_START_TEST(caps_accepted_and_refused) {
  static const struct {
    const char *element, *in, *out;
  } cases[] = {
      {"g729aenc", RAW_CAPS, G729_CAPS},
      {"g729adec", G729_CAPS, RAW_CAPS},
      {"g729aenc", "audio/x-raw, format=S16LE, layout=interleaved, rate=16000, channels=1", NULL},
      {"g729aenc", "audio/x-raw, format=S16LE, layout=interleaved, rate=8000, channels=2", NULL},
      {"g729adec", "audio/G729, rate=16000, channels=1", NULL},
  };
  for (size_t i = 0; i < G_N_ELEMENTS(cases); ++i) {
    GstHarness* h = gst_harness_new(cases[i].element);
    gst_harness_set_src_caps_str(h, cases[i].in);
    GstFlowReturn ret = gst_harness_push(h, bytes_buffer(speech, 320, 0));
    fail_unless_equals_int(ret, cases[i].out != NULL ? GST_FLOW_OK : GST_FLOW_NOT_NEGOTIATED);
    if (cases[i].out != NULL) {
      GstCaps* caps = gst_pad_get_current_caps(h->sinkpad);
      GstCaps* want = gst_caps_from_string(cases[i].out);
      fail_unless(gst_caps_is_equal(caps, want), "%s", cases[i].element);
      gst_caps_unref(caps);
      gst_caps_unref(want);
    }
    gst_harness_teardown(h);
  }
}
GST_END_TEST;

/* The encoder's buffers are the library's frames with their times: from
 * buffers of 1, 79 and 333 samples, with the 13 samples left at EOS
 * completed with silence; and with dtx=true, from speech then silence,
 * speech frames, SID frames and no buffer for a frame left unsent. */
GST_START_TEST(encoder_frames_as_the_library) {
  static const struct {
    const char* launch;
    int flags, sizes[3], speech;
  } cases[] = {
      {"g729aenc", 0, {1, 79, 333}, 413},
      {"g729aenc dtx=true", G729A_DTX, {6400}, 1600},
  };
  static gint16 pcm[6400];
  for (size_t c = 0; c < G_N_ELEMENTS(cases); ++c) {
    memset(pcm, 0, sizeof pcm);
    memcpy(pcm, speech, cases[c].speech * 2);
    GstHarness* h = gst_harness_new_parse(cases[c].launch);
    gst_harness_set_src_caps_str(h, RAW_CAPS);
    int samples = 0;
    for (int i = 0; i < 3 && cases[c].sizes[i] > 0; ++i) {
      int size = cases[c].sizes[i];
      GstBuffer* in = bytes_buffer(pcm + samples, size * 2, samples * MS / 8);
      GST_BUFFER_DURATION(in) = gst_util_uint64_scale(size, MS, 8);
      fail_unless_equals_int(gst_harness_push(h, in), GST_FLOW_OK);
      samples += size;
    }
    fail_unless(gst_harness_push_event(h, gst_event_new_eos()));

    G729AEncoder* enc = g729a_encoder_create(cases[c].flags, NULL);
    int sid_frames = 0, unsent = 0;
    for (int i = 0; 80 * i < samples; ++i) {
      unsigned char frame[10];
      int bytes = g729a_encode(enc, pcm + 80 * i, frame, 10);
      sid_frames += bytes == 2;
      unsent += bytes == 0;
      int frame_samples = MIN(80, samples - 80 * i);
      if (bytes > 0) pull_and_check(h, frame, bytes, i * 10 * MS, frame_samples * MS / 8);
    }
    g729a_encoder_destroy(enc);
    fail_unless(gst_harness_try_pull(h) == NULL);
    fail_unless(cases[c].flags == 0 || (sid_frames > 0 && unsent > 0), "%d SID, %d unsent",
                sid_frames, unsent);
    gst_harness_teardown(h);
  }
}
GST_END_TEST;

/* The library's decoding of a frame named by a character: '0' to '5' a
 * speech frame, 'S' the SID frame, 'L' a lost frame, 'N' nothing sent, 'a'
 * and 'b' the first 10 and the last 2 bytes of sid_speech. */
static void library_decode(G729ADecoder* dec, char name, gint16* pcm) {
  static const unsigned char nothing[1] = {0};
  const unsigned char* data = name == 'L'   ? NULL
                              : name == 'N' ? nothing
                              : name == 'S' ? sid
                              : name == 'a' ? sid_speech
                              : name == 'b' ? sid_speech + 10
                                            : frames + 10 * (name - '0');
  g729a_decode(dec, data, strchr("LN", name) ? 0 : strchr("Sb", name) ? 2 : 10, pcm);
}

/* Buffers split into frames as the switch module's decoder splits them:
 * 10 bytes while more than 9 are left, a SID frame when 2 are left (so a
 * SID frame followed by a speech frame decodes as 10 bytes, then 2); any
 * other remainder refuses the buffer. Time the input skips (a timestamp
 * jump, a refused buffer, a GAP event) is filled with the gap's times:
 * concealment after speech, comfort noise after a SID frame. A flush
 * starts over: a fresh decoder, nothing filled across it. */
GST_START_TEST(decoder_frames_sid_gaps_and_flush) {
  /* An input (a buffer of `len` bytes; with data NULL a GAP event of `len`
   * ms, or a hard flush when len is 0) and the buffers that follow it. */
  const struct {
    const unsigned char* data;
    int len;
    GstClockTime pts;
    struct {
      GstClockTime pts;
      const char* frames;
    } out[2];
  } cases[] = {
      {frames, 30, 0, {{0, "012"}}},
      /* A timestamp jump after speech. */
      {frames + 30, 10, 50 * MS, {{30 * MS, "LL"}, {50 * MS, "3"}}},
      {sid_speech, 12, 60 * MS, {{60 * MS, "ab"}}},
      /* A jump after SID, 3 ms early. */
      {frames + 50, 10, 107 * MS, {{80 * MS, "NNN"}, {107 * MS, "5"}}},
      /* Refused; its time filled before the next buffer. */
      {frames, 15, 117 * MS, {{0}}},
      {frames + 10, 10, 127 * MS, {{117 * MS, "L"}, {127 * MS, "1"}}},
      {sid, 2, 137 * MS, {{137 * MS, "S"}}},
      {NULL, 20, 147 * MS, {{147 * MS, "NN"}}},
      {NULL, 0, 0, {{0}}},
      {frames + 20, 20, 500 * MS, {{500 * MS, "23"}}},
  };
  G729ADecoder* dec = g729a_decoder_create(NULL);
  GstHarness* h = gst_harness_new("g729adec");
  gst_harness_set_src_caps_str(h, G729_CAPS);
  for (size_t c = 0; c < G_N_ELEMENTS(cases); ++c) {
    if (cases[c].data != NULL) {
      GstBuffer* in = bytes_buffer(cases[c].data, cases[c].len, cases[c].pts);
      fail_unless_equals_int(gst_harness_push(h, in), GST_FLOW_OK);
    } else if (cases[c].len > 0) {
      fail_unless(gst_harness_push_event(h, gst_event_new_gap(cases[c].pts, cases[c].len * MS)));
    } else {
      fail_unless(gst_harness_push_event(h, gst_event_new_flush_start()));
      fail_unless(gst_harness_push_event(h, gst_event_new_flush_stop(TRUE)));
      GstSegment segment;
      gst_segment_init(&segment, GST_FORMAT_TIME);
      fail_unless(gst_harness_push_event(h, gst_event_new_segment(&segment)));
      gst_harness_set_src_caps_str(h, G729_CAPS);
      g729a_decoder_init(dec);
    }
    for (int k = 0; k < 2 && cases[c].out[k].frames != NULL; ++k) {
      gint16 pcm[3 * 80];
      int n = (int)strlen(cases[c].out[k].frames);
      for (int i = 0; i < n; ++i) library_decode(dec, cases[c].out[k].frames[i], pcm + 80 * i);
      pull_and_check(h, pcm, n * 160, cases[c].out[k].pts, n * 10 * MS);
    }
    fail_unless(gst_harness_try_pull(h) == NULL, "a buffer too many after input %zu", c);
  }
  g729a_decoder_destroy(dec);
  gst_harness_teardown(h);
}
GST_END_TEST;

static Suite* g729a_suite(void) {
  Suite* s = suite_create("g729a elements");
  TCase* tc = tcase_create("elements");
  tcase_add_unchecked_fixture(tc, setup, NULL);
  tcase_add_test(tc, caps_accepted_and_refused);
  tcase_add_test(tc, encoder_frames_as_the_library);
  tcase_add_test(tc, decoder_frames_sid_gaps_and_flush);
  suite_add_tcase(s, tc);
  return s;
}

GST_CHECK_MAIN(g729a);
