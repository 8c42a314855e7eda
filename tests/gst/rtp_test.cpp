// RTP through rtpg729depay ! g729adec, every sample checked (so the duration too):
//   rtp_test SPEECH.raw: speech sent on loopback by g729aenc ! rtpg729pay !
//     udpsink to udpsrc ! rtpjitterbuffer, with chosen packets dropped before
//     they are sent, decodes as the library decodes it with those frames lost;
//   rtp_test SPEECH.raw TOOL WORKDIR: a stream with a lost packet, a SID frame
//     at the end of a payload and pauses after SID frames, fed packet by packet
//     through appsrc, decodes as `g729a decode` decodes a capture of it.
#include <g729a/g729a.h>
#include <gst/app/gstappsink.h>
#include <gst/app/gstappsrc.h>
#include <gst/gst.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "tool/capture_writer.h"

namespace {

using tooltest::Bytes;
using Samples = std::vector<std::int16_t>;

int fail(const std::string& message) {
  std::fprintf(stderr, "rtp_test: %s\n", message.c_str());
  return 1;
}

Samples read_samples(const std::string& path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  Samples samples(in ? static_cast<std::size_t>(in.tellg()) / 2 : 0);
  in.seekg(0).read(reinterpret_cast<char*>(samples.data()), 2 * std::ssize(samples));
  return samples;
}

// "SOURCE caps=RTP ! VIA rtpg729depay ! g729adec ! appsink name=out".
GstElement* receiver(const std::string& source, const std::string& via) {
  return gst_parse_launch((source +
                           " caps=\"application/x-rtp, media=audio, clock-rate=8000, "
                           "encoding-name=G729, payload=18\" ! " +
                           via + "rtpg729depay ! g729adec ! appsink name=out sync=false")
                              .c_str(),
                          nullptr);
}

// Compares what the appsink receives, until EOS or until `idle` passes
// without a sample, with `want`.
int compare(GstElement* pipeline, GstClockTime idle, const Samples& want, const char* what) {
  GstElement* sink = gst_bin_get_by_name(GST_BIN(pipeline), "out");
  Samples got;
  while (GstSample* sample = gst_app_sink_try_pull_sample(GST_APP_SINK(sink), idle)) {
    GstBuffer* buf = gst_sample_get_buffer(sample);
    std::size_t at = got.size(), size = gst_buffer_get_size(buf);
    got.resize(at + size / 2);
    gst_buffer_extract(buf, 0, &got[at], size);
    gst_sample_unref(sample);
  }
  gst_element_set_state(pipeline, GST_STATE_NULL);
  if (got.size() != want.size()) {
    return fail("g729adec gives " + std::to_string(got.size()) + " samples, " + what + " " +
                std::to_string(want.size()));
  }
  std::size_t i = std::mismatch(got.begin(), got.end(), want.begin()).first - got.begin();
  if (i < got.size()) {
    return fail("sample " + std::to_string(i) + " (frame " + std::to_string(i / 80) +
                "): g729adec " + std::to_string(got[i]) + ", " + what + " " +
                std::to_string(want[i]));
  }
  std::printf("rtp_test: %zu frames, every sample equal to %s\n", got.size() / 80, what);
  return 0;
}

// Packets dropped, by their index in the stream (never the first or last).
constexpr int kDropped[] = {5, 6, 20, 41, 77};
bool dropped(int packet) {
  return std::count(std::begin(kDropped), std::end(kDropped), packet) > 0;
}
int packets_sent = 0;

GstPadProbeReturn drop_packets(GstPad*, GstPadProbeInfo*, gpointer) {
  return dropped(packets_sent++) ? GST_PAD_PROBE_DROP : GST_PAD_PROBE_OK;
}

int udp_loss(const Samples& speech) {
  // The receiver binds a port the system picks; the sender sends 20 ms a packet.
  GstElement* rx = receiver("udpsrc name=src address=127.0.0.1 port=0",
                            "rtpjitterbuffer latency=200 do-lost=true ! ");
  if (rx == nullptr) return fail("cannot build the receiver");
  gst_element_set_state(rx, GST_STATE_PLAYING);
  int port = 0;
  g_object_get(gst_bin_get_by_name(GST_BIN(rx), "src"), "port", &port, nullptr);
  GstElement* tx = gst_parse_launch(
      ("appsrc name=src format=time caps=\"audio/x-raw, format=S16LE, layout=interleaved, "
       "rate=8000, channels=1\" ! g729aenc ! rtpg729pay name=pay min-ptime=20000000 "
       "max-ptime=20000000 ! udpsink host=127.0.0.1 port=" +
       std::to_string(port) + " sync=true")
          .c_str(),
      nullptr);
  if (port == 0 || tx == nullptr) return fail("cannot build the sender");
  GstPad* pay_src = gst_element_get_static_pad(gst_bin_get_by_name(GST_BIN(tx), "pay"), "src");
  gst_pad_add_probe(pay_src, GST_PAD_PROBE_TYPE_BUFFER, drop_packets, nullptr, nullptr);
  GstElement* appsrc = gst_bin_get_by_name(GST_BIN(tx), "src");
  GstBuffer* buf = gst_buffer_new_memdup(speech.data(), 2 * speech.size());
  GST_BUFFER_PTS(buf) = 0;
  gst_app_src_push_buffer(GST_APP_SRC(appsrc), buf);
  gst_app_src_end_of_stream(GST_APP_SRC(appsrc));
  gst_element_set_state(tx, GST_STATE_PLAYING);
  GstMessage* msg = gst_bus_timed_pop_filtered(gst_element_get_bus(tx), 30 * GST_SECOND,
                                               GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
  if (msg == nullptr || GST_MESSAGE_TYPE(msg) != GST_MESSAGE_EOS || packets_sent != 100) {
    return fail("the sender did not send its 100 packets in 30 s");
  }
  gst_element_set_state(tx, GST_STATE_NULL);

  Samples want(speech.size());
  G729AEncoder* enc = g729a_encoder_create(0, nullptr);
  G729ADecoder* dec = g729a_decoder_create(nullptr);
  for (std::size_t i = 0; i < speech.size(); i += 80) {
    unsigned char frame[10];
    g729a_encode(enc, &speech[i], frame, 10);
    g729a_decode(dec, dropped(static_cast<int>(i / 160)) ? nullptr : frame, 10, &want[i]);
  }
  return compare(rx, GST_SECOND, want, "the library with loss");
}

int capture(const Samples& speech, const std::string& tool, const std::string& workdir) {
  // 20 ms of speech a packet, packet 10 lost, a SID frame after the speech of
  // packet 30, 80 ms with nothing sent, a lone SID frame, 50 ms more with
  // nothing, then speech again.
  const Bytes sid = {0x4b, 0x26};
  std::vector<tooltest::Rtp> stream;
  std::uint32_t timestamp = 160000;
  std::uint16_t sequence = 1000;
  G729AEncoder* enc = g729a_encoder_create(0, nullptr);
  for (std::size_t packet = 0; packet < speech.size() / 160; ++packet) {
    Bytes payload(20);
    g729a_encode(enc, &speech[160 * packet], payload.data(), 10);
    g729a_encode(enc, &speech[160 * packet + 80], payload.data() + 10, 10);
    if (packet == 30) payload.insert(payload.end(), sid.begin(), sid.end());
    tooltest::Rtp rtp{.sequence = sequence++, .timestamp = timestamp, .payload = payload};
    if (packet != 10) stream.push_back(rtp);
    timestamp += packet == 30 ? 80 * 11 : 160;
    if (packet == 30) {
      stream.push_back({.sequence = sequence++, .timestamp = timestamp, .payload = sid});
      timestamp += 80 * 6;
    }
  }
  std::vector<Bytes> ethernet_frames;
  for (const auto& rtp : stream) {
    ethernet_frames.push_back(tooltest::ethernet_ipv4_udp(tooltest::rtp_packet(rtp)));
  }
  const std::string pcap = workdir + "/stream.pcap", decoded = workdir + "/tool.raw";
  Bytes file = tooltest::pcap_file(ethernet_frames);
  std::ofstream(pcap, std::ios::binary)
      .write(reinterpret_cast<const char*>(file.data()), std::ssize(file));
  std::remove(decoded.c_str());
  const std::string command = "'" + tool + "' decode --quiet '" + pcap + "' '" + decoded + "'";
  if (std::system(command.c_str()) != 0) return fail("g729a decode failed: " + command);
  // Every speech frame (the lost packet's two concealed), two SID frames and
  // the 13 frames of the pauses after them.
  Samples want = read_samples(decoded);
  if (want.size() != speech.size() + 80 * 15) return fail("g729a decode missed frames: " + command);

  GstElement* pipeline = receiver("appsrc name=src format=time", "");
  if (pipeline == nullptr) return fail("cannot build the pipeline");
  GstElement* src = gst_bin_get_by_name(GST_BIN(pipeline), "src");
  gst_element_set_state(pipeline, GST_STATE_PLAYING);
  for (const auto& rtp : stream) {
    Bytes packet = tooltest::rtp_packet(rtp);
    GstBuffer* buf = gst_buffer_new_memdup(packet.data(), packet.size());
    GST_BUFFER_PTS(buf) = (rtp.timestamp - stream[0].timestamp) * GST_MSECOND / 8;
    gst_app_src_push_buffer(GST_APP_SRC(src), buf);
  }
  gst_app_src_end_of_stream(GST_APP_SRC(src));
  return compare(pipeline, 10 * GST_SECOND, want, "g729a decode");
}

}  // namespace

int main(int argc, char** argv) {
  gst_init(&argc, &argv);
  if (argc != 2 && argc != 4) return fail("usage: rtp_test SPEECH.raw [TOOL WORKDIR]");
  // 2 s past the first second, which is mostly quiet.
  Samples speech = read_samples(argv[1]);
  if (speech.size() < 3 * 8000) return fail("cannot read the speech sample");
  speech = Samples(speech.begin() + 8000, speech.begin() + 3 * 8000);
  return argc == 2 ? udp_loss(speech) : capture(speech, argv[2], argv[3]);
}
