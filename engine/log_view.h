#pragma once

#include <string_view>

namespace quadrell {

// The window's log box as a run draws into it: emptied, added to, shown at
// its end, repainted. The Win32 window and the tests implement it.
class LogView {
 public:
  virtual void clear_log() = 0;
  // Adds text at the end of the log as it is, at a cost that does not grow
  // with the length of the log.
  virtual void append_to_log(std::string_view text) = 0;
  // Caret and view to the end of the text.
  virtual void scroll_log_to_end() = 0;
  // An immediate, complete repaint of the window, so that it stays drawn
  // during a long run.
  virtual void repaint() = 0;

 protected:
  ~LogView() = default;
};

}  // namespace quadrell
