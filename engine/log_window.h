#pragma once

#include <string_view>

namespace quadrell {

// All the engine may do with the window it reports to: empty the log, add to
// it, show its end, repaint the window, and read the keep-dates setting. The
// Win32 window, the command line and the tests each implement it.
class LogWindow {
 public:
  virtual void clear_log() = 0;
  virtual bool log_is_empty() const = 0;
  // Adds text at the end of the log as it is, at a cost that does not grow
  // with the length of the log.
  virtual void append_to_log(std::string_view text) = 0;
  // Caret and view to the end of the text.
  virtual void scroll_log_to_end() = 0;
  // An immediate, complete repaint of the window, so that it stays drawn
  // during a long run.
  virtual void repaint() = 0;
  // Read each time a file is patched, never copied.
  virtual bool keep_dates() const = 0;

 protected:
  ~LogWindow() = default;
};

}  // namespace quadrell
