#include "ui/run_post.h"

#include <utility>

#include "engine/log_line.h"
#include "engine/log_name.h"

namespace quadrell::ui {

void RunPost::file_done(const FileOutcome& outcome, const RunCounts&) {
  add(log_line(log_name(outcome.shown), outcome.result), false);
}

void RunPost::run_ended(const RunCounts& counts) { add(summary_line(counts), true); }

void RunPost::note(std::string_view line) { add(line, false); }

void RunPost::add(std::string_view line, bool summary) {
  bool post = false;
  {
    const std::lock_guard lock(mutex_);
    if (summary) {
      add_summary_line(text_, run_empty_, line);
    } else {
      add_log_line(text_, run_empty_, line);
    }
    run_empty_ = false;
    post = !std::exchange(looking_, true);
  }
  if (post) PostMessageW(window_, kMessage, 0, 0);
}

void RunPost::end() {
  bool post = false;
  {
    const std::lock_guard lock(mutex_);
    ended_ = true;
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
