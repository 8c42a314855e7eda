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

static void load_speech(void) {
  FILE* f = fopen(G729A_SOURCE_DIR "/data/speech/librivox_austen_8k.raw", "rb");
  fail_unless(f != NULL);
  /* Skip the first second, which is mostly quiet. */
  fseek(f, 16000, SEEK_SET);
  fail_unless_equals_int(fread(speech, sizeof speech[0], 8000, f), 8000);
  fclose(f);
}

/* Encodes `frames` frames of the speech sample with the library. */
static void library_encode(int frames, unsigned char* out) {
  G729AEncoder* enc = g729a_encoder_create(0, NULL);
  for (int i = 0; i < frames; ++i) {
    fail_unless_equals_int(g729a_encode(enc, speech + 80 * i, out + 10 * i, 10), 10);
  }
  g729a_encoder_destroy(enc);
}

static GstBuffer* bytes_buffer(const void* data, gsize size, GstClockTime pts) {
  GstBuffer* buf = gst_buffer_new_memdup(data, size);
  GST_BUFFER_PTS(buf) = pts;
  return buf;
}

/* Pulls one buffer and checks its samples against `expected`. */
static void pull_samples(GstHarness* h, const gint16* expected, gsize samples, GstClockTime pts) {
  GstBuffer* buf = gst_harness_pull(h);
  fail_unless(buf != NULL);
  fail_unless_equals_uint64(gst_buffer_get_size(buf), samples * 2);
  fail_unless(gst_buffer_memcmp(buf, 0, expected, samples * 2) == 0);
  if (GST_CLOCK_TIME_IS_VALID(pts)) {
    fail_unless_equals_uint64(GST_BUFFER_PTS(buf), pts);
    fail_unless_equals_uint64(GST_BUFFER_DURATION(buf), samples * GST_SECOND / 8000);
  }
  gst_buffer_unref(buf);
}

GST_START_TEST(encoder_negotiates_g729_caps) {
  GstHarness* h = gst_harness_new("g729aenc");
  gst_harness_set_src_caps_str(h, RAW_CAPS);
  GstBuffer* in = gst_buffer_new_memdup(speech, 160);
  GST_BUFFER_PTS(in) = 0;
  fail_unless_equals_int(gst_harness_push(h, in), GST_FLOW_OK);
  GstCaps* caps = gst_pad_get_current_caps(h->sinkpad);
  GstCaps* want = gst_caps_from_string(G729_CAPS);
  fail_unless(gst_caps_is_equal(caps, want));
  gst_caps_unref(caps);
  gst_caps_unref(want);
  gst_harness_teardown(h);

  /* 16 kHz or stereo input is not accepted. */
  for (int i = 0; i < 2; ++i) {
    h = gst_harness_new("g729aenc");
    gst_harness_set_src_caps_str(
        h, i == 0 ? "audio/x-raw, format=S16LE, layout=interleaved, rate=16000, channels=1"
                  : "audio/x-raw, format=S16LE, layout=interleaved, rate=8000, channels=2");
    fail_unless_equals_int(gst_harness_push(h, gst_buffer_new_memdup(speech, 320)),
                           GST_FLOW_NOT_NEGOTIATED);
    gst_harness_teardown(h);
  }
}
GST_END_TEST;

GST_START_TEST(decoder_negotiates_raw_caps) {
  GstHarness* h = gst_harness_new("g729adec");
  gst_harness_set_src_caps_str(h, G729_CAPS);
  unsigned char frame[10];
  library_encode(1, frame);
  fail_unless_equals_int(gst_harness_push(h, bytes_buffer(frame, 10, 0)), GST_FLOW_OK);
  GstCaps* caps = gst_pad_get_current_caps(h->sinkpad);
  GstCaps* want = gst_caps_from_string(RAW_CAPS);
  fail_unless(gst_caps_is_equal(caps, want));
  gst_caps_unref(caps);
  gst_caps_unref(want);
  gst_harness_teardown(h);
}
GST_END_TEST;

/* Buffers of 1, 79 and 333 samples: frames come out whole, in order, with
 * their times; at EOS the 13 samples left are completed with silence. */
