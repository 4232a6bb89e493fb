#pragma once

#include <string>
#include <string_view>

namespace quadrell {

// UTF-8 (the engine's text) and UTF-16 (the W functions') both ways, on Windows.
std::wstring wide_from_utf8(std::string_view utf8);
std::string utf8_from_wide(std::wstring_view wide);

}  // namespace quadrell
