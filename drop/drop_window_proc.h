#pragma once

#include <windows.h>

#include <shellapi.h>

#include <vector>

#include "platform/native_path.h"

namespace quadrell {

// Where the names of a drop go: one run over them, now or after the run
// under way.
class DropTarget {
 public:
  virtual void run_drop(std::vector<NativePath> names) = 0;

 protected:
  ~DropTarget() = default;
};

// Takes every message to the log box. A WM_DROPFILES first hands the dropped
// names to the target the procedure was installed with; then, like any other
// message, it goes on unchanged to the log box's own procedure, kept on the
// log box while drop_wnd_proc stands in front of it, whose result is
// returned.
LRESULT CALLBACK drop_wnd_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

// Puts drop_wnd_proc in front of the log box's procedure; drops go to
// target. False when the procedure could not be replaced.
bool install_drop_wnd_proc(HWND list, DropTarget& target);

// Puts the log box's own procedure back.
void remove_drop_wnd_proc(HWND list);

// Every name of the drop, each whole, in the drop's order; no empty one.
std::vector<NativePath> read_dropped_names(HDROP drop);

// Reads the names, releases the drop, then hands them to target; a drop that
// names nothing is only released.
void handle_drop(HDROP drop, DropTarget& target);

}  // namespace quadrell
