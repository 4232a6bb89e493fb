#pragma once

#include <chrono>
#include <functional>
#include <string>

#include "engine/log_window.h"

namespace quadrell {

// The window of a run, drawn at the pace of the screen. Lines are kept and
// appended in one go at each update; an update appends them, scrolls the log
// to its end and repaints the window. The next update comes no sooner than
// 16 ms after the last one ended, nor sooner than three times as long as that
// one took to draw, so that drawing stays a small share of the run however
// slow the screen; finish() makes the update after the last line. The log
// ends up holding exactly what the run wrote.
class PacedLog final : public LogWindow {
 public:
  using Clock = std::function<std::chrono::steady_clock::time_point()>;

  explicit PacedLog(LogWindow& window, Clock clock = &std::chrono::steady_clock::now)
      : window_(window), clock_(std::move(clock)) {}

  void clear_log() override;
  bool log_is_empty() const override { return pending_.empty() && window_.log_is_empty(); }
  void append_to_log(std::string_view text) override { pending_ += text; }
  // An update, when one is due.
  void scroll_log_to_end() override { update_if_due(); }
  void repaint() override { update_if_due(); }
  bool keep_dates() const override { return window_.keep_dates(); }

  // The update after the last line, due or not.
  void finish() { update(); }

 private:
  void update_if_due();
  void update();

  LogWindow& window_;
  Clock clock_;
  std::string pending_;
  std::chrono::steady_clock::time_point next_update_{};  // the first is due at once
};

}  // namespace quadrell
