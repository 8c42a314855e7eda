#include "commands.h"

#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "audio_file.h"
#include "batch.h"
#include "bench.h"
#include "capture.h"
#include "conformance.h"
#include "conversions.h"
#include "help_text.h"
#include "output_file.h"
#include "report.h"
#include "streams.h"
#include "tool_error.h"

namespace g729tool {
namespace {

// The files of encode and decode: IN OUT, or -o DIR and the inputs.
struct BatchOptions {
  std::vector<std::string> files;
  std::string out_dir;
  int jobs = 0;
  std::string to;
  std::vector<Conversion> conversions;  // planned by prepare
};

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

// Plans the conversions and refuses outputs that are inputs or named twice.
void plan_batch(BatchOptions& batch, const std::string& extension) {
  if (batch.out_dir.empty()) {
    if (batch.files.size() != 2) {
      throw usage_error("expected IN OUT, or -o DIR followed by the inputs");
    }
    if (!batch.to.empty()) throw usage_error("--to goes with -o DIR");
    batch.conversions = {{batch.files[0], batch.files[1]}};
  } else {
    batch.conversions = plan_outputs(batch.files, batch.out_dir, extension);
  }
  std::vector<std::string> inputs, outputs;
  for (const auto& conversion : batch.conversions) {
    inputs.push_back(conversion.in);
    outputs.push_back(conversion.out);
  }
  check_outputs(inputs, outputs);
}

int run_planned(const BatchOptions& batch, const ConvertFn& convert) {
  if (!batch.out_dir.empty()) create_output_dir(batch.out_dir);
  const int threads = batch.jobs > 0
                          ? batch.jobs
                          : std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
  return run_batch(batch.conversions, threads, convert);
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

}  // namespace

void add_common(CLI::App& app, CommonOptions& common) {
  app.add_option("--module", common.module_path,
                 "Codec module to load (default: $G729A_MODULE, else beside g729a, else the "
                 "installed module folder)")
      ->type_name("PATH");
  app.add_flag("-q,--quiet", common.quiet, "Print errors only: no notes, progress or summary");
}

Command add_encode_command(CLI::App& app, CommonOptions& common) {
  auto batch = std::make_shared<BatchOptions>();
  Command command;
  command.app = app.add_subcommand("encode", "Encode audio to G.729 frames (.g729 or .bit)");
  command.app->footer(kEncodeFooter);
  add_common(*command.app, common);
  add_batch(*command.app, *batch, "Output format with -o: g729 (default) or bit");
  command.prepare = [batch] {
    const std::string to = batch->to.empty() ? "g729" : batch->to;
    if (to != "g729" && to != "bit") throw usage_error("--to: use g729 or bit");
    plan_batch(*batch, "." + to);
    for (const auto& conversion : batch->conversions) {
      if (!is_encoded_output(conversion.out)) {
        throw usage_error(conversion.out + ": unknown output format '" +
                          extension_of(conversion.out) + "' (use .g729 or .bit)");
      }
    }
  };
  command.run = [batch](const CodecModule& codec) {
    return run_planned(*batch, [&](const Conversion& conversion) {
      return encode_file(codec, conversion.in, conversion.out);
    });
  };
  return command;
}

Command add_decode_command(CLI::App& app, CommonOptions& common) {
  struct DecodeOptions {
    BatchOptions batch;
    CaptureOptions capture;
    std::string ssrc;
    bool all_streams = false;
    bool call = false;
    std::string gaps = "conceal";
  };
  auto options = std::make_shared<DecodeOptions>();
  Command command;
  CLI::App* decode = app.add_subcommand("decode", "Decode .g729, .bit or a capture to audio");
  command.app = decode;
  decode->footer(kDecodeFooter);
  add_common(*decode, common);
  add_batch(*decode, options->batch, "Output format with -o: wav (default) or raw");
  decode
      ->add_option("--pt", options->capture.payload_type,
                   "RTP payload type of G.729 (default 18 and what SIP/SDP in the capture gives)")
      ->check(CLI::Range(0, 127))
      ->type_name("N");
  decode->add_option("--ssrc", options->ssrc, "RTP stream to decode (default: the busiest)")
      ->type_name("X");
  decode->add_flag("--all", options->all_streams,
                   "Every G.729 stream of a capture to its own file (OUT-SSRC.wav)");
  decode->add_flag("--call", options->call,
                   "Both directions of a call into one stereo WAV, aligned by capture time");
  decode
      ->add_option("--gaps", options->gaps,
                   "Missing frames: conceal (default; comfort noise in pauses after a SID "
                   "frame) or silence")
      ->check(CLI::IsMember({"conceal", "silence"}))
      ->type_name("HOW");
  command.prepare = [options] {
    const std::string to = options->batch.to.empty() ? "wav" : options->batch.to;
    if (to != "wav" && to != "raw") throw usage_error("--to: use wav or raw");
    if (!options->ssrc.empty()) options->capture.ssrc = parse_ssrc(options->ssrc);
    options->capture.conceal = options->gaps == "conceal";
    if (options->all_streams && options->call) {
      throw usage_error("--all and --call exclude each other");
    }
    plan_batch(options->batch, "." + to);
    for (const auto& conversion : options->batch.conversions) {
      if (!is_audio_output(conversion.out)) {
        throw usage_error(conversion.out + ": decoded audio goes to .wav or .raw, not '" +
                          extension_of(conversion.out) + "'");
      }
    }
  };
  command.run = [options](const CodecModule& codec) {
    return run_planned(options->batch, [&](const Conversion& conversion) {
      if (options->all_streams) {
        return decode_all_streams(codec, conversion.in, conversion.out, options->capture);
      }
      if (options->call) return decode_call(codec, conversion.in, conversion.out, options->capture);
      return decode_file(codec, conversion.in, conversion.out, options->capture);
    });
  };
  return command;
}

Command add_roundtrip_command(CLI::App& app, CommonOptions& common) {
  struct RoundTripOptions {
    std::string in, out, bitstream;
  };
  auto options = std::make_shared<RoundTripOptions>();
  Command command;
  CLI::App* trip = app.add_subcommand("roundtrip", "Encode then decode; print SNR and speed");
  command.app = trip;
  trip->footer(kRoundTripFooter);
  add_common(*trip, common);
  trip->add_option("IN", options->in, "Audio input")->required();
  trip->add_option("OUT", options->out, "Decoded audio (.raw headerless, else WAV)")->required();
  trip->add_option("--bitstream", options->bitstream, "Also keep the frames (.g729 or .bit)")
      ->type_name("FILE");
  command.prepare = [options] {
    const auto& o = *options;
    if (!is_audio_output(o.out)) {
      throw usage_error(o.out + ": decoded audio goes to .wav or .raw, not '" +
                        extension_of(o.out) + "'");
    }
    if (!o.bitstream.empty() && !is_encoded_output(o.bitstream)) {
      throw usage_error(o.bitstream + ": unknown bitstream format '" + extension_of(o.bitstream) +
                        "' (use .g729 or .bit)");
    }
    std::vector<std::string> outputs{o.out};
    if (!o.bitstream.empty()) outputs.push_back(o.bitstream);
    check_outputs({o.in}, outputs);
  };
  command.run = [options](const CodecModule& codec) {
    return run_roundtrip(codec, options->in, options->out, options->bitstream);
  };
  return command;
}

Command add_conformance_command(CLI::App& app, CommonOptions& common) {
  auto dir = std::make_shared<std::string>();
  Command command;
  command.app =
      app.add_subcommand("conformance", "Check the codec against published test sequences");
  command.app->footer(kConformanceFooter);
  add_common(*command.app, common);
  command.app->add_option("DIR", *dir, "Directory of test sequences")->required();
  command.run = [dir](const CodecModule& codec) { return run_conformance(codec, *dir); };
  return command;
}

Command add_streams_command(CLI::App& app, CommonOptions& common) {
  struct StreamsOptions {
    std::vector<std::string> files;
    CaptureOptions capture;
    bool json = false;
  };
  auto options = std::make_shared<StreamsOptions>();
  Command command;
  CLI::App* streams = app.add_subcommand("streams", "List the RTP streams of captures");
  command.app = streams;
  streams->footer(kStreamsFooter);
  add_common(*streams, common);
  streams->add_option("FILE", options->files, "Captures (.pcap, .pcapng)")->required();
  streams->add_option("--pt", options->capture.payload_type, "RTP payload type of G.729")
      ->check(CLI::Range(0, 127))
      ->type_name("N");
  streams->add_flag("--json", options->json, "One JSON array for scripts");
  // Reading captures needs no module.
  command.run_without_module = [options] {
    return run_streams(options->files, options->capture, options->json);
  };
  return command;
}

Command add_bench_command(CLI::App& app, CommonOptions& common) {
  Command command;
  command.app = app.add_subcommand(
      "bench",
      "Cost per channel: us per frame to encode and decode, full-duplex channels per core");
  command.app->footer(kBenchFooter);
  add_common(*command.app, common);
  command.run = [](const CodecModule& codec) { return run_bench(codec); };
  return command;
}

Command add_console_command(CLI::App& app, CommonOptions& common) {
  auto words = std::make_shared<std::vector<std::string>>();
  Command command;
  command.app = app.add_subcommand("console", "Run a console command of the module");
  command.app->footer("Example: g729a console g729 show version");
  add_common(*command.app, common);
  command.app->add_option("WORDS", *words, "The command's words")->required();
  command.run = [words](const CodecModule&) {
    std::string output;
    const int result = standin::run_console(*words, output);
    if (result == -1) {
      std::string text = output;
      while (!text.empty() && text.back() == '\n') text.pop_back();
      throw usage_error(text.empty() ? "no such console command" : text);
    }
    std::fputs(output.c_str(), result == 0 ? stdout : stderr);
    return result == 0 ? kExitOk : kExitUsage;
  };
  return command;
}

}  // namespace g729tool
