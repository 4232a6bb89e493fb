#pragma once

#include <cstdint>

namespace quadrell::fs {

// Which file an opening reached, whatever name it was opened by: the device
// and inode on POSIX, the volume serial number and file index on Windows.
struct FileIdentity {
  std::uint64_t volume = 0;
  std::uint64_t file = 0;
  bool operator==(const FileIdentity&) const = default;
};

}  // namespace quadrell::fs
