#pragma once

#include <string>

namespace quadrell {

// Windows takes both "\\" and "/" between the parts of a path.
bool is_separator(wchar_t c);

// The \\?\ form of a full Windows path, for the W file functions: it lifts
// the 260-character limit and keeps names such as "COM1.jpg" or names ending
// in a dot or space from being read as devices or trimmed. Paths already in
// that form, and relative paths, are returned unchanged.
std::wstring extended_path(const std::wstring& path);

}  // namespace quadrell
