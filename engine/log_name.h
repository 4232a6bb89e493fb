#pragma once

#include <string>
#include <string_view>

#include "platform/native_path.h"

namespace quadrell {

// A file name as the log shows it and its length N in UTF-16 code units,
// which sets the leader; a byte or unit that is no character counts 1.
struct LogName {
  std::string text;
  int length = 0;
  bool operator==(const LogName&) const = default;
};

// A POSIX name: its bytes as they are, as find shows them, so that a name
// that is not UTF-8 can be given back to the system from the log; only a
// line feed or a carriage return shows as "?", so that one file stays one
// line.
LogName log_name_from_bytes(std::string_view bytes);

// A Windows name: UTF-16 code units, shown as UTF-8. Control characters
// would forge or break lines and a lone surrogate cannot be shown: each of
// them shows as U+FFFD.
LogName log_name_from_utf16(std::u16string_view units);

// A name as the platform's file functions give it.
LogName log_name(const NativePath& name);

}  // namespace quadrell