GST_START_TEST(encoder_odd_buffer_sizes_and_partial_frame_at_eos) {
  GstHarness* h = gst_harness_new("g729aenc");
  gst_harness_set_src_caps_str(h, RAW_CAPS);
  const int sizes[] = {1, 79, 333};
  int offset = 0;
  for (int i = 0; i < 3; ++i) {
    GstBuffer* in = gst_buffer_new_memdup(speech + offset, sizes[i] * 2);
    GST_BUFFER_PTS(in) = gst_util_uint64_scale(offset, GST_SECOND, 8000);
    GST_BUFFER_DURATION(in) = gst_util_uint64_scale(sizes[i], GST_SECOND, 8000);
    fail_unless_equals_int(gst_harness_push(h, in), GST_FLOW_OK);
    offset += sizes[i];
  }
  fail_unless_equals_int(gst_harness_buffers_received(h), 5);
  fail_unless(gst_harness_push_event(h, gst_event_new_eos()));
  fail_unless_equals_int(gst_harness_buffers_received(h), 6);

  gint16 pcm[6 * 80];
  memset(pcm, 0, sizeof pcm);
  memcpy(pcm, speech, 413 * 2);
  G729AEncoder* enc = g729a_encoder_create(0, NULL);
  for (int i = 0; i < 6; ++i) {
    unsigned char frame[10];
    fail_unless_equals_int(g729a_encode(enc, pcm + 80 * i, frame, 10), 10);
    GstBuffer* out = gst_harness_pull(h);
    fail_unless_equals_uint64(gst_buffer_get_size(out), 10);
    fail_unless(gst_buffer_memcmp(out, 0, frame, 10) == 0);
    fail_unless_equals_uint64(GST_BUFFER_PTS(out), i * 10 * MS);
    /* The last frame stands for the 13 samples it was made from. */
    GstClockTime duration = i < 5 ? 10 * MS : gst_util_uint64_scale(13, GST_SECOND, 8000);
    fail_unless_equals_uint64(GST_BUFFER_DURATION(out), duration);
    gst_buffer_unref(out);
  }
  g729a_encoder_destroy(enc);
  gst_harness_teardown(h);
}
GST_END_TEST;

/* Until the library offers DTX, asking for it stops the element with a
 * message that says why; with it, starting works. */
GST_START_TEST(encoder_dtx_property) {
  GstElement* enc = gst_element_factory_make("g729aenc", NULL);
  gboolean dtx = TRUE;
  g_object_get(enc, "dtx", &dtx, NULL);
  fail_if(dtx);
  gst_object_unref(enc);

  G729AEncoder* probe = g729a_encoder_create(G729A_DTX, NULL);
  gboolean library_has_dtx = probe != NULL;
  g729a_encoder_destroy(probe);

  GstElement* pipeline = gst_parse_launch(
      "audiotestsrc num-buffers=10 ! audio/x-raw,rate=8000,channels=1 ! g729aenc dtx=true ! "
      "fakesink",
      NULL);
  fail_unless(pipeline != NULL);
  gst_element_set_state(pipeline, GST_STATE_PLAYING);
  GstBus* bus = gst_element_get_bus(pipeline);
  GstMessage* msg =
      gst_bus_timed_pop_filtered(bus, 10 * GST_SECOND, GST_MESSAGE_ERROR | GST_MESSAGE_EOS);
  fail_unless(msg != NULL);
  if (library_has_dtx) {
    fail_unless_equals_int(GST_MESSAGE_TYPE(msg), GST_MESSAGE_EOS);
  } else {
    fail_unless_equals_int(GST_MESSAGE_TYPE(msg), GST_MESSAGE_ERROR);
    GError* error = NULL;
    gst_message_parse_error(msg, &error, NULL);
    fail_unless(strstr(error->message, "dtx=true") != NULL, "%s", error->message);
    g_error_free(error);
  }
  gst_message_unref(msg);
  gst_object_unref(bus);
  gst_element_set_state(pipeline, GST_STATE_NULL);
  gst_object_unref(pipeline);
}
GST_END_TEST;

/* Several frames per buffer; output times follow the input's. */
GST_START_TEST(decoder_frames_and_timestamps) {
  unsigned char frames[6 * 10];
  library_encode(6, frames);
  gint16 expected[6 * 80];
  G729ADecoder* dec = g729a_decoder_create(NULL);
  for (int i = 0; i < 6; ++i) g729a_decode(dec, frames + 10 * i, 10, expected + 80 * i);
  g729a_decoder_destroy(dec);

  GstHarness* h = gst_harness_new("g729adec");
  gst_harness_set_src_caps_str(h, G729_CAPS);
  GstClockTime start = 1000 * MS;
  fail_unless_equals_int(gst_harness_push(h, bytes_buffer(frames, 20, start)), GST_FLOW_OK);
  fail_unless_equals_int(gst_harness_push(h, bytes_buffer(frames + 20, 30, start + 20 * MS)),
                         GST_FLOW_OK);
  fail_unless_equals_int(gst_harness_push(h, bytes_buffer(frames + 50, 10, start + 50 * MS)),
                         GST_FLOW_OK);
  pull_samples(h, expected, 160, start);
  pull_samples(h, expected + 160, 240, start + 20 * MS);
  pull_samples(h, expected + 400, 80, start + 50 * MS);
  gst_harness_teardown(h);
}
GST_END_TEST;

