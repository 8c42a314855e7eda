// A small stand-in for the Corvane switch: it implements the host operations
// of src/host/corvane.h (exported from this shared library, so a module
// loaded with dlopen binds to them), keeps the registries, loads and unloads
// a codec module and drives its translators the way the switch does.
//
// Everything here is process-wide, as in the real switch: the host
// operations are plain C functions, so their registries are global.
// The registries are guarded by one mutex; a Channel is used by one thread
// at a time, different channels may run on different threads.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "host/corvane.h"

namespace standin {

// ---- logging -------------------------------------------------------------

struct LogRecord {
  int level = 0;
  std::string file;
  int line = 0;
  std::string function;
  std::string message;  // formatted, as the module wrote it (usually ends in "\n")
};

// "[level 3] codec_g729a.c:123 g729tolin_framein: Invalid data (4 bytes at the end)"
std::string format_log_line(const LogRecord& record);

// Every cvn_log call is kept (see take_log) and also passed to the sink.
// The default sink writes format_log_line to stderr; an empty function
// silences it.
void set_log_sink(std::function<void(const LogRecord&)> sink);
// Returns and forgets the records logged since the last call.
std::vector<LogRecord> take_log();

// ---- fault injection -------------------------------------------------------

// The next __cvn_register_translator (or cvn_unregister_translator) call
// returns `result` (non-zero) and changes nothing. One-shot.
void refuse_next_registration(int result);
void refuse_next_unregistration(int result);
// As above, but only for the translator of that name; other calls pass.
void refuse_registration_of(std::string name, int result);
void refuse_unregistration_of(std::string name, int result);

// Every registry call a module makes, in order, for checking lifecycle
// order and failure paths. Names are copied at the time of the call.
struct HostCall {
  std::string operation;  // "module_register", "cli_register", "register_translator", ...
  const void* record = nullptr;
  std::string name;  // module or translator name, or the command's words
  int result = 0;
};
// Returns and forgets the calls made since the last call.
std::vector<HostCall> take_host_calls();

// ---- registries ------------------------------------------------------------

// Module descriptors registered by shared-object constructors and not yet
// unregistered by their destructors.
std::vector<const ModuleDescriptor*> registered_modules();
std::vector<std::string> registered_translators();  // names, registration order
std::vector<TranslatorDescriptor*> registered_translator_records();
TranslatorDescriptor* find_translator(std::string_view name);
TranslatorDescriptor* find_translator(int source_format, int destination_format);
std::vector<const CliEntry*> registered_commands();

// Runs the console command whose words start `words`; the remaining words
// are its arguments (argc/argv hold all words, as the switch passes them).
// Output printed with cvn_cli is appended to `output`; when the handler
// returns CVN_CLI_SHOWUSAGE the command's usage text is appended as well.
// Returns the handler's result, or -1 when no command matches (output then
// holds "No such command '...'\n").
int run_console(const std::vector<std::string>& words, std::string& output);

// ---- modules -----------------------------------------------------------------

class Module {
 public:
  // dlopen()s the shared object (its constructor registers the module
  // descriptor), then calls the descriptor's load operation. Returns null
  // and sets `error` when the object cannot be opened or registers nothing;
  // a non-zero load result is kept in load_result(), the module stays open.
  static std::unique_ptr<Module> open(const std::string& path, std::string& error);
  // unload() if still loaded, then dlclose (the destructor runs). Records of
  // the object that are still registered (after a refused unregistration)
  // are dropped first, so nothing in the registries dangles.
  ~Module();

  Module(const Module&) = delete;
  Module& operator=(const Module&) = delete;

  int load_result() const { return load_result_; }
  int reload();
  int unload();  // calls the unload operation once; later calls return 0
  const ModuleDescriptor* descriptor() const { return descriptor_; }
  const std::string& path() const { return path_; }
  // An exported symbol of the shared object (dlsym), null when it has none.
  void* symbol(const char* name) const;

 private:
  Module() = default;
  void* handle_ = nullptr;
  const ModuleDescriptor* descriptor_ = nullptr;
  std::string path_;
  int load_result_ = 0;
  bool loaded_ = false;
};

// Path of codec_g729a.so as built next to the test and tool binaries
// (the G729A_MODULE environment variable overrides it).
std::string default_module_path();

// ---- channels ----------------------------------------------------------------

// One translator instance: a zeroed state block of the declared size, an
// output buffer of the declared size and the two counts, as the switch
// creates them; the constructor runs at creation, destroy at destruction.
class Channel {
 public:
  explicit Channel(TranslatorDescriptor* translator);
  ~Channel();
  Channel(const Channel&) = delete;
  Channel& operator=(const Channel&) = delete;

  TranslatorInstance* instance() { return &pvt_; }
  const TranslatorDescriptor* translator() const { return translator_; }
  int constructor_result() const { return constructor_result_; }

  // Calls framein with the given frame as it stands.
  int framein(HostFrame& frame);
  // Builds a voice frame of the translator's source format around the data
  // (samples = pcm.size() for SLINEAR; samples = 0 for G729A payloads, as
  // the switch does not know them) and calls framein.
  int framein_pcm(std::span<const std::int16_t> pcm);
  int framein_payload(std::span<const std::uint8_t> payload);

  // The translator's frameout when it has one; otherwise the switch's own
  // collection: a frame carrying sample_count samples (byte_count bytes)
  // of output_buffer, after which both counts are set back to zero.
  // Null when nothing is waiting.
  HostFrame* frameout();

  // Convenience: framein then frameout until none, appending what comes out.
  // Return framein's result.
  int feed_pcm(std::span<const std::int16_t> pcm, std::vector<std::uint8_t>& encoded);
  int feed_payload(std::span<const std::uint8_t> payload, std::vector<std::int16_t>& decoded);

 private:
  TranslatorDescriptor* translator_;
  TranslatorInstance pvt_{};
  std::vector<std::uint8_t> storage_;  // state block, then output buffer
  HostFrame collected_{};
  int constructor_result_ = 0;
};

// SLINEAR -> G729A -> SLINEAR through two channels, as the switch chains
// translators between two linear call legs.
class Chain {
 public:
  Chain();  // finds lintog729-like and g729tolin-like translators by format
  // Feeds linear audio in, returns what came out of the far end so far.
  int feed(std::span<const std::int16_t> pcm, std::vector<std::int16_t>& out);
  Channel& encoder() { return *encoder_; }
  Channel& decoder() { return *decoder_; }

 private:
  std::unique_ptr<Channel> encoder_;
  std::unique_ptr<Channel> decoder_;
};

}  // namespace standin
