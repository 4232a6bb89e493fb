#pragma once

#include <string>
#include <string_view>

// NativePath: UTF-16 on Windows (the W functions), bytes on POSIX.
#include QUADRELL_FS_TYPES

namespace quadrell {

// Conversions at the edges: tests, the command line's messages.
NativePath native_path_from_utf8(std::string_view utf8);
std::string utf8_from_native(const NativePath& path);

}  // namespace quadrell
