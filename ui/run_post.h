#pragma once

#include <windows.h>

#include <mutex>
#include <string>
#include <string_view>

#include "engine/run_report.h"

namespace quadrell::ui {

// The one way from a run on its own thread to the window, whose thread owns
// the controls. The run never waits on the window: it adds its lines (and
// at last its end) to a buffer under one mutex, and posts the window one
// message only when the buffer goes from empty to not empty. The window
// takes the whole buffer at once, shows it, and looks again once it has
// drawn and answered its input; lines that come meanwhile wait in the buffer
// unposted, so that however fast the run, the window goes at the pace of
// its screen. The end comes after the run's last line, in the same take.
class RunPost final : public RunListener {
 public:
  // The message the window is posted, on its own: nothing comes with it.
  static constexpr UINT kMessage = WM_APP + 1;

  struct Taken {
    std::string text;  // lines, each but the run's first behind CR LF
    bool ended = false;
  };

  // On the run's thread.
  void file_done(const FileOutcome& outcome, const RunCounts& counts) override;
  // The summary line.
  void run_ended(const RunCounts& counts) override;
  // A line of the window's own among the files' lines: a reason, say.
  void note(std::string_view line);
  // The run's thread is done with the run.
  void end();

  // On the window's thread, before a run: the run's first line begins the
  // emptied log, and the run's lines are posted to window.
  void begin(HWND window);
  // All that was handed over since the last take. Nothing taken (and not
  // the end) means the next line posts again; otherwise the window is to
  // take again when it has drawn.
  Taken take();

 private:
  enum class Part { kLine, kSummary, kEnd };
  void hand_over(Part part, std::string_view line);

  HWND window_ = nullptr;
  std::mutex mutex_;
  std::string text_;
  bool run_empty_ = true;  // nothing of this run handed over yet
  bool ended_ = false;
  // Set by the hand-over that posts; take() clears it only when it finds
  // nothing and not the end: while it holds, the window is bound to take
  // again (the message posted, or its timer) unless the run has ended, so
  // no other hand-over posts; begin() clears it for the next run.
  bool looking_ = false;
};

}  // namespace quadrell::ui
