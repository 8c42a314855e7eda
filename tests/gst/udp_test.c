/* Speech over RTP on loopback: g729aenc ! rtpg729pay ! udpsink to udpsrc !
 * rtpjitterbuffer ! rtpg729depay ! g729adec, with chosen packets dropped
 * before they are sent. The output is the library's decoding of the same
 * frames with the dropped ones concealed: every sample, so the duration too. */
#include <g729a/g729a.h>
#include <gio/gio.h>
#include <gst/app/gstappsink.h>
#include <gst/app/gstappsrc.h>
#include <gst/gst.h>
#include <gst/rtp/gstrtpbuffer.h>
#include <stdio.h>
#include <string.h>

#define FRAMES 200 /* 2 s */
#define MAX_PACKETS FRAMES

static gint16 speech[FRAMES * 80];
/* Packets dropped, by their index in the stream (never the first or last). */
static const int kDropped[] = {5, 6, 20, 41, 77};
static int packets_seen;
static int frames_seen;
static gboolean frame_dropped[FRAMES];

static gboolean is_dropped(int packet) {
  for (size_t i = 0; i < G_N_ELEMENTS(kDropped); ++i) {
    if (kDropped[i] == packet) return TRUE;
  }
  return FALSE;
}

static GstPadProbeReturn drop_packets(GstPad* pad, GstPadProbeInfo* info, gpointer data) {
  (void)pad;
  (void)data;
  GstBuffer* buf = GST_PAD_PROBE_INFO_BUFFER(info);
  GstRTPBuffer rtp = GST_RTP_BUFFER_INIT;
  if (!gst_rtp_buffer_map(buf, GST_MAP_READ, &rtp)) return GST_PAD_PROBE_OK;
  int frames = (int)(gst_rtp_buffer_get_payload_len(&rtp) / 10);
  gst_rtp_buffer_unmap(&rtp);
  gboolean drop = is_dropped(packets_seen++);
  for (int i = 0; i < frames && frames_seen < FRAMES; ++i) frame_dropped[frames_seen++] = drop;
  return drop ? GST_PAD_PROBE_DROP : GST_PAD_PROBE_OK;
}

static int fail(const char* message) {
  fprintf(stderr, "udp_test: %s\n", message);
  return 1;
}

/* Waits for EOS or an error on the pipeline's bus; FALSE on error or timeout. */
static gboolean wait_eos(GstElement* pipeline, GstClockTime timeout) {
  GstBus* bus = gst_element_get_bus(pipeline);
  GstMessage* msg = gst_bus_timed_pop_filtered(bus, timeout, GST_MESSAGE_EOS | GST_MESSAGE_ERROR);
  gboolean ok = msg != NULL && GST_MESSAGE_TYPE(msg) == GST_MESSAGE_EOS;
  if (msg != NULL && !ok) {
    GError* error = NULL;
    gst_message_parse_error(msg, &error, NULL);
    fprintf(stderr, "udp_test: %s\n", error->message);
    g_error_free(error);
  }
  if (msg != NULL) gst_message_unref(msg);
  gst_object_unref(bus);
  return ok;
}

