#include "drop/shell_drop.h"

namespace quadrell {
namespace {

template <typename Function>
Function find(HMODULE module, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

ShellDrop load() {
  ShellDrop functions;
  // Kept loaded for the program's life, as an import would be.
  HMODULE shell = LoadLibraryExW(L"shell32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (shell == nullptr) shell = LoadLibraryW(L"shell32.dll");  // a Windows 7 without KB2533623
  if (shell == nullptr) return functions;
  functions.accept_files = find<decltype(&DragAcceptFiles)>(shell, "DragAcceptFiles");
  functions.query_file = find<decltype(&DragQueryFileW)>(shell, "DragQueryFileW");
  functions.finish = find<decltype(&DragFinish)>(shell, "DragFinish");
  return functions;
}

}  // namespace

const ShellDrop& shell_drop() {
  static const ShellDrop functions = load();
  return functions;
}

}  // namespace quadrell
