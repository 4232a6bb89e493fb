#pragma once

// The file layer's types on Win32; fs_types_posix.h is the POSIX twin.

#include <cstdint>
#include <memory>
#include <string>

#include "platform/file_identity.h"
#include "platform/system_error.h"
#include "platform/unique_handle.h"

namespace quadrell {

using NativePath = std::wstring;  // UTF-16, for the W functions

namespace fs {

// One second in the unit of FileTimes.
inline constexpr std::int64_t kFileTimeSecond = 10000000;

using FileHandle = UniqueHandle;

struct FileRef {
  NativePath path;  // full
};

// A folder by its full path, with a handle that keeps it from being renamed
// or deleted while it is kept, so that the path lists the folder that was
// checked.
struct FolderRef {
  NativePath path;
  std::shared_ptr<const UniqueHandle> pin;
};

// The times keep-dates restores, read through a handle of their own before
// the file is opened; the file's name, through which they are set back
// after it is closed, as the close of a written file may move them; and
// that handle, opened at its first use.
struct SavedTimes {
  FileRef file;
  Result<FileTimes> times = failure(0);
  UniqueHandle by_name;
  SystemError by_name_error = 0;
};
inline constexpr bool kTimesAfterClose = true;

}  // namespace fs
}  // namespace quadrell
