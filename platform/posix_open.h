#pragma once

#include <sys/stat.h>

#include <string>

#include "platform/file_identity.h"
#include "platform/unique_fd.h"

namespace quadrell::fs {

// openat(folder, path, flags) for a path of any length: one that the system
// would refuse as longer than PATH_MAX is opened a run of folders at a time.
// errno tells why on failure.
UniqueFd open_at(int folder, const std::string& path, int flags);

inline FileIdentity identity_of(const struct stat& status) {
  return {static_cast<std::uint64_t>(status.st_dev), static_cast<std::uint64_t>(status.st_ino)};
}

// stat(2) for a path of any length.
bool stat_any_length(const std::string& path, struct stat& status);

}  // namespace quadrell::fs
