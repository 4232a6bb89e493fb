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

// Read through a handle of their own before the file is opened, and set
// back through another, by the file's path, after it is closed; when they
// could not be read, error says why.
struct SavedTimes {
  FileRef file;
  bool read = false;
  SystemError error = 0;
  FileTimes times;
};

}  // namespace fs
}  // namespace quadrell
