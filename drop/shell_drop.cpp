#include "drop/shell_drop.h"

#include "platform/system_library.h"

namespace quadrell {
namespace {

ShellDrop load() {
  ShellDrop functions;
  HMODULE shell = system_library(L"shell32.dll");
  if (shell == nullptr) return functions;
  functions.accept_files = function_in<decltype(&DragAcceptFiles)>(shell, "DragAcceptFiles");
  functions.query_file = function_in<decltype(&DragQueryFileW)>(shell, "DragQueryFileW");
  functions.finish = function_in<decltype(&DragFinish)>(shell, "DragFinish");
  return functions;
}

}  // namespace

const ShellDrop& shell_drop() {
  static const ShellDrop functions = load();
  return functions;
}

}  // namespace quadrell
