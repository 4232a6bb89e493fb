#pragma once

#include "engine/log_window.h"
#include "ui/main_window.h"

namespace quadrell::ui {

// The main window as a run on its own thread reports to it: each call is
// made on the window's thread, which owns the controls (the log box's
// selection, its append and the focus are that thread's), and the run waits
// for it. The keep-dates setting is the check box as it stood when the run
// began: the box is disabled while the run goes on.
class WindowThreadLog final : public LogWindow {
 public:
  explicit WindowThreadLog(MainWindow& window)
      : window_(window), keep_dates_(window.keep_dates()) {}

  void clear_log() override;
  bool log_is_empty() const override;
  void append_to_log(std::string_view text) override;
  void scroll_log_to_end() override;
  void repaint() override;
  bool keep_dates() const override { return keep_dates_; }

 private:
  MainWindow& window_;
  const bool keep_dates_;
};

}  // namespace quadrell::ui
