// Where a dry run's time goes, file by file: runs quadrell's engine as
// `quadrell -n -j JOBS PATH...` does (the log to standard output) and prints
// to standard error what the read-ahead's trace saw: how long files waited
// in the queue before their scan started, how long the scans took and who
// made them, and how long the run waited for the oldest file while later
// ones were done already (head-of-line waits).
// Usage: read_ahead_trace JOBS PATH...

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "cli/cli_output.h"
#include "cli/stream_log.h"
#include "engine/drop_run.h"
#include "engine/read_ahead_trace.h"

namespace {

using quadrell::ReadAheadTrace;
using Micros = std::chrono::duration<double, std::micro>;

class Recorder final : public ReadAheadTrace {
 public:
  void file_taken(const File& file) override { files.push_back(file); }
  std::vector<File> files;
};

double micros(ReadAheadTrace::Clock::duration d) { return Micros(d).count(); }

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

void report(const std::vector<ReadAheadTrace::File>& files, double wall_ms) {
  std::vector<double> queued, scan, run_scan, worker_scan, take, head_of_line;
  std::size_t by_run = 0;
  for (std::size_t i = 0; i < files.size(); ++i) {
    const auto& f = files[i];
    queued.push_back(micros(f.scan_start - f.queued));
    scan.push_back(micros(f.scan_end - f.scan_start));
    (f.scanned_by == 0 ? run_scan : worker_scan).push_back(scan.back());
    if (f.scanned_by == 0) ++by_run;
    take.push_back(micros(f.taken - f.take_start));
    // The run waited on this file while a later one, queued already, was
    // scanned before the wait began.
    const bool later_done = i + 1 < files.size() && files[i + 1].queued < f.take_start &&
                            files[i + 1].scan_end < f.take_start;
    if (f.scanned_by != 0 && f.scan_end > f.take_start && later_done) {
      head_of_line.push_back(micros(f.scan_end - f.take_start));
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
  options.trace = &recorder;
  quadrell::ConsoleOutput output;
  quadrell::StreamLog log(output, false);
  options.observer = &log;
  const auto start = ReadAheadTrace::Clock::now();
  quadrell::drop_run(log, {argv + 2, argv + argc}, options);
  const double wall_ms = micros(ReadAheadTrace::Clock::now() - start) / 1000;
  report(recorder.files, wall_ms);
  return 0;
}
