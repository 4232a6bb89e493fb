#pragma once

#include <windows.h>

#include "ui/main_window.h"

namespace quadrell::ui {

// Keyboard handling of the window as a dialog would have it: Tab and
// Shift+Tab move through the controls in tab order, also out of the log box,
// and Ctrl+A selects the whole log. True when the message was handled.
bool handle_dialog_keys(const MainWindow& window, MSG& message);

// Runs until the window is destroyed; returns the exit code.
int run_message_loop(const MainWindow& window);

}  // namespace quadrell::ui
