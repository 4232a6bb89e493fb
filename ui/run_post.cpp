#include "ui/run_post.h"

#include <utility>

#include "engine/log_line.h"
#include "engine/log_name.h"

namespace quadrell::ui {

void RunPost::file_done(const FileOutcome& outcome, const RunCounts&) {
  hand_over(Part::kLine, log_line(log_name(outcome.shown), outcome.result));
}

void RunPost::run_ended(const RunCounts& counts) {
  hand_over(Part::kSummary, summary_line(counts));
}

void RunPost::note(std::string_view line) { hand_over(Part::kLine, line); }

void RunPost::end() { hand_over(Part::kEnd, {}); }

void RunPost::hand_over(Part part, std::string_view line) {
  bool post = false;
  {
    const std::lock_guard lock(mutex_);
    if (part == Part::kEnd) {
      ended_ = true;
    } else {
      (part == Part::kSummary ? add_summary_line : add_log_line)(text_, run_empty_, line);
      run_empty_ = false;
    }
    post = !std::exchange(looking_, true);
  }
  if (post) PostMessageW(window_, kMessage, 0, 0);
}

void RunPost::begin(HWND window) {
  const std::lock_guard lock(mutex_);
  window_ = window;
  text_.clear();
  run_empty_ = true;
  ended_ = false;
  looking_ = false;
}

RunPost::Taken RunPost::take() {
  const std::lock_guard lock(mutex_);
  Taken taken{std::move(text_), std::exchange(ended_, false)};
  text_.clear();
  if (taken.text.empty() && !taken.ended) looking_ = false;
  return taken;
}

}  // namespace quadrell::ui
