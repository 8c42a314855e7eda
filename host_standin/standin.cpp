// Host operations and registries of the switch stand-in. The cvn_* functions
// are exported with C linkage so a module opened with dlopen binds to them.
#include "standin.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <utility>

namespace standin {
namespace {

// A one-shot refusal; an empty name matches any translator.
struct Refusal {
  int result = 0;
  std::string name;

  // Returns the refusal value when it applies to `translator`, consuming it.
  int take(const std::string& translator) {
    if (result == 0 || (!name.empty() && name != translator)) return 0;
    name.clear();
    return std::exchange(result, 0);
  }
};

struct Registry {
  std::mutex mutex;
  std::vector<ModuleDescriptor*> modules;
  std::vector<TranslatorDescriptor*> translators;
  std::vector<CliEntry*> commands;
  std::vector<HostCall> calls;
  Refusal refuse_registration;
  Refusal refuse_unregistration;
};

struct LogState {
  std::mutex mutex;
  std::vector<LogRecord> records;
  std::function<void(const LogRecord&)> sink = [](const LogRecord& record) {
    std::fprintf(stderr, "%s\n", format_log_line(record).c_str());
  };
};

// Never destroyed: modules may still call in while the process exits.
Registry& registry() {
  static Registry* r = new Registry;
  return *r;
}

LogState& log_state() {
  static LogState* s = new LogState;
  return *s;
}

// Keeps a long-running tool from growing without bound when nobody takes the log.
constexpr std::size_t kMaxLogRecords = 4096;
constexpr std::size_t kMaxHostCalls = 4096;

void note_call(Registry& r, const char* operation, const void* record, std::string name,
               int result) {
  if (r.calls.size() >= kMaxHostCalls) r.calls.erase(r.calls.begin());
  r.calls.push_back(HostCall{operation, record, std::move(name), result});
}

std::string command_words(const CliEntry* entry) {
  std::string words;
  for (const char* w : entry->words) {
    if (!w) break;
    if (!words.empty()) words += ' ';
    words += w;
  }
  return words;
}

std::string vformat(const char* fmt, va_list args) {
  va_list copy;
  va_copy(copy, args);
  const int n = std::vsnprintf(nullptr, 0, fmt, copy);
  va_end(copy);
  if (n <= 0) return {};
  std::string text(static_cast<std::size_t>(n) + 1, '\0');
  std::vsnprintf(text.data(), text.size(), fmt, args);
  text.resize(static_cast<std::size_t>(n));
  return text;
}

// Console output of the command running on this thread.
struct ConsoleCapture {
  int fd = -1;
  std::string* output = nullptr;
};
thread_local ConsoleCapture console_capture;
constexpr int kConsoleFd = 1000;

// Drops every registry entry that lives in the object mapped at `base`, so
// nothing dangles once the object is unmapped.
void forget_records_of(const void* base) {
  auto in_object = [base](const void* p) {
    Dl_info info{};
    return dladdr(p, &info) != 0 && info.dli_fbase == base;
  };
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  std::erase_if(r.translators, in_object);
  std::erase_if(r.commands, in_object);
}

// A descriptor left behind by an object whose destructor did not unregister it.
void forget_module(const ModuleDescriptor* descriptor) {
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  std::erase(r.modules, descriptor);
}

void locate_standin() {}

}  // namespace

std::string format_log_line(const LogRecord& record) {
  std::string message = record.message;
  while (!message.empty() && message.back() == '\n') message.pop_back();
  return "[level " + std::to_string(record.level) + "] " + record.file + ":" +
         std::to_string(record.line) + " " + record.function + ": " + message;
}

void set_log_sink(std::function<void(const LogRecord&)> sink) {
  LogState& s = log_state();
  std::lock_guard lock(s.mutex);
  s.sink = std::move(sink);
}

std::vector<LogRecord> take_log() {
  LogState& s = log_state();
  std::lock_guard lock(s.mutex);
  return std::exchange(s.records, {});
}

void refuse_next_registration(int result) {
  refuse_registration_of({}, result);
}

void refuse_next_unregistration(int result) {
  refuse_unregistration_of({}, result);
}

void refuse_registration_of(std::string name, int result) {
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  r.refuse_registration = Refusal{result, std::move(name)};
}

void refuse_unregistration_of(std::string name, int result) {
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  r.refuse_unregistration = Refusal{result, std::move(name)};
}

std::vector<HostCall> take_host_calls() {
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  return std::exchange(r.calls, {});
}

std::vector<const ModuleDescriptor*> registered_modules() {
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  return {r.modules.begin(), r.modules.end()};
}

std::vector<std::string> registered_translators() {
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  std::vector<std::string> names;
  for (const TranslatorDescriptor* t : r.translators) {
    names.emplace_back(t->name, strnlen(t->name, sizeof t->name));
  }
  return names;
}

std::vector<TranslatorDescriptor*> registered_translator_records() {
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  return r.translators;
}

TranslatorDescriptor* find_translator(std::string_view name) {
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  for (TranslatorDescriptor* t : r.translators) {
    if (std::string_view(t->name, strnlen(t->name, sizeof t->name)) == name) return t;
  }
  return nullptr;
}

TranslatorDescriptor* find_translator(int source_format, int destination_format) {
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  for (TranslatorDescriptor* t : r.translators) {
    if (t->source_format == source_format && t->destination_format == destination_format) {
      return t;
    }
  }
  return nullptr;
}

std::vector<const CliEntry*> registered_commands() {
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  return {r.commands.begin(), r.commands.end()};
}

int run_console(const std::vector<std::string>& words, std::string& output) {
  CliEntry* match = nullptr;
  {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    std::size_t best = 0;
    for (CliEntry* entry : r.commands) {
      std::size_t n = 0;
      while (n < CVN_CLI_MAX_WORDS && entry->words[n]) ++n;
      if (n == 0 || n > words.size() || n <= best) continue;
      bool same = true;
      for (std::size_t i = 0; i < n && same; ++i) same = words[i] == entry->words[i];
      if (same) {
        match = entry;
        best = n;
      }
    }
  }
  if (!match) {
    std::string typed;
    for (const std::string& w : words) typed += (typed.empty() ? "" : " ") + w;
    output += "No such command '" + typed + "'\n";
    return -1;
  }
  std::vector<std::string> copies(words);
  std::vector<char*> argv;
  for (std::string& w : copies) argv.push_back(w.data());
  argv.push_back(nullptr);
  const ConsoleCapture saved = console_capture;
  console_capture = ConsoleCapture{kConsoleFd, &output};
  const int result = match->handler(kConsoleFd, static_cast<int>(words.size()), argv.data());
  console_capture = saved;
  if (result == CVN_CLI_SHOWUSAGE && match->usage) output += match->usage;
  return result;
}

std::string default_module_path() {
  if (const char* env = std::getenv("G729A_MODULE"); env && *env) return env;
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&locate_standin), &info) && info.dli_fname) {
    std::string self = info.dli_fname;
    const auto slash = self.rfind('/');
    if (slash != std::string::npos) return self.substr(0, slash + 1) + G729A_MODULE_NAME;
  }
  return G729A_MODULE_NAME;
}

