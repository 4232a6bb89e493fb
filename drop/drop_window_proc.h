#pragma once

#include <windows.h>

#include <shellapi.h>

#include <vector>

#include "engine/log_window.h"
#include "platform/native_path.h"

namespace quadrell {

// Takes every message to the log box. A WM_DROPFILES first becomes one run
// over the dropped names in the window the procedure was installed with;
// then, like any other message, it goes on unchanged to the log box's own
// procedure, kept on the log box while drop_wnd_proc stands in front of it,
// whose result is returned.
LRESULT CALLBACK drop_wnd_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

// Puts drop_wnd_proc in front of the log box's procedure; runs report to
// log_window. False when the procedure could not be replaced.
bool install_drop_wnd_proc(HWND list, LogWindow& log_window);

// Puts the log box's own procedure back.
void remove_drop_wnd_proc(HWND list);

// Every name of the drop, each whole, in the drop's order; no empty one.
std::vector<NativePath> read_dropped_names(HDROP drop);

// Reads the names, releases the drop, then runs over them; a drop that names
// nothing is only released.
void handle_drop(HDROP drop, LogWindow& log_window);

}  // namespace quadrell
