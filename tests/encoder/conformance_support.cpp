#include "conformance_support.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <span>
#include <sstream>

#include "codec/common/frame_format.h"
#include "codec/encoder/frame_trace.h"
#include "g729a/codec.h"
#include "support/test_support.h"

namespace encconf {

std::string input_path(const std::string& name) {
  return testsupport::shared_dir() + "/testvectors/g729a/" + name + ".IN";
}
std::string golden_path(const std::string& name) {
  return testsupport::shared_dir() + "/golden/" + name + ".g729";
}
std::string trace_path(const std::string& name) {
  return testsupport::shared_dir() + "/golden/trace/" + name + ".txt";
}

namespace {

double exact(const std::string& text) {
  return std::strtod(text.c_str(), nullptr);
}

void read_vector(std::istringstream& in, std::array<double, 10>& v) {
  std::string word;
  for (double& x : v) {
    in >> word;
    x = exact(word);
  }
}

std::string show(double v) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.17g", v);
  return buf;
}

// The traces were written on a machine whose C library rounds cos, log10 and
// 10^x off by one ulp in places; the codec rounds them correctly on every
// target, so its doubles may differ from the trace in the last bits (and carry
// that on to later values). Every decision, parameter and golden frame must
// still be identical; a real fault moves a value by far more than this.
constexpr double kTraceTolerance = 1e-12;

bool differs(double mine, double golden) {
  if (mine == golden) return false;
  const double scale = std::max({std::fabs(mine), std::fabs(golden), 1e-3});
  return !(std::fabs(mine - golden) <= kTraceTolerance * scale);
}

}  // namespace

std::vector<TraceFrame> read_trace(const std::string& path) {
  std::vector<TraceFrame> frames;
  std::ifstream file(path);
  std::string line;
  while (std::getline(file, line)) {
    std::istringstream in(line);
    std::string key;
    in >> key;
    if (key == "frame") {
      TraceFrame f;
      std::string word;
      in >> f.frame >> word;
      for (auto& s : f.slots) in >> s;
      frames.push_back(f);
      continue;
    }
    if (frames.empty()) continue;
    g729a::FrameTrace& t = frames.back().trace;
    if (key == "t_op") {
      in >> t.t_op;
    } else if (key == "lsp_new") {
      read_vector(in, t.lsp_new);
    } else if (key == "lsp_new_q") {
      read_vector(in, t.lsp_new_q);
    } else if (key == "sub0" || key == "sub1") {
      g729a::SubframeResult& r = t.subframes[key == "sub0" ? 0 : 1];
      std::string name;
      std::string value;
      while (in >> name >> value) {
        if (name == "t0") r.t0 = std::atoi(value.c_str());
        if (name == "frac") r.fraction = std::atoi(value.c_str());
        if (name == "gp_opt") r.gp_opt = exact(value);
        if (name == "tame") r.taming = std::atoi(value.c_str());
        if (name == "gp") r.gp = exact(value);
        if (name == "gc") r.gc = exact(value);
      }
    }
  }
  return frames;
}

std::vector<std::uint8_t> encode_direct(
    const std::vector<std::int16_t>& pcm,
    const std::function<void(int, const g729a::FrameParameters&, const g729a::FrameTrace&,
                             const g729a::EncoderState&)>& each) {
  auto state = std::make_unique<g729a::EncoderState>();
  g729a::encoder_init(*state);
  const std::size_t frames = pcm.size() / g729a::kFrameLength;
  std::vector<std::uint8_t> bytes(frames * g729a::kSpeechFrameBytes);
  for (std::size_t f = 0; f < frames; ++f) {
    g729a::FrameTrace trace;
    g729a::encoder_encode_traced(
        *state, std::span(pcm).subspan(f * g729a::kFrameLength).first<g729a::kFrameLength>(),
        std::span(bytes).subspan(f * g729a::kSpeechFrameBytes).first<g729a::kSpeechFrameBytes>(),
        &trace);
    if (each) each(static_cast<int>(f), trace.parameters, trace, *state);
  }
  return bytes;
}

std::string first_departure(const TraceFrame& golden, const g729a::FrameParameters& mine_params,
                            const g729a::FrameTrace& mine) {
  const g729a::FrameTrace& g = golden.trace;
  // In the order the encoder decides them, so the first hit is the cause.
  for (int i = 0; i < 10; ++i) {
    if (differs(mine.lsp_new[i], g.lsp_new[i])) {
      return "lsp_new[" + std::to_string(i) + "] " + show(mine.lsp_new[i]) +
             " != " + show(g.lsp_new[i]);
    }
  }
  for (int i = 0; i < 10; ++i) {
    if (differs(mine.lsp_new_q[i], g.lsp_new_q[i])) {
      return "lsp_new_q[" + std::to_string(i) + "] " + show(mine.lsp_new_q[i]) +
             " != " + show(g.lsp_new_q[i]);
    }
  }
  if (mine.t_op != g.t_op) {
    return "t_op " + std::to_string(mine.t_op) + " != " + std::to_string(g.t_op);
  }
  for (int s = 0; s < 2; ++s) {
    const g729a::SubframeResult& a = mine.subframes[s];
    const g729a::SubframeResult& b = g.subframes[s];
    const std::string sub = "sub" + std::to_string(s) + " ";
    if (a.t0 != b.t0) return sub + "t0 " + std::to_string(a.t0) + " != " + std::to_string(b.t0);
    if (a.fraction != b.fraction) {
      return sub + "frac " + std::to_string(a.fraction) + " != " + std::to_string(b.fraction);
    }
    if (a.taming != b.taming) {
      return sub + "tame " + std::to_string(a.taming) + " != " + std::to_string(b.taming);
    }
    if (differs(a.gp_opt, b.gp_opt))
      return sub + "gp_opt " + show(a.gp_opt) + " != " + show(b.gp_opt);
    if (differs(a.gp, b.gp)) return sub + "gp " + show(a.gp) + " != " + show(b.gp);
    if (differs(a.gc, b.gc)) return sub + "gc " + show(a.gc) + " != " + show(b.gc);
  }
  for (int i = 0; i < 11; ++i) {
    if (mine_params.slots[i] != golden.slots[i]) {
      return "slot " + std::to_string(i + 1) + " " + std::to_string(mine_params.slots[i]) +
             " != " + std::to_string(golden.slots[i]);
    }
  }
  return "";
}

}  // namespace encconf
