#include "batch.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <mutex>
#include <set>
#include <thread>

#include "report.h"
#include "tool_error.h"

namespace g729tool {

std::vector<Conversion> plan_outputs(const std::vector<std::string>& inputs,
                                     const std::string& out_dir, const std::string& extension) {
  namespace fs = std::filesystem;
  std::vector<Conversion> jobs;
  std::set<std::string> taken;
  for (const auto& in : inputs) {
    const std::string out = (fs::path(out_dir) / fs::path(in).stem()).string() + extension;
    if (!taken.insert(out).second) {
      throw usage_error(in + ": another input also writes " + out);
    }
    jobs.push_back({in, out, "", ""});
  }
  return jobs;
}

void create_output_dir(const std::string& out_dir) {
  namespace fs = std::filesystem;
  std::error_code error;
  fs::create_directories(out_dir, error);
  if (!fs::is_directory(out_dir)) {
    throw ToolError(kExitBadInput, out_dir + ": cannot create output directory" +
                                       (error ? ": " + error.message() : std::string()));
  }
}

int run_batch(const std::vector<Conversion>& jobs, int threads, const ConvertFn& convert) {
  Stopwatch clock;
  std::atomic<std::size_t> next{0};
  std::mutex mutex;
  FrameCounts total;
  int status = kExitOk;
  long failed = 0;
  std::string single_written;
  const bool several = jobs.size() > 1;
  Progress progress("converting", static_cast<double>(jobs.size()), several ? 2 : 1e18);
  if (several) set_file_progress_allowed(false);

  auto worker = [&] {
    for (std::size_t i; (i = next.fetch_add(1)) < jobs.size();) {
      const Conversion& job = jobs[i];
      Stopwatch own;
      try {
        std::string written = job.out;
        const FrameCounts counts = convert(job, written);
        if (several)
          print_summary(job.in + " -> " + written + ": " + summary_text(counts, own.seconds()));
        std::lock_guard lock(mutex);
        total += counts;
        if (!several) single_written = written;
      } catch (const ToolError& error) {
        print_error(error.what());
        std::lock_guard lock(mutex);
        status = std::max(status, error.status);
        ++failed;
      } catch (const std::exception& error) {
        print_error(job.in + ": " + error.what());
        std::lock_guard lock(mutex);
        status = std::max(status, static_cast<int>(kExitBadInput));
        ++failed;
      }
      progress.advance(1);
    }
  };
  const int count = std::clamp(threads, 1, static_cast<int>(jobs.size()));
  std::vector<std::thread> pool;
  for (int t = 1; t < count; ++t) pool.emplace_back(worker);
  worker();
  for (auto& t : pool) t.join();
  set_file_progress_allowed(true);

  std::string line;
  if (several) {
    line = std::to_string(jobs.size() - failed) + " of " + std::to_string(jobs.size()) +
           " files converted; ";
  } else if (failed == 0) {
    line = jobs[0].in + " -> " + single_written + ": ";
  }
  if (several || failed == 0) print_summary(line + summary_text(total, clock.seconds()));
  return status;
}

}  // namespace g729tool