// ---- Module ------------------------------------------------------------------

std::unique_ptr<Module> Module::open(const std::string& path, std::string& error) {
  const auto before = registered_modules();
  void* handle = dlopen(path.c_str(), RTLD_NOW);
  if (!handle) {
    const char* why = dlerror();
    error = why ? why : ("cannot open " + path);
    return nullptr;
  }
  const ModuleDescriptor* found = nullptr;
  for (const ModuleDescriptor* m : registered_modules()) {
    if (std::find(before.begin(), before.end(), m) == before.end()) found = m;
  }
  if (!found) {
    dlclose(handle);
    error = path + " registered no module (already loaded, or not a module)";
    return nullptr;
  }
  std::unique_ptr<Module> module(new Module);
  module->handle_ = handle;
  module->descriptor_ = found;
  module->path_ = path;
  module->loaded_ = true;
  module->load_result_ = found->load ? found->load() : 0;
  return module;
}

void* Module::symbol(const char* name) const {
  return handle_ ? dlsym(handle_, name) : nullptr;
}

Module::~Module() {
  unload();
  Dl_info info{};
  const void* base = dladdr(descriptor_, &info) ? info.dli_fbase : nullptr;
  if (base) forget_records_of(base);
  dlclose(handle_);
  forget_module(descriptor_);
}

int Module::reload() {
  return descriptor_->reload ? descriptor_->reload() : 0;
}

