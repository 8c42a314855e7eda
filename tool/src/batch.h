// Several conversions at once, each on its own translator instance, spread
// over worker threads.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "codec_host.h"

namespace g729tool {

struct Conversion {
  std::string in;
  std::string out;
  std::string in_type;   // from -t before IN, "" to go by name and content
  std::string out_type;  // settled before any work starts
};

// `written` names what the conversion wrote for the summary (the output
// unless changed).
using ConvertFn = std::function<FrameCounts(const Conversion&, std::string& written)>;

// Runs every conversion; prints one line per file and a closing summary.
// Returns the exit status: the worst of the failures, 0 when none failed.
int run_batch(const std::vector<Conversion>& jobs, int threads, const ConvertFn& convert);

// OUTDIR/NAME.EXT for each input; throws ToolError when two inputs would
// write the same file. Creates nothing.
std::vector<Conversion> plan_outputs(const std::vector<std::string>& inputs,
                                     const std::string& out_dir, const std::string& extension);

// Creates the -o directory once everything has been validated.
void create_output_dir(const std::string& out_dir);

}  // namespace g729tool
