#pragma once

#include <windows.h>

#include <string>

#include "platform/unique_handle.h"
#include "ui/main_window.h"

namespace quadrell::ui {

// Held for the program's life by its first instance.
class SingleInstance {
 public:
  SingleInstance();
  bool already_running() const { return already_running_; }

 private:
  UniqueHandle mutex_;
  bool already_running_ = false;
};

// The message of a second start: OK only, no icon.
void show_already_running();

// The message of a failed start: the step, the system's reason and its code.
std::wstring startup_failure_text(const wchar_t* step, DWORD error);

// Ends the program's start with that message.
void show_startup_failure(const wchar_t* step, DWORD error);

// Start-up on the created, not yet shown window: the marker path, the check
// box from the marker, the log box as the one drop target, and drop_wnd_proc
// in front of its procedure, in that order. On failure names the step in
// failed_step and returns false, with GetLastError telling why.
bool start_up(MainWindow& window, std::wstring& marker_path, const wchar_t*& failed_step);

// Shutdown: the log box's own procedure back first, then the setting stored
// with every failure ignored.
void shut_down(MainWindow& window, const std::wstring& marker_path);

}  // namespace quadrell::ui