int main(int argc, char** argv) {
  gst_init(&argc, &argv);
  if (argc != 2) return fail("usage: udp_test SPEECH.raw");
  FILE* f = fopen(argv[1], "rb");
  /* Past the first second, which is mostly quiet. */
  if (f == NULL || fseek(f, 16000, SEEK_SET) != 0 ||
      fread(speech, sizeof speech[0], FRAMES * 80, f) != FRAMES * 80) {
    return fail("cannot read the speech sample");
  }
  fclose(f);

  /* The receiver's socket, on a port the system picks. */
  GError* error = NULL;
  GSocket* socket =
      g_socket_new(G_SOCKET_FAMILY_IPV4, G_SOCKET_TYPE_DATAGRAM, G_SOCKET_PROTOCOL_UDP, &error);
  GInetAddress* loopback = g_inet_address_new_loopback(G_SOCKET_FAMILY_IPV4);
  GSocketAddress* any_port = g_inet_socket_address_new(loopback, 0);
  if (socket == NULL || !g_socket_bind(socket, any_port, FALSE, &error)) {
    return fail("cannot bind a UDP socket on 127.0.0.1");
  }
  GSocketAddress* bound = g_socket_get_local_address(socket, &error);
  guint port = g_inet_socket_address_get_port(G_INET_SOCKET_ADDRESS(bound));

  GstElement* receiver = gst_parse_launch(
      "udpsrc name=src caps=\"application/x-rtp, media=audio, clock-rate=8000, "
      "encoding-name=G729, payload=18\" ! rtpjitterbuffer latency=200 do-lost=true ! "
      "rtpg729depay ! g729adec ! appsink name=out sync=false",
      &error);
  if (receiver == NULL) return fail("cannot build the receiving pipeline");
  GstElement* udpsrc = gst_bin_get_by_name(GST_BIN(receiver), "src");
  g_object_set(udpsrc, "socket", socket, "close-socket", FALSE, NULL);
  GstElement* appsink = gst_bin_get_by_name(GST_BIN(receiver), "out");

  char* description = g_strdup_printf(
      "appsrc name=src format=time caps=\"audio/x-raw, format=S16LE, layout=interleaved, "
      "rate=8000, channels=1\" ! g729aenc ! rtpg729pay name=pay min-ptime=20000000 "
      "max-ptime=20000000 ! udpsink host=127.0.0.1 port=%u sync=true",
      port);
  GstElement* sender = gst_parse_launch(description, &error);
  g_free(description);
  if (sender == NULL) return fail("cannot build the sending pipeline");
  GstElement* pay = gst_bin_get_by_name(GST_BIN(sender), "pay");
  GstPad* pay_src = gst_element_get_static_pad(pay, "src");
  gst_pad_add_probe(pay_src, GST_PAD_PROBE_TYPE_BUFFER, drop_packets, NULL, NULL);
  GstElement* appsrc = gst_bin_get_by_name(GST_BIN(sender), "src");
  for (int i = 0; i < FRAMES / 2; ++i) {
    GstBuffer* buf = gst_buffer_new_memdup(speech + 160 * i, 320);
    GST_BUFFER_PTS(buf) = i * 20 * GST_MSECOND;
    GST_BUFFER_DURATION(buf) = 20 * GST_MSECOND;
    gst_app_src_push_buffer(GST_APP_SRC(appsrc), buf);
  }
  gst_app_src_end_of_stream(GST_APP_SRC(appsrc));

  gst_element_set_state(receiver, GST_STATE_PLAYING);
  gst_element_set_state(sender, GST_STATE_PLAYING);
  if (!wait_eos(sender, 30 * GST_SECOND)) return fail("the sender did not finish in 30 s");

  /* Everything the receiver decodes, until a second passes without any. */
  static gint16 received[FRAMES * 80 + 8000];
  gsize count = 0;
  GstSample* sample;
  while ((sample = gst_app_sink_try_pull_sample(GST_APP_SINK(appsink), GST_SECOND)) != NULL) {
    GstBuffer* buf = gst_sample_get_buffer(sample);
    gsize size = gst_buffer_get_size(buf) / 2;
    if (count + size > G_N_ELEMENTS(received)) return fail("more samples than were sent");
    gst_buffer_extract(buf, 0, received + count, size * 2);
    count += size;
    gst_sample_unref(sample);
  }
  gst_element_set_state(sender, GST_STATE_NULL);
  gst_element_set_state(receiver, GST_STATE_NULL);

  int dropped = 0;
  for (int i = 0; i < FRAMES; ++i) dropped += frame_dropped[i];
  if (frames_seen != FRAMES || dropped != 2 * (int)G_N_ELEMENTS(kDropped)) {
    return fail("the sender did not send the frames expected");
  }
  static gint16 expected[FRAMES * 80];
  G729AEncoder* enc = g729a_encoder_create(0, NULL);
  G729ADecoder* dec = g729a_decoder_create(NULL);
  for (int i = 0; i < FRAMES; ++i) {
    unsigned char frame[10];
    g729a_encode(enc, speech + 80 * i, frame, 10);
    g729a_decode(dec, frame_dropped[i] ? NULL : frame, 10, expected + 80 * i);
  }
  g729a_encoder_destroy(enc);
  g729a_decoder_destroy(dec);

  if (count != FRAMES * 80) {
    fprintf(stderr, "udp_test: %zu samples received, %d expected\n", count, FRAMES * 80);
    return 1;
  }
  for (gsize i = 0; i < count; ++i) {
    if (received[i] != expected[i]) {
      fprintf(stderr, "udp_test: sample %zu (frame %zu%s) is %d, expected %d\n", i, i / 80,
              frame_dropped[i / 80] ? ", dropped" : "", received[i], expected[i]);
      return 1;
    }
  }
  printf("udp_test: %d frames over loopback, %d dropped and concealed, all samples equal\n", FRAMES,
         dropped);
  g_object_unref(bound);
  g_object_unref(any_port);
  g_object_unref(loopback);
  g_object_unref(socket);
  return 0;
}
