// g729a: command-line front end of the codec module.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "audio_file.h"
#include "batch.h"
#include "bench.h"
#include "capture.h"
#include "codec_host.h"
#include "conformance.h"
#include "demo.h"
#include "help_text.h"
#include "jobs.h"
#include "measures.h"
#include "output_file.h"
#include "report.h"
#include "streams.h"
#include "tool_error.h"
#include "version.h"

namespace g729tool {
namespace {

struct CommonOptions {
  std::string module_path;
  bool quiet = false;
};

struct BatchOptions {
  std::vector<std::string> files;
  std::string out_dir;
  int jobs = 0;
  std::string to;
};

void add_common(CLI::App& app, CommonOptions& common) {
  app.add_option("--module", common.module_path,
                 "Codec module to load (default: $G729A_MODULE, else beside g729a, else the "
                 "installed module folder)")
      ->type_name("PATH");
  app.add_flag("-q,--quiet", common.quiet, "Print errors only: no notes, progress or summary");
}

void add_batch(CLI::App& app, BatchOptions& batch, const std::string& to_help) {
  app.add_option("files", batch.files, "IN OUT, or the inputs when -o is given")
      ->required()
      ->type_name("FILE");
  app.add_option("-o,--output-dir", batch.out_dir, "Convert every FILE into this directory")
      ->type_name("DIR");
  app.add_option("-j,--jobs", batch.jobs, "Files converted at once (default: one per CPU)")
      ->check(CLI::Range(1, 64))
      ->type_name("N");
  app.add_option("--to", batch.to, to_help)->type_name("EXT");
}

std::vector<Conversion> plan(const BatchOptions& batch, const std::string& extension) {
  if (batch.out_dir.empty()) {
    if (batch.files.size() != 2) {
      throw usage_error("expected IN OUT, or -o DIR followed by the inputs");
    }
    if (!batch.to.empty()) throw usage_error("--to goes with -o DIR");
    return {{batch.files[0], batch.files[1]}};
  }
  return plan_outputs(batch.files, batch.out_dir, extension);
}

void check_jobs(const std::vector<Conversion>& jobs) {
  std::vector<std::string> inputs, outputs;
  for (const auto& job : jobs) {
    inputs.push_back(job.in);
    outputs.push_back(job.out);
  }
  check_outputs(inputs, outputs);
}

int thread_count(const BatchOptions& batch) {
  if (batch.jobs > 0) return batch.jobs;
  return std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
}

std::uint32_t parse_ssrc(const std::string& text) {
  try {
    std::size_t used = 0;
    const unsigned long long value = std::stoull(text, &used, 0);
    if (used == text.size() && value <= 0xFFFFFFFFull) return static_cast<std::uint32_t>(value);
  } catch (const std::exception&) {
  }
  throw usage_error("--ssrc: '" + text + "' is not a 32-bit number (decimal or 0x hex)");
}

void check_roundtrip_usage(const std::string& in, const std::string& out,
                           const std::string& bitstream) {
  if (!is_audio_output(out)) {
    throw usage_error(out + ": decoded audio goes to .wav or .raw, not '" + extension_of(out) +
                      "'");
  }
  if (!bitstream.empty() && !is_encoded_output(bitstream)) {
    throw usage_error(bitstream + ": unknown bitstream format '" + extension_of(bitstream) +
                      "' (use .g729 or .bit)");
  }
  std::vector<std::string> outputs{out};
  if (!bitstream.empty()) outputs.push_back(bitstream);
  check_outputs({in}, outputs);
}

int run_roundtrip(const CodecModule& codec, const std::string& in, const std::string& out,
                  const std::string& bitstream) {
  Stopwatch clock;
  const AudioInput audio = read_audio(in);
  if (!audio.conversion.empty()) print_note(in + ": " + audio.conversion);
  if (!audio.cut_short.empty()) print_error("warning: " + in + ": " + audio.cut_short);
  if (audio.samples.empty()) throw bad_input(in, "no audio samples");
  const RoundTrip trip = round_trip(codec, audio.samples, in);
  // Both outputs or neither.
  OutputFile audio_out(out);
  std::optional<OutputFile> frames_out;
  if (!bitstream.empty()) frames_out.emplace(bitstream);
  write_audio(audio_out, trip.output);
  std::vector<OutputFile*> files{&audio_out};
  if (frames_out) {
    write_encoded(*frames_out, trip.frames);
    files.push_back(&*frames_out);
  }
  commit_all(files);
  print_result(in + ": " + quality_text(trip));
  print_result(in + " -> " + out + ": " + summary_text(trip.encoded, clock.seconds()));
  return kExitOk;
}

int run_console_words(const std::vector<std::string>& words) {
  std::string output;
  const int result = standin::run_console(words, output);
  if (result == -1) {
    std::string text = output;
    while (!text.empty() && text.back() == '\n') text.pop_back();
    throw usage_error(text.empty() ? "no such console command" : text);
  }
  std::fputs(output.c_str(), result == 0 ? stdout : stderr);
  return result == 0 ? kExitOk : kExitUsage;
}

int run(int argc, char** argv) {
  CLI::App app(kMainDescription, "g729a");
  app.footer(kMainFooter);
  app.require_subcommand(0, 1);
  CommonOptions common;
  add_common(app, common);
  bool show_version = false;
  app.add_flag("--version", show_version, "Print the tool's version and the module's version line");

  BatchOptions encode_options;
  auto* encode = app.add_subcommand("encode", "Encode audio to G.729 frames (.g729 or .bit)");
  encode->footer(kEncodeFooter);
  add_common(*encode, common);
  add_batch(*encode, encode_options, "Output format with -o: g729 (default) or bit");

  BatchOptions decode_options;
  CaptureOptions capture;
  std::string ssrc_text;
  auto* decode = app.add_subcommand("decode", "Decode .g729, .bit or a capture to audio");
  decode->footer(kDecodeFooter);
  add_common(*decode, common);
  add_batch(*decode, decode_options, "Output format with -o: wav (default) or raw");
  decode
      ->add_option("--pt", capture.payload_type,
                   "RTP payload type of G.729 (default 18 and what SIP/SDP in the capture gives)")
      ->check(CLI::Range(0, 127))
      ->type_name("N");
  decode->add_option("--ssrc", ssrc_text, "RTP stream to decode (default: the busiest)")
      ->type_name("X");
  bool all_streams = false, call = false;
  decode->add_flag("--all", all_streams,
                   "Every G.729 stream of a capture to its own file (OUT-SSRC.wav)");
  decode->add_flag("--call", call,
                   "Both directions of a call into one stereo WAV, aligned by capture time");
  std::string gaps = "conceal";
  decode
      ->add_option("--gaps", gaps,
                   "Missing frames: conceal (default; comfort noise in pauses after a SID "
                   "frame) or silence")
      ->check(CLI::IsMember({"conceal", "silence"}))
      ->type_name("HOW");

  std::string trip_in, trip_out, trip_bitstream;
  auto* trip = app.add_subcommand("roundtrip", "Encode then decode; print SNR and speed");
  trip->footer(kRoundTripFooter);
  add_common(*trip, common);
  trip->add_option("IN", trip_in, "Audio input")->required();
  trip->add_option("OUT", trip_out, "Decoded audio (.raw headerless, else WAV)")->required();
  trip->add_option("--bitstream", trip_bitstream, "Also keep the frames (.g729 or .bit)")
      ->type_name("FILE");

  std::string conformance_dir;
  auto* conformance =
      app.add_subcommand("conformance", "Check the codec against published test sequences");
  conformance->footer(kConformanceFooter);
  add_common(*conformance, common);
  conformance->add_option("DIR", conformance_dir, "Directory of test sequences")->required();

  std::vector<std::string> stream_files;
  CaptureOptions stream_options;
  bool stream_json = false;
  auto* streams = app.add_subcommand("streams", "List the RTP streams of captures");
  streams->footer(kStreamsFooter);
  add_common(*streams, common);
  streams->add_option("FILE", stream_files, "Captures (.pcap, .pcapng)")->required();
  streams->add_option("--pt", stream_options.payload_type, "RTP payload type of G.729")
      ->check(CLI::Range(0, 127))
      ->type_name("N");
  streams->add_flag("--json", stream_json, "One JSON array for scripts");

  auto* bench = app.add_subcommand(
      "bench",
      "Cost per channel: us per frame to encode and decode, full-duplex channels per core");
  bench->footer(kBenchFooter);
  add_common(*bench, common);

  std::vector<std::string> console_words;
  auto* console = app.add_subcommand("console", "Run a console command of the module");
  console->footer("Example: g729a console g729 show version");
  add_common(*console, common);
  console->add_option("WORDS", console_words, "The command's words")->required();

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    const int code = app.exit(error);
    return code == 0 ? kExitOk : kExitUsage;
  }
  set_quiet(common.quiet);

