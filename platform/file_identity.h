#pragma once

#include <cstdint>

namespace quadrell::fs {

// Which file an opening reached, whatever name it was opened by: the device
// and inode on POSIX, the volume serial number and file index on Windows.
// A file system hands a freed number to the next file made, so a file's
// birth tells the two apart: on POSIX its birth time in ns where the file
// system keeps one (0 where not, and for folders); on Windows 0, as NTFS's
// file index carries a sequence number that a reused entry counts up.
struct FileIdentity {
  std::uint64_t volume = 0;
  std::uint64_t file = 0;
  std::uint64_t birth = 0;
  bool operator==(const FileIdentity&) const = default;
};

// A file's time stamps as its system keeps them: on POSIX last access and
// last write in nanoseconds since 1970 (creation stays 0), on Windows
// creation, last access and last write in units of 100 ns since 1601.
struct FileTimes {
  std::int64_t creation = 0;
  std::int64_t last_access = 0;
  std::int64_t last_write = 0;
  bool operator==(const FileTimes&) const = default;
};

}  // namespace quadrell::fs
