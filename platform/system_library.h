#pragma once

#include <windows.h>

namespace quadrell {

// A DLL of the system's, from the system folder alone, so that none of the
// same name beside the program is taken; on a Windows 7 without KB2533623,
// which knows no such search, by the usual one. Kept loaded for the
// program's life, as an import would be.
inline HMODULE system_library(const wchar_t* name) {
  HMODULE module = LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  return module != nullptr ? module : LoadLibraryW(name);
}

// The function of that name in module, typed; nothing without either.
template <typename Function>
Function function_in(HMODULE module, const char* name) {
  return module == nullptr
             ? nullptr
             : reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace quadrell
