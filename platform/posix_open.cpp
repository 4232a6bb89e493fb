#include "platform/posix_open.h"

#include <fcntl.h>
#include <limits.h>

namespace quadrell::fs {
namespace {

#ifdef O_PATH
constexpr int kFolderOnly = O_PATH | O_DIRECTORY | O_CLOEXEC;
#else
constexpr int kFolderOnly = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
#endif

}  // namespace

UniqueFd open_at(int folder, const std::string& path, int flags) {
  if (path.size() < PATH_MAX) return UniqueFd(::openat(folder, path.c_str(), flags));
  // The longest leading run of whole components that the system takes.
  const std::size_t cut = path.rfind('/', PATH_MAX - 1);
  if (cut == std::string::npos || cut == 0) return UniqueFd(::openat(folder, path.c_str(), flags));
  const UniqueFd head = open_at(folder, path.substr(0, cut), kFolderOnly);
  if (!head.valid()) return UniqueFd();
  return open_at(head.get(), path.substr(cut + 1), flags);
}

bool stat_any_length(const std::string& path, struct stat& status) {
  if (path.size() < PATH_MAX) return ::stat(path.c_str(), &status) == 0;
  const std::size_t separator = path.rfind('/');
  const UniqueFd folder = open_at(AT_FDCWD, path.substr(0, separator), kFolderOnly);
  return folder.valid() && ::fstatat(folder.get(), path.c_str() + separator + 1, &status, 0) == 0;
}

}  // namespace quadrell::fs