/* A SID frame is split off as the switch module's decoder does: 10 bytes
 * while more than 9 are left, a SID frame when 2 are left. So a SID frame
 * followed by a speech frame (12 bytes) decodes as the first 10 bytes and
 * then the last 2. A remainder of any other length is refused; its time is
 * filled (concealed) before the next buffer. */
GST_START_TEST(decoder_sid_frames_as_the_module_splits_them) {
  unsigned char frames[3 * 10];
  library_encode(3, frames);
  unsigned char payload[12];
  const unsigned char sid[2] = {0x5a, 0xc3};
  memcpy(payload, sid, 2);
  memcpy(payload + 2, frames + 10, 10);

  gint16 expected[6 * 80];
  G729ADecoder* dec = g729a_decoder_create(NULL);
  g729a_decode(dec, frames, 10, expected);
  g729a_decode(dec, payload, 10, expected + 80);
  g729a_decode(dec, payload + 10, 2, expected + 160);
  g729a_decode(dec, frames + 20, 10, expected + 240); /* after a refused buffer */
  g729a_decode(dec, NULL, 0, expected + 320);         /* its time, concealed */
  g729a_decode(dec, frames, 10, expected + 400);
  g729a_decoder_destroy(dec);

  GstHarness* h = gst_harness_new("g729adec");
  gst_harness_set_src_caps_str(h, G729_CAPS);
  fail_unless_equals_int(gst_harness_push(h, bytes_buffer(frames, 10, 0)), GST_FLOW_OK);
  fail_unless_equals_int(gst_harness_push(h, bytes_buffer(payload, 12, 10 * MS)), GST_FLOW_OK);
  pull_samples(h, expected, 80, 0);
  pull_samples(h, expected + 80, 160, 10 * MS);

  fail_unless_equals_int(gst_harness_push(h, bytes_buffer(frames + 20, 10, 30 * MS)), GST_FLOW_OK);
  pull_samples(h, expected + 240, 80, 30 * MS);
  /* 10 + 5 bytes: no frame split leaves 5. */
  fail_unless_equals_int(gst_harness_push(h, bytes_buffer(frames, 15, 40 * MS)), GST_FLOW_OK);
  fail_unless_equals_int(gst_harness_buffers_received(h), 3);
  fail_unless_equals_int(gst_harness_push(h, bytes_buffer(frames, 10, 50 * MS)), GST_FLOW_OK);
  pull_samples(h, expected + 320, 80, 40 * MS);
  pull_samples(h, expected + 400, 80, 50 * MS);
  gst_harness_teardown(h);
}
GST_END_TEST;

/* Time the input skips is filled with the gap's times: after speech with
 * concealment, after a SID frame with comfort noise; a GAP event likewise. */
GST_START_TEST(decoder_fills_gaps) {
  unsigned char frames[4 * 10];
  library_encode(4, frames);
  const unsigned char sid[2] = {0x31, 0x9e};
  static const unsigned char nothing[1] = {0};

  gint16 expected[16 * 80];
  G729ADecoder* dec = g729a_decoder_create(NULL);
  g729a_decode(dec, frames, 10, expected);            /*   0 ms */
  g729a_decode(dec, NULL, 0, expected + 80);          /*  10 ms: timestamp gap */
  g729a_decode(dec, NULL, 0, expected + 160);         /*  20 ms */
  g729a_decode(dec, frames + 10, 10, expected + 240); /*  30 ms */
  g729a_decode(dec, sid, 2, expected + 320);          /*  40 ms */
  g729a_decode(dec, nothing, 0, expected + 400);      /*  50 ms: timestamp gap */
  g729a_decode(dec, nothing, 0, expected + 480);      /*  60 ms */
  g729a_decode(dec, nothing, 0, expected + 560);      /*  70 ms */
  g729a_decode(dec, frames + 20, 10, expected + 640); /*  80 ms */
  g729a_decode(dec, NULL, 0, expected + 720);         /*  90 ms: GAP event */
  g729a_decode(dec, NULL, 0, expected + 800);         /* 100 ms */
  g729a_decode(dec, frames + 30, 10, expected + 880); /* 110 ms */
  g729a_decode(dec, sid, 2, expected + 960);          /* 120 ms */
  g729a_decode(dec, nothing, 0, expected + 1040);     /* 130 ms: GAP event */
  g729a_decoder_destroy(dec);

  GstHarness* h = gst_harness_new("g729adec");
  gst_harness_set_src_caps_str(h, G729_CAPS);
  fail_unless_equals_int(gst_harness_push(h, bytes_buffer(frames, 10, 0)), GST_FLOW_OK);
  fail_unless_equals_int(gst_harness_push(h, bytes_buffer(frames + 10, 10, 30 * MS)), GST_FLOW_OK);
  fail_unless_equals_int(gst_harness_push(h, bytes_buffer(sid, 2, 40 * MS)), GST_FLOW_OK);
  /* A little jitter does not change the number of frames filled. */
  fail_unless_equals_int(gst_harness_push(h, bytes_buffer(frames + 20, 10, 80 * MS + 3 * MS)),
                         GST_FLOW_OK);
  fail_unless(gst_harness_push_event(h, gst_event_new_gap(90 * MS, 20 * MS)));
  fail_unless_equals_int(gst_harness_push(h, bytes_buffer(frames + 30, 10, 110 * MS)), GST_FLOW_OK);
  fail_unless_equals_int(gst_harness_push(h, bytes_buffer(sid, 2, 120 * MS)), GST_FLOW_OK);
  fail_unless(gst_harness_push_event(h, gst_event_new_gap(130 * MS, 10 * MS)));

  pull_samples(h, expected, 80, 0);
  pull_samples(h, expected + 80, 160, 10 * MS);
  pull_samples(h, expected + 240, 80, 30 * MS);
  pull_samples(h, expected + 320, 80, 40 * MS);
  pull_samples(h, expected + 400, 240, 50 * MS);
  pull_samples(h, expected + 640, 80, 83 * MS);
  pull_samples(h, expected + 720, 160, 90 * MS);
  pull_samples(h, expected + 880, 80, 110 * MS);
  pull_samples(h, expected + 960, 80, 120 * MS);
  pull_samples(h, expected + 1040, 80, 130 * MS);
  fail_unless(gst_harness_try_pull(h) == NULL);
  gst_harness_teardown(h);
}
GST_END_TEST;

