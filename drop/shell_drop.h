#pragma once

#include <windows.h>

#include <shellapi.h>

namespace quadrell {

// The three SHELL32 functions of a drop, looked up when first needed rather
// than imported: a program that imports SHELL32 has it loaded before its
// own code runs, and SHELL32 then pulls in DLLs that Windows looks for in the
// program's own folder first. Looked up after the start has restricted the
// search to the system folder, it loads from there alone.
struct ShellDrop {
  decltype(&DragAcceptFiles) accept_files = nullptr;
  decltype(&DragQueryFileW) query_file = nullptr;
  decltype(&DragFinish) finish = nullptr;

  bool loaded() const { return accept_files && query_file && finish; }
};

// The functions, loaded on the first call; loaded() is false when SHELL32
// or one of them could not be had.
const ShellDrop& shell_drop();

}  // namespace quadrell
