// An RTP stream in a packet capture (written by the tool tests' capture
// writer: a lost packet, a SID frame at the end of a payload, pauses in
// timestamps after SID frames) fed packet by packet through appsrc !
// rtpg729depay ! g729adec decodes to exactly the samples of
// `g729a decode capture.pcap out.raw`.
#include <g729a/g729a.h>
#include <gst/app/gstappsink.h>
#include <gst/app/gstappsrc.h>
#include <gst/gst.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tool/capture_writer.h"

namespace {

using tooltest::Bytes;

int fail(const std::string& message) {
  std::fprintf(stderr, "capture_test: %s\n", message.c_str());
  return 1;
}

Bytes read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

std::uint32_t le32(const Bytes& b, std::size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

// The RTP datagrams of a classic pcap of Ethernet/IPv4/UDP frames.
std::vector<Bytes> rtp_of_capture(const Bytes& file) {
  std::vector<Bytes> packets;
  std::size_t at = 24;
  while (at + 16 <= file.size()) {
    std::size_t length = le32(file, at + 8);
    std::size_t frame = at + 16;
    std::size_t ip = frame + 14;
    std::size_t udp = ip + 4 * (file[ip] & 0x0F);
    packets.emplace_back(file.begin() + udp + 8, file.begin() + frame + length);
    at = frame + length;
  }
  return packets;
}

// The packets of the stream: 20 ms of speech each, packet 10 lost, a SID
// frame after the speech of packet 30, 80 ms with nothing sent, a lone SID
// frame, 50 ms more with nothing, then speech again.
std::vector<tooltest::Rtp> make_stream(const std::vector<std::int16_t>& speech) {
  G729AEncoder* enc = g729a_encoder_create(0, nullptr);
  std::vector<Bytes> frames;
  for (std::size_t i = 0; i + 80 <= speech.size(); i += 80) {
    Bytes frame(10);
    g729a_encode(enc, speech.data() + i, frame.data(), 10);
    frames.push_back(frame);
  }
  g729a_encoder_destroy(enc);

  const Bytes sid = {0x4b, 0x26};
  std::vector<tooltest::Rtp> stream;
  std::uint16_t sequence = 1000;
  std::uint32_t timestamp = 160000;
  std::size_t next = 0;
  auto add = [&](const Bytes& payload, int frames_long) {
    stream.push_back({.sequence = sequence++, .timestamp = timestamp, .payload = payload});
    timestamp += 80 * frames_long;
  };
  for (int packet = 0; packet < 31; ++packet) {
    Bytes payload = frames[next++];
    payload.insert(payload.end(), frames[next].begin(), frames[next].end());
    ++next;
    if (packet == 30) payload.insert(payload.end(), sid.begin(), sid.end());
    add(payload, packet == 30 ? 3 : 2);
    if (packet == 10) stream.pop_back();  // lost on the way
  }
  timestamp += 80 * 8;
  add(sid, 1);
  timestamp += 80 * 5;
  while (next + 2 <= frames.size()) {
    Bytes payload = frames[next++];
    payload.insert(payload.end(), frames[next].begin(), frames[next].end());
    ++next;
    add(payload, 2);
  }
  return stream;
}

}  // namespace

int main(int argc, char** argv) {
  gst_init(&argc, &argv);
  if (argc != 4) return fail("usage: capture_test TOOL SPEECH.raw WORKDIR");
  const std::string tool = argv[1], workdir = argv[3];
  Bytes raw = read_file(argv[2]);
  if (raw.size() < 2 * 16000 + 2 * 12000) return fail("cannot read the speech sample");
  std::vector<std::int16_t> speech(12000);  // 1.5 s after the first second
  for (std::size_t i = 0; i < speech.size(); ++i) {
    speech[i] = static_cast<std::int16_t>(raw[16000 + 2 * i] | raw[16000 + 2 * i + 1] << 8);
  }

  std::vector<Bytes> ethernet_frames;
  for (const auto& rtp : make_stream(speech)) {
    ethernet_frames.push_back(tooltest::ethernet_ipv4_udp(tooltest::rtp_packet(rtp)));
  }
  const std::string capture = workdir + "/stream.pcap", decoded = workdir + "/tool.raw";
  Bytes file = tooltest::pcap_file(ethernet_frames);
  std::ofstream(capture, std::ios::binary)
      .write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
  std::remove(decoded.c_str());
  const std::string command = "'" + tool + "' decode --quiet '" + capture + "' '" + decoded + "'";
  if (std::system(command.c_str()) != 0) return fail("g729a decode failed: " + command);
  Bytes want = read_file(decoded);

  GError* error = nullptr;
  GstElement* pipeline = gst_parse_launch(
      "appsrc name=src format=time caps=\"application/x-rtp, media=audio, clock-rate=8000, "
      "encoding-name=G729, payload=18\" ! rtpg729depay ! g729adec ! appsink name=out "
      "sync=false",
      &error);
  if (pipeline == nullptr) return fail("cannot build the pipeline");
  GstElement* src = gst_bin_get_by_name(GST_BIN(pipeline), "src");
  GstElement* sink = gst_bin_get_by_name(GST_BIN(pipeline), "out");
  gst_element_set_state(pipeline, GST_STATE_PLAYING);
  std::uint32_t first = 0;
  bool have_first = false;
  for (const Bytes& packet : rtp_of_capture(read_file(capture))) {
    std::uint32_t ts =
        static_cast<std::uint32_t>(packet[4]) << 24 | packet[5] << 16 | packet[6] << 8 | packet[7];
    if (!have_first) first = ts, have_first = true;
    GstBuffer* buf = gst_buffer_new_memdup(packet.data(), packet.size());
    GST_BUFFER_PTS(buf) = gst_util_uint64_scale(ts - first, GST_SECOND, 8000);
    gst_app_src_push_buffer(GST_APP_SRC(src), buf);
  }
  gst_app_src_end_of_stream(GST_APP_SRC(src));

  Bytes got;
  while (GstSample* sample = gst_app_sink_try_pull_sample(GST_APP_SINK(sink), 10 * GST_SECOND)) {
    GstBuffer* buf = gst_sample_get_buffer(sample);
    std::size_t at = got.size();
    got.resize(at + gst_buffer_get_size(buf));
    gst_buffer_extract(buf, 0, got.data() + at, gst_buffer_get_size(buf));
    gst_sample_unref(sample);
    if (gst_app_sink_is_eos(GST_APP_SINK(sink))) break;
  }
  gst_element_set_state(pipeline, GST_STATE_NULL);
  gst_object_unref(src);
  gst_object_unref(sink);
  gst_object_unref(pipeline);

  // 150 frames of speech (the lost packet's two concealed), two SID frames
  // and the 13 frames of the pauses after them.
  const std::size_t frames = 12000 / 80 + 2 + 8 + 5;
  if (want.size() != got.size() || want.empty()) {
    return fail("g729adec gave " + std::to_string(got.size() / 2) + " samples, the tool " +
                std::to_string(want.size() / 2));
  }
  if (want.size() != frames * 160) {
    return fail("the tool gave " + std::to_string(want.size() / 160) + " frames, not " +
                std::to_string(frames));
  }
  for (std::size_t i = 0; i < want.size(); i += 2) {
    if (want[i] != got[i] || want[i + 1] != got[i + 1]) {
      return fail("sample " + std::to_string(i / 2) + " (frame " + std::to_string(i / 160) +
                  ") differs from the tool's");
    }
  }
  std::printf("capture_test: %zu frames, every sample equal to g729a decode's\n", frames);
  return 0;
}