/* A flush starts the decoder over: the same frames decode as from a fresh
 * decoder, and no gap is filled across it. */
GST_START_TEST(decoder_flush_starts_over) {
  unsigned char frames[5 * 10];
  library_encode(5, frames);
  gint16 expected[2 * 80];
  G729ADecoder* dec = g729a_decoder_create(NULL);
  g729a_decode(dec, frames + 30, 10, expected);
  g729a_decode(dec, frames + 40, 10, expected + 80);
  g729a_decoder_destroy(dec);

  GstHarness* h = gst_harness_new("g729adec");
  gst_harness_set_src_caps_str(h, G729_CAPS);
  fail_unless_equals_int(gst_harness_push(h, bytes_buffer(frames, 30, 0)), GST_FLOW_OK);
  fail_unless(gst_harness_push_event(h, gst_event_new_flush_start()));
  fail_unless(gst_harness_push_event(h, gst_event_new_flush_stop(TRUE)));
  GstSegment segment;
  gst_segment_init(&segment, GST_FORMAT_TIME);
  fail_unless(gst_harness_push_event(h, gst_event_new_segment(&segment)));
  gst_harness_set_src_caps_str(h, G729_CAPS);
  fail_unless_equals_int(gst_harness_push(h, bytes_buffer(frames + 30, 20, 500 * MS)), GST_FLOW_OK);
  GstBuffer* buf;
  /* What came before the flush, if the harness kept it; nothing after it
   * but the new frames (no fill from 30 ms to 500 ms). */
  while ((buf = gst_harness_pull(h)) != NULL && GST_BUFFER_PTS(buf) == 0) {
    gst_buffer_unref(buf);
  }
  fail_unless(buf != NULL);
  fail_unless_equals_uint64(GST_BUFFER_PTS(buf), 500 * MS);
  fail_unless_equals_uint64(gst_buffer_get_size(buf), 320);
  fail_unless(gst_buffer_memcmp(buf, 0, expected, 320) == 0);
  gst_buffer_unref(buf);
  gst_harness_teardown(h);
}
GST_END_TEST;

static Suite* g729a_suite(void) {
  Suite* s = suite_create("g729a elements");
  TCase* tc = tcase_create("elements");
  tcase_add_unchecked_fixture(tc, load_speech, NULL);
  tcase_add_test(tc, encoder_negotiates_g729_caps);
  tcase_add_test(tc, decoder_negotiates_raw_caps);
  tcase_add_test(tc, encoder_odd_buffer_sizes_and_partial_frame_at_eos);
  tcase_add_test(tc, encoder_dtx_property);
  tcase_add_test(tc, decoder_frames_and_timestamps);
  tcase_add_test(tc, decoder_sid_frames_as_the_module_splits_them);
  tcase_add_test(tc, decoder_fills_gaps);
  tcase_add_test(tc, decoder_flush_starts_over);
  suite_add_tcase(s, tc);
  return s;
}

GST_CHECK_MAIN(g729a);
