#pragma once

#include <string>
#include <string_view>

#include "platform/native_path.h"

namespace quadrell {

// A file name as the log shows it (UTF-8) and its length N in UTF-16 code
// units, which sets the leader. Control characters would forge or break
// lines, and bytes that are not UTF-8 cannot be shown: each of them shows as
// U+FFFD and counts 1.
struct LogName {
  std::string text;
  int length = 0;
  bool operator==(const LogName&) const = default;
};

// A POSIX name: bytes, shown as UTF-8.
LogName log_name_from_bytes(std::string_view bytes);

// A Windows name: UTF-16 code units (a lone surrogate counts as invalid).
LogName log_name_from_utf16(std::u16string_view units);

// A name as the platform's file functions give it.
LogName log_name(const NativePath& name);

}  // namespace quadrell