  // Reading captures needs no module.
  if (*streams) return run_streams(stream_files, stream_options, stream_json);

  std::string module_path = common.module_path.empty() ? default_module_path() : common.module_path;
  if (show_version) {
    install_log_sink();
    return print_versions(module_path);
  }
  // Validate everything that needs no module before loading it.
  std::vector<Conversion> encode_jobs, decode_jobs;
  if (*encode) {
    const std::string to = encode_options.to.empty() ? "g729" : encode_options.to;
    if (to != "g729" && to != "bit") throw usage_error("--to: use g729 or bit");
    encode_jobs = plan(encode_options, "." + to);
    for (const auto& job : encode_jobs) {
      if (!is_encoded_output(job.out)) {
        throw usage_error(job.out + ": unknown output format '" + extension_of(job.out) +
                          "' (use .g729 or .bit)");
      }
    }
    check_jobs(encode_jobs);
  }
  if (*decode) {
    const std::string to = decode_options.to.empty() ? "wav" : decode_options.to;
    if (to != "wav" && to != "raw") throw usage_error("--to: use wav or raw");
    if (!ssrc_text.empty()) capture.ssrc = parse_ssrc(ssrc_text);
    capture.conceal = gaps == "conceal";
    if (all_streams && call) throw usage_error("--all and --call exclude each other");
    decode_jobs = plan(decode_options, "." + to);
    for (const auto& job : decode_jobs) {
      if (!is_audio_output(job.out)) {
        throw usage_error(job.out + ": decoded audio goes to .wav or .raw, not '" +
                          extension_of(job.out) + "'");
      }
    }
    check_jobs(decode_jobs);
  }
  if (*trip) check_roundtrip_usage(trip_in, trip_out, trip_bitstream);