int Module::unload() {
  if (!loaded_) return 0;
  loaded_ = false;
  return descriptor_->unload ? descriptor_->unload() : 0;
}

}  // namespace standin

// ---- host operations, as the switch exports them -------------------------------

using standin::registry;

extern "C" {

__attribute__((visibility("default"))) void cvn_module_register(ModuleDescriptor* module) {
  if (!module) return;
  auto& r = registry();
  std::lock_guard lock(r.mutex);
  module->host_handle = module;  // the switch's handle is its own record of the module
  r.modules.push_back(module);
  standin::note_call(r, "module_register", module, module->name ? module->name : "", 0);
}

__attribute__((visibility("default"))) void cvn_module_unregister(ModuleDescriptor* module) {
  auto& r = registry();
  std::lock_guard lock(r.mutex);
  const int result = std::erase(r.modules, module) ? 0 : -1;
  standin::note_call(r, "module_unregister", module, module && module->name ? module->name : "",
                     result);
}

__attribute__((visibility("default"))) int cvn_cli_register(CliEntry* entry) {
  if (!entry) return -1;
  auto& r = registry();
  std::lock_guard lock(r.mutex);
  entry->inuse = 0;
  r.commands.push_back(entry);
  standin::note_call(r, "cli_register", entry, standin::command_words(entry), 0);
  return 0;
}

__attribute__((visibility("default"))) int cvn_cli_unregister(CliEntry* entry) {
  auto& r = registry();
  std::lock_guard lock(r.mutex);
  const int result = std::erase(r.commands, entry) ? 0 : -1;
  standin::note_call(r, "cli_unregister", entry, entry ? standin::command_words(entry) : "",
                     result);
  return result;
}

__attribute__((visibility("default"))) void cvn_cli(int fd, const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  const std::string text = standin::vformat(fmt, args);
  va_end(args);
  if (standin::console_capture.output && fd == standin::console_capture.fd) {
    *standin::console_capture.output += text;
  } else {
    dprintf(fd, "%s", text.c_str());
  }
}

__attribute__((visibility("default"))) int __cvn_register_translator(
    TranslatorDescriptor* translator, void* module_handle) {
  auto& r = registry();
  std::lock_guard lock(r.mutex);
  const std::string name =
      translator ? std::string(translator->name, strnlen(translator->name, 80)) : "";
  int result = r.refuse_registration.take(name);
  if (result == 0 && !translator) result = -1;
  if (result == 0) {
    translator->module = module_handle;
    r.translators.push_back(translator);
  }
  standin::note_call(r, "register_translator", translator, name, result);
  return result;
}

__attribute__((visibility("default"))) int cvn_unregister_translator(
    TranslatorDescriptor* translator) {
  auto& r = registry();
  std::lock_guard lock(r.mutex);
  const std::string name =
      translator ? std::string(translator->name, strnlen(translator->name, 80)) : "";
  int result = r.refuse_unregistration.take(name);
  if (result == 0) result = std::erase(r.translators, translator) ? 0 : -1;
  standin::note_call(r, "unregister_translator", translator, name, result);
  return result;
}

__attribute__((visibility("default"))) void cvn_log(int level, const char* file, int line,
                                                    const char* function, const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  standin::LogRecord record{level, file ? file : "", line, function ? function : "",
                            standin::vformat(fmt, args)};
  va_end(args);
  std::function<void(const standin::LogRecord&)> sink;
  {
    auto& s = standin::log_state();
    std::lock_guard lock(s.mutex);
    if (s.records.size() >= standin::kMaxLogRecords) s.records.erase(s.records.begin());
    s.records.push_back(record);
    sink = s.sink;
  }
  if (sink) sink(record);
}

__attribute__((visibility("default"))) HostFrame* cvn_trans_frameout(TranslatorInstance* pvt,
                                                                     int byte_count,
                                                                     int sample_count) {
  if (!pvt || byte_count <= 0) return nullptr;
  HostFrame& f = pvt->out_frame;
  f = HostFrame{};
  f.frame_type = CVN_FRAME_VOICE;
  f.format = pvt->translator ? pvt->translator->destination_format : 0;
  f.data_length = byte_count;
  f.samples = sample_count;
  f.source = pvt->translator ? pvt->translator->name : "";
  f.payload = pvt->output_buffer;
  return &f;
}

}  // extern "C"
