#pragma once

#include <functional>
#include <string>
#include <vector>

#include "engine/log_line.h"
#include "engine/log_name.h"
#include "engine/run_report.h"

namespace quadrell::testing {

// A front end for engine tests: the log as the window shows it (lines
// behind CR LF, the summary after an empty line), and a record of what the
// run reported and asked.
class FakeWindow final : public RunListener, public ChangeRecord {
 public:
  void next_file() override {
    ++next_files;
    if (on_next_file) on_next_file();
  }
  bool may_change(const NativePath&, const DensityChange& change, ChangesAhead& ahead) override {
    changes_asked.push_back(change);
    ahead.visit([&](const NativePath&, const DensityChange&) { ++changes_foreseen; });
    if (on_change) on_change();
    return !refuse_changes;
  }
  void change_done(const DensityChange*, const fs::FileTimes*) override {}
  void run_done() override {}
  void file_done(const FileOutcome& outcome, const RunCounts&) override {
    add_log_line(text, text.empty(), log_line(log_name(outcome.shown), outcome.result));
    if (outcome.change != nullptr) changes_made.push_back(*outcome.change);
  }
  void failed(const FileFailure& failure) override { failures.push_back(failure); }
  // As a log that cannot be written stops a run.
  bool stopped() const override { return stop_after_first_line && !text.empty(); }
  void run_ended(const RunCounts& counts) override {
    add_summary_line(text, text.empty(), summary_line(counts));
  }

  std::string text;
  int next_files = 0;
  std::vector<DensityChange> changes_asked;
  int changes_foreseen = 0;  // the changes ahead of each one asked
  std::vector<DensityChange> changes_made;
  std::vector<FileFailure> failures;
  bool refuse_changes = false;
  bool stop_after_first_line = false;
  std::function<void()> on_next_file;  // before each file is taken up
  std::function<void()> on_change;     // right before each patch writes
};

}  // namespace quadrell::testing
