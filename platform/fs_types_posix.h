#pragma once

// The file layer's types on POSIX; fs_types_win.h is the Win32 twin.

#include <cstdint>
#include <memory>
#include <string>

#include "platform/unique_fd.h"

namespace quadrell {

using NativePath = std::string;  // bytes, as the system takes them

namespace fs {

// One second in the unit of FileTimes.
inline constexpr std::int64_t kFileTimeSecond = 1000000000;

using FileHandle = UniqueFd;

// By name relative to an open folder where a listing has one, so that no
// file costs a walk of its whole path and no limit on its length applies;
// the folder stays open as long as a reference to a file in it is kept.
struct FileRef {
  NativePath path;
  std::shared_ptr<const UniqueFd>
      folder{};  // none: the path is full, or relative to the current folder
};

// An open folder: its files and subfolders are opened relative to it, never
// by a path walked again.
struct FolderRef {
  std::shared_ptr<const UniqueFd> fd;
};

// The times keep-dates restores are the descriptor's own, read at the
// opening and set back on it before it is closed: the same file's, whatever
// happens to the name meanwhile.
struct SavedTimes {};
inline constexpr bool kTimesAfterClose = false;

}  // namespace fs
}  // namespace quadrell
