#include "engine/paced_log.h"

#include <algorithm>

#include "engine/log_line.h"
#include "engine/log_name.h"

namespace quadrell {
namespace {

constexpr std::chrono::steady_clock::duration kFrame = std::chrono::milliseconds(16);
constexpr int kDrawShare = 3;  // wait three times what the last update took

}  // namespace

void PacedLog::file_done(const FileOutcome& outcome, const RunCounts&) {
  add_log_line(pending_, empty_, log_line(log_name(outcome.shown), outcome.result));
  empty_ = false;
  update_if_due();
}

void PacedLog::note(std::string_view line) {
  add_log_line(pending_, empty_, line);
  empty_ = false;
  update_if_due();
}

void PacedLog::run_ended(const RunCounts& counts) {
  add_summary_line(pending_, empty_, summary_line(counts));
  empty_ = false;
  update();
}

void PacedLog::update_if_due() {
  if (clock_() >= next_update_) update();
}

void PacedLog::update() {
  const auto start = clock_();
  if (!pending_.empty()) {
    view_.append_to_log(pending_);
    pending_.clear();
  }
  view_.scroll_log_to_end();
  view_.repaint();
  const auto end = clock_();
  next_update_ = end + std::max(kFrame, kDrawShare * (end - start));
}

RunCounts paced_drop_run(LogView& view, const std::vector<NativePath>& paths,
                         const RunOptions& options) {
  PacedLog paced(view);
  return drop_run(paced, paths, options);
}

}  // namespace quadrell
