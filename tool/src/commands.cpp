#include "commands.h"

#include <algorithm>
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
#include "demo.h"
#include "help_text.h"
#include "input_source.h"
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
  CLI::Option* files_option = nullptr;
  CLI::Option* type_option = nullptr;
  std::vector<Conversion> conversions;  // planned by prepare
};

CLI::Option* add_type(CLI::App& app, const std::string& types) {
  return app.add_option("-t,--type")
      ->description("The type of the file named next: " + types)
      ->type_name("TYPE")
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
}

// -t TYPE describes the file named after it, as in sox. Returns the type of
// each value of the `files` options in command-line order ("" for none).
std::vector<std::pair<const CLI::Option*, std::string>> types_of_files(
    const CLI::App& app, const CLI::Option* type, const std::vector<const CLI::Option*>& files) {
  std::vector<std::pair<const CLI::Option*, std::string>> result;
  const auto& given = type->results();
  std::size_t next_type = 0;
  std::string pending;
  for (const CLI::Option* option : app.parse_order()) {
    if (option == type) {
      if (!pending.empty()) throw usage_error("-t " + pending + " describes no file");
      pending = given.at(next_type++);
    } else if (std::find(files.begin(), files.end(), option) != files.end()) {
      result.emplace_back(option, pending);
      pending.clear();
    }
  }
  if (!pending.empty()) {
    throw usage_error("-t " + pending + " goes before the file it describes");
  }
  return result;
}

void check_type(const std::string& type, const std::vector<std::string>& known,
                const std::string& what) {
  if (type.empty() || std::find(known.begin(), known.end(), type) != known.end()) return;
  std::string list;
  for (const auto& k : known) list += (list.empty() ? "" : ", ") + k;
  throw usage_error("-t " + type + ": not a type of " + what + " (" + list + ")");
}

const std::vector<std::string> kAudioTypes{"raw", "pcm", "sln", "wav", "flac", "ogg"};
const std::vector<std::string> kFrameTypes{"g729", "bit"};
const std::vector<std::string> kDecoderInputTypes{"g729", "bit", "pcap", "pcapng"};
const std::vector<std::string> kDecodedTypes{"raw", "wav"};

// The encoder's output format: -t, else g729 for "-", else by extension.
std::string frame_output_type(const std::string& out, const std::string& type) {
  if (!type.empty()) return type;
  const std::string ext = extension_of(out);
  if (ext == ".g729" || ext == ".bit") return ext.substr(1);
  if (is_standard_stream(out) || (ext.empty() && is_in_place_output(out))) return "g729";
  throw usage_error(out + ": unknown output format '" + ext + "' (use .g729 or .bit, or -t TYPE)");
}

// The decoder's output format: -t, else raw for "-", else by extension.
std::string audio_output_type(const std::string& out, const std::string& type) {
  if (!type.empty()) return type == "raw" ? "raw" : "wav";
  if (is_standard_stream(out) || is_headerless_pcm(out)) return "raw";
  if (is_audio_output(out)) return "wav";
  throw usage_error(out + ": decoded audio goes to .wav or .raw, not '" + extension_of(out) +
                    "' (or -t TYPE before it)");
}

