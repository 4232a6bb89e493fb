#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "platform/wide_text.h"

namespace quadrell::testing {

inline std::wstring text_of(HWND window) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(
      static_cast<std::size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return text;
}

// A control's text as the engine writes it, UTF-8.
inline std::string utf8_text_of(HWND window) { return utf8_from_wide(text_of(window)); }

inline void set_text_of(HWND window, std::string_view text) {
  SetWindowTextW(window, wide_from_utf8(text).c_str());
}

}  // namespace quadrell::testing
