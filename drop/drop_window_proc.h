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

// Puts a procedure in front of the log box's, which takes every message to
// it: a WM_DROPFILES first hands the dropped names to target; then, like any
// other message, it goes on unchanged to the log box's own procedure, whose
// result is returned. False when the procedure could not be replaced.
bool install_drop_wnd_proc(HWND list, DropTarget& target);

// Puts the log box's own procedure back.
void remove_drop_wnd_proc(HWND list);

}  // namespace quadrell
