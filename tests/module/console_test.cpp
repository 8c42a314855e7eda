// The version command, through the host console and called directly.
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "module/module_helpers.h"
#include "support/test_support.h"

namespace {

constexpr const char* kVersionLine =
    "Orvanta G.729A Module Version 1.4_3.1.4 (optimized for barcelona_32)\n";
constexpr const char* kUsage =
    "Usage: show g729 version\n"
    "       Displays G.729 module version\n";

const CliEntry* version_command() {
  testsupport::module();
  for (const CliEntry* c : standin::registered_commands()) {
    if (c->words[0] && std::strcmp(c->words[0], "g729") == 0) return c;
  }
  return nullptr;
}

// Runs the handler on a pipe and returns what it wrote there.
std::string run_on_pipe(const CliEntry* c, std::vector<std::string> words, int& result) {
  int fds[2];
  if (pipe(fds) != 0) throw std::runtime_error("pipe failed");
  std::vector<char*> argv;
  for (auto& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  result = c->handler(fds[1], static_cast<int>(words.size()), argv.data());
  close(fds[1]);
  std::string text;
  char buf[256];
  for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) > 0;) text.append(buf, n);
  close(fds[0]);
  return text;
}

TEST(VersionCommand, EntryHoldsWordsSummaryAndUsage) {
  const CliEntry* c = version_command();
  ASSERT_NE(c, nullptr);
  EXPECT_STREQ(c->words[0], "g729");
  EXPECT_STREQ(c->words[1], "show");
  EXPECT_STREQ(c->words[2], "version");
  EXPECT_EQ(c->words[3], nullptr);
  EXPECT_STREQ(c->summary, "Show G.729 Module Version");
  EXPECT_STREQ(c->usage, kUsage);
}

TEST(VersionCommand, ThreeWordsPrintTheVersionOnce) {
  moduletest::QuietLog quiet;
  std::string out;
  testsupport::module();
  EXPECT_EQ(standin::run_console({"g729", "show", "version"}, out), 0);
  EXPECT_EQ(out, kVersionLine);
  EXPECT_TRUE(standin::take_log().empty());
}

TEST(VersionCommand, FourthWordPrintsNothingAndAsksForUsage) {
  std::string out;
  testsupport::module();
  EXPECT_EQ(standin::run_console({"g729", "show", "version", "now"}, out), CVN_CLI_SHOWUSAGE);
  // Only the host's usage text: the handler itself printed nothing.
  EXPECT_EQ(out, kUsage);
}

TEST(VersionCommand, HandlerWritesToTheGivenDescriptorOnlyForThreeWords) {
  const CliEntry* c = version_command();
  ASSERT_NE(c, nullptr);
  int result = -1;
  EXPECT_EQ(run_on_pipe(c, {"g729", "show", "version"}, result), kVersionLine);
  EXPECT_EQ(result, 0);
  for (const auto& words : std::vector<std::vector<std::string>>{
           {}, {"g729"}, {"g729", "show"}, {"g729", "show", "version", "a", "b"}}) {
    EXPECT_EQ(run_on_pipe(c, words, result), "") << words.size() << " words";
    EXPECT_EQ(result, CVN_CLI_SHOWUSAGE) << words.size() << " words";
  }
}

TEST(HostConsole, UnknownOrShortCommandIsReported) {
  std::string out;
  testsupport::module();
  EXPECT_EQ(standin::run_console({"g729", "show"}, out), -1);
  EXPECT_EQ(out, "No such command 'g729 show'\n");
}

TEST(HostLog, LineCarriesLevelPlaceAndMessageWithoutNewline) {
  const standin::LogRecord r{3, "codec_g729a.c", 42, "g729tolin_framein",
                             "Invalid data (4 bytes at the end)\n"};
  EXPECT_EQ(standin::format_log_line(r),
            "[level 3] codec_g729a.c:42 g729tolin_framein: Invalid data (4 bytes at the end)");
}

TEST(HostModulePath, EnvironmentFirstThenBesideTheStandIn) {
  const char* saved = std::getenv("G729A_MODULE");
  const std::string keep = saved ? saved : "";
  setenv("G729A_MODULE", "/somewhere/else.so", 1);
  EXPECT_EQ(standin::default_module_path(), "/somewhere/else.so");
  unsetenv("G729A_MODULE");
  const std::string path = standin::default_module_path();
  if (saved) setenv("G729A_MODULE", keep.c_str(), 1);
  const std::string name = "/codec_g729a.so";
  ASSERT_GT(path.size(), name.size());
  EXPECT_EQ(path.substr(path.size() - name.size()), name);
  EXPECT_EQ(access(path.c_str(), R_OK), 0) << path;
}

}  // namespace
