#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <string_view>

#include "engine/log_view.h"
#include "engine/process_path.h"
#include "engine/run_report.h"

namespace quadrell {

// A run shown in the window's log box, which it empties first, drawn at the
// pace of the screen: each file's line, then the summary line. Lines are
// kept and appended in one go at each update; an update appends them,
// scrolls the log to its end and repaints the window. The next update comes
// no sooner than 16 ms after the last one ended, nor sooner than three times
// as long as that one took to draw, so that drawing stays a small share of
// the run however slow the screen; the run's end makes the update after the
// last line. The log ends up holding exactly what the run reported.
class PacedLog final : public RunListener {
 public:
  using Clock = std::function<std::chrono::steady_clock::time_point()>;

  explicit PacedLog(LogView& view, Clock clock = &std::chrono::steady_clock::now)
      : view_(view), clock_(std::move(clock)) {
    view_.clear_log();
  }

  void next_file() override { update_if_due(); }
  void file_done(const FileOutcome& outcome, const RunCounts& counts) override;
  void run_ended(const RunCounts& counts) override;
  // A line of the front end's own among the files' lines: a reason, say.
  void note(std::string_view line);

 private:
  void update_if_due();
  void update();

  LogView& view_;
  Clock clock_;
  std::string pending_;
  bool empty_ = true;
  std::chrono::steady_clock::time_point next_update_{};  // the first is due at once
};

// drop_run shown in a window's log box, emptied first: at the screen's pace,
// as PacedLog draws, ending with the whole log shown.
RunCounts paced_drop_run(LogView& view, const std::vector<NativePath>& paths,
                         const RunOptions& options = {});

}  // namespace quadrell
