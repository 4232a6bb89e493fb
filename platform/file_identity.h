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

// One time stamp: whole seconds since the system's epoch (1970 on POSIX,
// 1601 on Windows), rounded down, and the nanoseconds past them (on Windows
// a multiple of 100). Seconds and nanoseconds apart hold every date a file
// system can, where 64-bit nanoseconds end in 1677 and 2262.
struct FileTime {
  std::int64_t seconds = 0;
  std::int32_t nanoseconds = 0;  // 0 to 999,999,999
  auto operator<=>(const FileTime&) const = default;
};

// A file's time stamps as its system keeps them: on POSIX last access and
// last write (creation stays 0), on Windows creation, last access and last
// write.
struct FileTimes {
  FileTime creation;
  FileTime last_access;
  FileTime last_write;
  bool operator==(const FileTimes&) const = default;
};

}  // namespace quadrell::fs