  install_log_sink();
  const CodecModule codec = open_codec_module(module_path);

  if (*encode) {
    if (!encode_options.out_dir.empty()) create_output_dir(encode_options.out_dir);
    return run_batch(encode_jobs, thread_count(encode_options),
                     [&](const Conversion& job) { return encode_file(codec, job.in, job.out); });
  }
  if (*decode) {
    if (!decode_options.out_dir.empty()) create_output_dir(decode_options.out_dir);
    return run_batch(decode_jobs, thread_count(decode_options), [&](const Conversion& job) {
      if (all_streams) return decode_all_streams(codec, job.in, job.out, capture);
      if (call) return decode_call(codec, job.in, job.out, capture);
      return decode_file(codec, job.in, job.out, capture);
    });
  }
  if (*trip) return run_roundtrip(codec, trip_in, trip_out, trip_bitstream);
  if (*conformance) return run_conformance(codec, conformance_dir);
  if (*console) return run_console_words(console_words);
  if (*bench) return run_bench(codec);
  return run_demo(codec);
}

}  // namespace
}  // namespace g729tool

int main(int argc, char** argv) {
  g729tool::install_interrupt_cleanup();
  try {
    return g729tool::run(argc, argv);
  } catch (const g729tool::ToolError& error) {
    g729tool::print_error(error.what());
    return error.status;
  } catch (const std::exception& error) {
    g729tool::print_error(error.what());
    return g729tool::kExitBadInput;
  }
}
