// Where a dry run's time goes, file by file: runs quadrell's engine as
// `quadrell -n -j JOBS PATH...` does (the log to standard output) and prints
// to standard error what the read-ahead's trace saw: how long files waited
// in the queue before their scan started, how long the scans took and who
// made them, and how long the run waited for the oldest file while later
// ones were done already and the workers had nothing left to scan
// (head-of-line waits); and when the run's steps came.
// Usage: read_ahead_trace JOBS PATH...

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <vector>

#include "cli/cli_output.h"
#include "cli/stream_log.h"
#include "engine/process_path.h"
#include "engine/read_ahead.h"

namespace {

using quadrell::ReadAheadTrace;
using Clock = std::chrono::steady_clock;
using Micros = std::chrono::duration<double, std::micro>;

// The times of one file's steps, and who scanned it (0: the run).
struct File {
  Clock::time_point queued, scan_start, scan_end, take_start, taken;
  int scanned_by = 0;
};

// Events come from every thread; a lock costs nothing beside a scan that
// waits on the storage, and the files in the page cache are timed with it
// too, so figures compare.
class Recorder final : public ReadAheadTrace {
 public:
  void at(Event event, std::uint64_t index, int scanned_by) override {
    const auto now = Clock::now();
    const std::lock_guard lock(mutex_);
    if (files.size() <= index) files.resize(index + 1);
    File& file = files[index];
    switch (event) {
      case Event::kQueued:
        file.queued = now;
        break;
      case Event::kScanStart:
        file.scan_start = now;
        file.scanned_by = scanned_by;
        break;
      case Event::kScanEnd:
        file.scan_end = now;
        break;
      case Event::kTakeStart:
        file.take_start = now;
        break;
      case Event::kTaken:
        file.taken = now;
        break;
    }
  }
  std::deque<File> files;

 private:
  std::mutex mutex_;
};

double micros(Clock::duration d) { return Micros(d).count(); }

struct Spread {
  double sum = 0, p50 = 0, p95 = 0, max = 0;
};

Spread spread(std::vector<double> values) {
  Spread s;
  if (values.empty()) return s;
  std::sort(values.begin(), values.end());
  for (double v : values) s.sum += v;
  s.p50 = values[values.size() / 2];
  s.p95 = values[values.size() * 95 / 100];
  s.max = values.back();
  return s;
}

void print(const char* what, const Spread& s) {
  std::fprintf(stderr, "%-44s %10.0f %8.1f %8.1f %9.1f\n", what, s.sum / 1000, s.p50, s.p95, s.max);
}

void report(const std::deque<File>& files, double wall_ms) {
  std::vector<double> queued, scan, run_scan, worker_scan, take, head_of_line;
  std::size_t by_run = 0;
  for (std::size_t i = 0; i < files.size(); ++i) {
    const auto& f = files[i];
    queued.push_back(micros(f.scan_start - f.queued));
    scan.push_back(micros(f.scan_end - f.scan_start));
    (f.scanned_by == 0 ? run_scan : worker_scan).push_back(scan.back());
    if (f.scanned_by == 0) ++by_run;
    take.push_back(micros(f.taken - f.take_start));
    // Head of line: the part of the run's wait for this file during which
    // every file queued behind it was being or had been scanned, while more
    // were still to come: workers idle because the queue was full behind
    // the oldest.
    std::size_t last = i;
    auto all_claimed = f.take_start;
    while (last + 1 < files.size() && files[last + 1].queued < f.take_start) {
      all_claimed = std::max(all_claimed, files[++last].scan_start);
    }
    if (last + 1 < files.size() && f.scan_end > all_claimed) {
      head_of_line.push_back(micros(f.scan_end - all_claimed));
    }
  }
  const Spread take_spread = spread(take);
  std::fprintf(stderr, "%zu files in %.1f ms; scanned by the run: %zu, by workers: %zu\n",
               files.size(), wall_ms, by_run, files.size() - by_run);
  std::fprintf(stderr, "%-44s %10s %8s %8s %9s\n", "per file (us)", "sum (ms)", "p50", "p95",
               "max");
  print("queued until its scan started", spread(queued));
  print("scan, by the run", spread(run_scan));
  print("scan, by a worker", spread(worker_scan));
  print("in take (the run's scans and waits)", take_spread);
  print("head-of-line waits", spread(head_of_line));
  std::fprintf(stderr, "%-44s %10.1f\n", "run outside take (ms): listing, log, queue",
               wall_ms - take_spread.sum / 1000);
}

// When the run's steps came, in ms from its start: the last file queued,
// the first scan by a worker and the first scan of the last worker to start
// (while its workers start one by one), the last scan's end, the last file
// taken and the run's end (its workers joined).
void timeline(const std::deque<File>& files, Clock::time_point start, double wall_ms) {
  Clock::time_point queued{}, scanned{}, taken{};
  std::vector<Clock::time_point> first_scans;  // by worker
  for (const File& f : files) {
    queued = std::max(queued, f.queued);
    scanned = std::max(scanned, f.scan_end);
    taken = std::max(taken, f.taken);
    if (f.scanned_by == 0) continue;
    first_scans.resize(std::max<std::size_t>(first_scans.size(), f.scanned_by),
                       Clock::time_point::max());
    first_scans[f.scanned_by - 1] = std::min(first_scans[f.scanned_by - 1], f.scan_start);
  }
  std::erase(first_scans, Clock::time_point::max());
  const auto at = [&](Clock::time_point t) { return micros(t - start) / 1000; };
  const auto [first, last] = std::minmax_element(first_scans.begin(), first_scans.end());
  std::fprintf(stderr,
               "timeline (ms): queued %.1f; workers' first scans %.1f to %.1f (%zu workers); "
               "scanned %.1f; taken %.1f; end %.1f\n",
               at(queued), first_scans.empty() ? 0.0 : at(*first),
               first_scans.empty() ? 0.0 : at(*last), first_scans.size(), at(scanned), at(taken),
               wall_ms);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: read_ahead_trace JOBS PATH...\n");
    return 2;
  }
  Recorder recorder;
  quadrell::RunOptions options;
  options.mode = quadrell::WriteMode::kDryRun;
  options.form = quadrell::PathForm::kTyped;
  options.read_ahead = std::atoi(argv[1]);
  quadrell::ReadAheadSeam seam;
  seam.trace = &recorder;
  quadrell::ConsoleOutput output;
  quadrell::StreamLog log(output);
  const auto start = Clock::now();
  quadrell::RunCounts counts;
  quadrell::process_paths(log, {argv + 2, argv + argc}, counts, options, seam);
  log.run_ended(counts);
  log.flush();
  const double wall_ms = micros(Clock::now() - start) / 1000;
  report(recorder.files, wall_ms);
  timeline(recorder.files, start, wall_ms);
  return 0;
}