void add_batch(CLI::App& app, BatchOptions& batch, const std::string& to_help) {
  batch.files_option =
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

// Plans the conversions with their types and refuses outputs that are
// inputs or named twice. `output_type` settles an output's format.
void plan_batch(
    CLI::App& app, BatchOptions& batch, const std::string& extension,
    const std::vector<std::string>& input_types, const std::vector<std::string>& output_types,
    const std::function<std::string(const std::string&, const std::string&)>& output_type) {
  const auto types = types_of_files(app, batch.type_option, {batch.files_option});
  if (batch.out_dir.empty()) {
    if (batch.files.size() != 2) {
      throw usage_error("expected IN OUT, or -o DIR followed by the inputs");
    }
    if (!batch.to.empty()) throw usage_error("--to goes with -o DIR");
    batch.conversions = {{batch.files[0], batch.files[1], types[0].second, types[1].second}};
    check_type(types[0].second, input_types, "input");
    check_type(types[1].second, output_types, "output");
  } else {
    batch.conversions = plan_outputs(batch.files, batch.out_dir, extension);
    for (std::size_t i = 0; i < types.size(); ++i) {
      check_type(types[i].second, input_types, "input");
      batch.conversions[i].in_type = types[i].second;
    }
  }
  for (auto& conversion : batch.conversions) {
    conversion.out_type = output_type(conversion.out, conversion.out_type);
  }
  std::vector<std::string> inputs, outputs;
  for (const auto& conversion : batch.conversions) {
    inputs.push_back(conversion.in);
    outputs.push_back(conversion.out);
  }
  check_outputs(inputs, outputs, !batch.out_dir.empty());
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
  app.add_flag("-v,--verbose", common.verbose,
               "List every packet event (late, lost, duplicate...) instead of counts per kind");
}

namespace {

// The subcommand `name` with the options every command takes and its footer
// ("" keeps the one it inherits from `app`).
Command new_command(CLI::App& app, CommonOptions& common, const std::string& name,
                    const std::string& description, const std::string& footer) {
  Command command;
  command.app = app.add_subcommand(name, description);
  if (!footer.empty()) command.app->footer(footer);
  add_common(*command.app, common);
  return command;
}

}  // namespace

Command add_encode_command(CLI::App& app, CommonOptions& common) {
  auto batch = std::make_shared<BatchOptions>();
  Command command = new_command(app, common, "encode",
                                "Encode audio to G.729 frames (.g729 or .bit)", kEncodeFooter);
  add_batch(*command.app, *batch, "Output format with -o: g729 (default) or bit");
  batch->type_option = add_type(*command.app, "raw (headerless 16-bit), wav, flac, ogg; g729, bit");
  CLI::App* app_of_command = command.app;
  command.prepare = [batch, app_of_command] {
    const std::string to = batch->to.empty() ? "g729" : batch->to;
    if (to != "g729" && to != "bit") throw usage_error("--to: use g729 or bit");
    plan_batch(*app_of_command, *batch, "." + to, kAudioTypes, kFrameTypes, frame_output_type);
  };
  command.run = [batch](const CodecModule& codec) {
    return run_planned(*batch, [&](const Conversion& conversion, std::string&) {
      return encode_file(codec, conversion);
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
  Command command =
      new_command(app, common, "decode", "Decode .g729, .bit or a capture to audio", kDecodeFooter);
  CLI::App* decode = command.app;
  add_batch(*decode, options->batch, "Output format with -o: wav (default) or raw");
  options->batch.type_option = add_type(*decode, "g729, bit, pcap, pcapng; raw, wav");
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
  command.prepare = [options, decode] {
    const std::string to = options->batch.to.empty() ? "wav" : options->batch.to;
    if (to != "wav" && to != "raw") throw usage_error("--to: use wav or raw");
    if (!options->ssrc.empty()) options->capture.ssrc = parse_ssrc(options->ssrc);
    options->capture.conceal = options->gaps == "conceal";
    if (options->all_streams && options->call) {
      throw usage_error("--all and --call exclude each other");
    }
    plan_batch(*decode, options->batch, "." + to, kDecoderInputTypes, kDecodedTypes,
               audio_output_type);
    for (const auto& conversion : options->batch.conversions) {
      if (options->call && conversion.out_type == "raw") {
        throw usage_error(conversion.out + ": --call writes a stereo WAV");
      }
      if ((options->call || options->all_streams) && is_standard_stream(conversion.in)) {
        throw usage_error("--all and --call read a capture file, not standard input");
      }
      if (options->all_streams && is_in_place_output(conversion.out)) {
        throw usage_error(conversion.out + ": --all writes files named after it");
      }
    }
  };
  command.run = [options](const CodecModule& codec) {
    return run_planned(options->batch, [&](const Conversion& conversion, std::string& written) {
      if (options->all_streams) {
        return decode_all_streams(codec, conversion, options->capture, written);
      }
      if (options->call) return decode_call(codec, conversion, options->capture);
      return decode_file(codec, conversion, options->capture);
    });
  };
  return command;
}

Command add_roundtrip_command(CLI::App& app, CommonOptions& common) {
  struct RoundTripOptions {
    std::string in, out, bitstream;
    Conversion conversion;
    std::string bitstream_type;
  };
  auto options = std::make_shared<RoundTripOptions>();
  Command command = new_command(app, common, "roundtrip", "Encode then decode; print SNR and speed",
                                kRoundTripFooter);
  CLI::App* trip = command.app;
  const CLI::Option* in = trip->add_option("IN", options->in, "Audio input")->required();
  const CLI::Option* out =
      trip->add_option("OUT", options->out, "Decoded audio (.raw headerless, else WAV)")
          ->required();
  const CLI::Option* bitstream =
      trip->add_option("--bitstream", options->bitstream, "Also keep the frames (.g729 or .bit)")
          ->type_name("FILE");
  const CLI::Option* type = add_type(*trip, "raw, wav, flac, ogg (IN); raw, wav (OUT); g729, bit");
  command.prepare = [options, trip, in, out, bitstream, type] {
    auto& o = *options;
    o.conversion = {o.in, o.out, "", ""};
    for (const auto& [option, given] : types_of_files(*trip, type, {in, out, bitstream})) {
      if (option == in) check_type(o.conversion.in_type = given, kAudioTypes, "input");
      if (option == out) check_type(o.conversion.out_type = given, kDecodedTypes, "output");
      if (option == bitstream) check_type(o.bitstream_type = given, kFrameTypes, "bitstream");
    }
    o.conversion.out_type = audio_output_type(o.out, o.conversion.out_type);
    if (!o.bitstream.empty()) o.bitstream_type = frame_output_type(o.bitstream, o.bitstream_type);
    std::vector<std::string> outputs{o.out};
    if (!o.bitstream.empty()) outputs.push_back(o.bitstream);
    check_outputs({o.in}, outputs);
  };
  command.run = [options](const CodecModule& codec) {
    return run_roundtrip(codec, options->conversion, options->bitstream, options->bitstream_type);
  };
  return command;
}

Command add_conformance_command(CLI::App& app, CommonOptions& common) {
  auto dir = std::make_shared<std::string>();
  Command command =
      new_command(app, common, "conformance", "Check the codec against published test sequences",
                  kConformanceFooter);
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
  Command command =
      new_command(app, common, "streams", "List the RTP streams of captures", kStreamsFooter);
  CLI::App* streams = command.app;
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
  Command command = new_command(
      app, common, "bench",
      "Cost per channel: us per frame to encode and decode, full-duplex channels per core",
      kBenchFooter);
  command.run = [](const CodecModule& codec) { return run_bench(codec); };
  return command;
}

Command add_console_command(CLI::App& app, CommonOptions& common) {
  auto words = std::make_shared<std::vector<std::string>>();
  Command command = new_command(
      app, common, "console", "Run a console command of the module",
      "Example: g729a console g729 show version\n'g729a console help' lists the commands.");
  command.app->add_option("WORDS", *words, "The command's words")->required();
  command.run = [words](const CodecModule&) {
    if (*words == std::vector<std::string>{"help"}) {
      // The module's commands with what each does.
      for (const CliEntry* entry : standin::registered_commands()) {
        std::string typed;
        for (std::size_t i = 0; i < CVN_CLI_MAX_WORDS && entry->words[i]; ++i) {
          typed += (typed.empty() ? "" : " ") + std::string(entry->words[i]);
        }
        std::printf("%-28s %s\n", typed.c_str(), entry->summary ? entry->summary : "");
      }
      return kExitOk;
    }
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

Command add_demo_command(CLI::App& app, CommonOptions& common) {
  auto dir = std::make_shared<std::string>(kDemoFolder);
  Command command =
      new_command(app, common, "demo",
                  "Round trip of the built-in speech sample into a folder, with its figures", "");
  command.app->add_option("DIR", *dir,
                          std::string("Folder to write (default ") + kDemoFolder + ")");
  command.prepare = [dir] { check_demo_folder(*dir); };
  command.run = [dir](const CodecModule& codec) { return run_demo(codec, *dir); };
  return command;
}

}  // namespace g729tool
