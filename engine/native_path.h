#pragma once

#include <string>
#include <string_view>

namespace quadrell {

// A path or file name in the form the platform's file functions take:
// UTF-16 on Windows (the W functions), bytes on POSIX.
#ifdef _WIN32
using NativePath = std::wstring;
#else
using NativePath = std::string;
#endif

// Conversions at the edges: tests, the command line's messages.
NativePath native_path_from_utf8(std::string_view utf8);
std::string utf8_from_native(const NativePath& path);

}  // namespace quadrell
