#pragma once

#include <chrono>
#include <functional>
#include <string>

#include "cli/cli_output.h"
#include "engine/run_report.h"
#include "platform/native_path.h"

namespace quadrell {

// The status line of a long run on standard error, drawn as git draws its
// progress: nothing in the first second, then redrawn in place at most ten
// times a second with the files handled, changed and in error, the files
// per second and the folder being read. It is overwritten with blanks
// before anything else is written where it stands, so that the screen ends
// up holding exactly the log and the messages; no escape sequence is used,
// since a Windows 7 console prints them as they are.
class ProgressLine {
 public:
  using Clock = std::function<std::chrono::steady_clock::time_point()>;

  // columns: the width of the terminal (0: unknown, or no terminal); a line
  // is cut to stay within it, so that it never wraps. shares_screen_with_log:
  // standard output goes to the same screen.
  ProgressLine(CliOutput& output, int columns, bool shares_screen_with_log,
               Clock clock = &std::chrono::steady_clock::now);

  // Draws the line when it is due.
  void update(const RunCounts& counts, const NativePath& folder);
  // Before a line of the log.
  void before_log_line() {
    if (shares_screen_with_log_) clear();
  }
  // Before a message on standard error, and at the end.
  void clear();

 private:
  CliOutput& output_;
  const int columns_;
  const bool shares_screen_with_log_;
  Clock clock_;
  const std::chrono::steady_clock::time_point start_;
  std::chrono::steady_clock::time_point next_draw_;
  int drawn_width_ = 0;  // the columns the line on the screen takes; 0: none
};

}  // namespace quadrell
