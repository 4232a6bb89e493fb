#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace quadrell::remote {

// Drives a running Quadrell.exe from another process, as a user's shell and
// clicks would: finds its window, clicks, drops and reads the log.
class RemoteWindow {
 public:
  // Waits up to timeout_ms for a main window (of the given process, or of
  // any Quadrell process when process_id is 0) whose controls exist.
  static RemoteWindow find(DWORD process_id, DWORD timeout_ms);

  bool found() const { return main_ != nullptr; }
  HWND main() const { return main_; }
  HWND list() const;
  HWND check_box() const;
  HWND help_button() const;

  std::wstring log_text() const;
  void click_help() const;
  void click_check_box() const;
  bool checked() const;
  RECT frame() const;

  // Writes a DROPFILES block naming paths into the program and posts
  // WM_DROPFILES to the log box; returns once the run's summary line is in
  // the log (the log is first set to the Help text, which a run replaces).
  bool drop(const std::vector<std::wstring>& paths, DWORD timeout_ms) const;
  // The same, returning once the drop is posted.
  bool post_drop(const std::vector<std::wstring>& paths) const;

  // Opens the window's system menu as Alt+Space does, waits for it to show
  // and presses U, the mnemonic of its item that takes the last run back;
  // true once the menu has closed again.
  bool press_take_back(DWORD timeout_ms) const;

  // Waits until the log ends with a run's summary line.
  bool wait_for_summary(DWORD timeout_ms) const;

  // Posts WM_CLOSE and waits for the process to end.
  bool close(DWORD timeout_ms) const;

 private:
  HWND main_ = nullptr;
};

}  // namespace quadrell::remote
