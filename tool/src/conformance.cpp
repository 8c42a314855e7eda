#include "conformance.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <vector>

#include "audio_file.h"
#include "conversions.h"
#include "measures.h"
#include "report.h"
#include "tool_error.h"

namespace g729tool {
namespace {

namespace fs = std::filesystem;

struct Sequence {
  std::string label;   // "g729a/SPEECH"
  fs::path bitstream;  // .BIT / .bit
  fs::path reference;  // published decoder output; empty when absent
  fs::path input;      // encoder input; empty when absent
};

std::optional<fs::path> first_existing(const std::vector<fs::path>& candidates) {
  for (const auto& path : candidates) {
    if (fs::is_regular_file(path)) return path;
  }
  return std::nullopt;
}

// Name pairs of both published layouts: NAME.BIT / NAME.IN / NAME.PST and
// NAMEa.bit / NAME.bin / NAMEa.out.
Sequence describe(const fs::path& dir, const fs::path& bitstream, const std::string& label) {
  Sequence sequence;
  sequence.label = label;
  sequence.bitstream = bitstream;
  const std::string stem = bitstream.stem().string();
  std::string base = stem;
  if (!base.empty() && base.back() == 'a') base.pop_back();
  if (auto ref = first_existing({dir / (stem + ".PST"), dir / (stem + ".pst"),
                                 dir / (stem + ".out"), dir / (stem + "a.out")})) {
    sequence.reference = *ref;
  }
  if (auto in = first_existing({dir / (stem + ".IN"), dir / (stem + ".in"), dir / (stem + ".bin"),
                                dir / (base + ".bin")})) {
    sequence.input = *in;
  }
  return sequence;
}

std::vector<Sequence> find_sequences(const fs::path& root) {
  std::vector<Sequence> found;
  std::vector<std::pair<fs::path, std::string>> dirs{{root, ""}};
  std::vector<fs::path> subdirs;
  for (const auto& entry : fs::directory_iterator(root)) {
    if (entry.is_directory()) subdirs.push_back(entry.path());
  }
  std::sort(subdirs.begin(), subdirs.end());
  for (const auto& sub : subdirs) dirs.emplace_back(sub, sub.filename().string() + "/");
  for (const auto& [dir, prefix] : dirs) {
    std::vector<fs::path> streams;
    for (const auto& entry : fs::directory_iterator(dir)) {
      if (entry.is_regular_file() && extension_of(entry.path().string()) == ".bit") {
        streams.push_back(entry.path());
      }
    }
    std::sort(streams.begin(), streams.end());
    for (const auto& s : streams) found.push_back(describe(dir, s, prefix + s.stem().string()));
  }
  return found;
}

std::string db(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%6.2f", value);
  return text;
}

std::string db_short(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

std::string column(std::string text, std::size_t width) {
  if (text.size() < width) text.resize(width, ' ');
  return text;
}

struct Verdict {
  std::string line;  // the figures' columns
  bool pass = true;
  bool unchecked = false;     // no published output to check against
  std::string note;           // figures after the verdict
  std::string informational;  // why the decoding figure is not checked
};

// Mean over the frames starting at `starts` of the level of `ours` less that
// of `theirs`, in dB; each frame's mean square is taken from 1 so silence has
// a level.
double mean_level_difference_db(std::span<const std::int16_t> ours,
                                std::span<const std::int16_t> theirs,
                                const std::vector<long>& starts) {
  auto level = [](std::span<const std::int16_t> pcm, long start) {
    double energy = 0;
    for (long i = start; i < start + kFrameSamples; ++i) {
      const double x = i < static_cast<long>(pcm.size()) ? pcm[i] : 0.0;
      energy += x * x;
    }
    return 10.0 * std::log10(1.0 + energy / kFrameSamples);
  };
  double sum = 0;
  for (long start : starts) sum += level(ours, start) - level(theirs, start);
  return starts.empty() ? 0.0 : sum / static_cast<double>(starts.size());
}

const KnownSequence* known(const Sequence& sequence) {
  const std::string stem = sequence.bitstream.stem().string();
  for (const auto& k : kKnownSequences) {
    if (stem == k.name) return &k;
  }
  return nullptr;
}

Verdict evaluate(const CodecModule& codec, const Sequence& sequence, FrameCounts& total) {
  Verdict verdict;
  DecodeStream stream(codec);  // missing frames concealed, as decoding does by default
  decode_into(sequence.bitstream.string(), CaptureOptions{}, stream);
  const FrameCounts counts = stream.counts();
  total += counts;
  const KnownSequence* k = known(sequence);
  // Frames the decoder never receives make it depart from the reference;
  // only the known sequences have floors that allow for that.
  if (k && k->informational) {
    verdict.informational = k->informational;
  } else if (!k && counts.erased > 0) {
    verdict.informational = "erased frames";
  } else if (!k && counts.silent > 0) {
    verdict.informational = "untransmitted frames";
  }
  const double decode_floor = k ? k->decode_floor_db : kDefaultDecodeFloorDb;
  verdict.line += column(std::to_string(counts.frames()), 8);

  std::vector<std::int16_t> reference;
  if (!sequence.reference.empty()) {
    reference = pcm_from_bytes(read_whole_file(sequence.reference.string()));
    const double snr = snr_db(reference, stream.output(), 0);
    std::string figure = db(snr) + " dB";
    if (!verdict.informational.empty()) {
      figure += " info";
    } else {
      const bool ok = snr >= decode_floor;
      figure += (ok ? " >= " : " < ") + db_short(decode_floor);
      verdict.pass = verdict.pass && ok;
    }
    verdict.line += column(figure, 22);
    if (!stream.comfort_noise_starts().empty()) {
      const double level =
          mean_level_difference_db(stream.output(), reference, stream.comfort_noise_starts());
      const double most = k ? k->gap_level_db : 0;
      const bool ok = most <= 0 || std::fabs(level) <= most;
      verdict.pass = verdict.pass && ok;
      char text[96];
      std::snprintf(text, sizeof text, "; DTX gaps %+.2f dB from the published level%s", level,
                    most <= 0 ? "" : (ok ? " ok" : " FAR"));
      verdict.note = text;
    }
  } else {
    // Nothing to compare with: not a pass.
    verdict.line += column("   (no reference)", 22);
    verdict.unchecked = true;
  }

  if (!sequence.input.empty()) {
    const auto input = pcm_from_bytes(read_whole_file(sequence.input.string()));
    const RoundTrip trip = round_trip(codec, input, sequence.input.string());
    std::string figure = db(trip.segmental_snr_db) + " dB";
    std::string published;
    if (!reference.empty()) {
      // The published chain: its encoder and decoder, output against input.
      const double theirs = segmental_snr_db(input, reference, kCodecDelay);
      published = db(theirs) + " dB";
      const bool ok = trip.segmental_snr_db >= theirs - kRoundTripMarginDb;
      figure += ok ? " ok" : " LOW";
      verdict.pass = verdict.pass && ok;
    }
    verdict.line += column(figure, 20) + column(published, 11);
  } else {
    verdict.line += column("   (decoder only)", 20) + column("", 11);
  }
  return verdict;
}

}  // namespace

int run_conformance(const CodecModule& codec, const std::string& dir) {
  if (!fs::is_directory(dir)) throw bad_input(dir, "not a directory");
  const auto sequences = find_sequences(dir);
  if (sequences.empty()) throw bad_input(dir, "no test sequences (*.BIT, *.bit) found");

  print_result(column("sequence", 16) + column("frames", 8) + column("decode SNR", 22) +
               column("round trip segSNR", 20) + column("published", 11) + "result");
  int failures = 0, unchecked = 0;
  FrameCounts total;
  Stopwatch clock;
  for (const auto& sequence : sequences) {
    std::string line = column(sequence.label, 16);
    bool pass = true, checked = true;
    std::string informational, note;
    try {
      const Verdict verdict = evaluate(codec, sequence, total);
      line += verdict.line;
      pass = verdict.pass;
      checked = !verdict.unchecked;
      informational = verdict.informational;
      note = verdict.note;
    } catch (const ToolError& error) {
      pass = false;
      line += std::string("error: ") + error.what();
    }
    if (pass && !checked) {
      ++unchecked;
      print_error(line + "NOT CHECKED (no published output)");
    } else if (!pass) {
      ++failures;
      print_error(line + "FAIL" + note);
    } else {
      print_result(
          line + (informational.empty() ? "pass" : "pass, decoding info (" + informational + ")") +
          note);
    }
  }
  const auto met = static_cast<long>(sequences.size()) - failures - unchecked;
  std::string line = std::to_string(met) + " of " + std::to_string(sequences.size()) +
                     " sequences meet their floors";
  if (unchecked > 0)
    line += ", " + std::to_string(unchecked) + " not checked (no published output)";
  print_result(line + "; decoded " + summary_text(total, clock.seconds()));
  // A run that checked nothing, or left a sequence unchecked, proves nothing.
  return failures == 0 && unchecked == 0 ? kExitOk : kExitBadInput;
}

}  // namespace g729tool
