#pragma once

#include <windows.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>

#include "engine/log_view.h"
#include "ui/main_window.h"

namespace quadrell::ui {

// The main window as a run on its own thread reports to it. The window's
// thread owns the controls (the log box's selection, its append and the
// focus are that thread's), so each update of the log (its text and the
// scroll to its end) is posted there as one batch and applied while the run
// goes on with its next files; the window paints itself whenever its thread
// is free, so no repaint is forced. The run waits only while two batches
// are still unapplied, so that a slow screen cannot pile them up. The log is
// emptied with a call that waits.
class WindowThreadLog final : public LogView {
 public:
  // Posted to the main window with a batch, which its thread hands to
  // apply_batch.
  static constexpr UINT kBatchMessage = WM_APP + 4;
  static void apply_batch(MainWindow& window, LPARAM batch);

  // On the window's thread.
  explicit WindowThreadLog(MainWindow& window) : window_(window) {}

  void clear_log() override;
  void append_to_log(std::string_view text) override { text_ += text; }
  void scroll_log_to_end() override { scroll_ = true; }
  // Posts the batch.
  void repaint() override;

 private:
  // The batches posted and not yet applied; shared with the batches, which
  // may be applied after the run has ended.
  struct Flow {
    std::mutex mutex;
    std::condition_variable applied;
    int unapplied = 0;
  };
  struct Batch {
    std::string text;
    bool scroll = false;
    std::shared_ptr<Flow> flow;
  };

  MainWindow& window_;
  std::string text_;
  bool scroll_ = false;
  std::shared_ptr<Flow> flow_ = std::make_shared<Flow>();
};

}  // namespace quadrell::ui
