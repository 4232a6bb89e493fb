#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <vector>

#include "engine/directory.h"

namespace quadrell::fs {
namespace {

std::optional<std::string> real_path(const std::string& path) {
  std::unique_ptr<char, decltype(&::free)> resolved(::realpath(path.c_str(), nullptr), &::free);
  if (!resolved) return std::nullopt;
  return std::string(resolved.get());
}

std::optional<Entry> root_entry() { return Entry{"/", "/", true}; }

struct CloseDirectory {
  void operator()(DIR* directory) const { ::closedir(directory); }
};

}  // namespace

NativePath absolute_path(const NativePath& path) {
  if (path.empty() || path.front() == '/') return path;
  std::unique_ptr<char, decltype(&::free)> folder(::getcwd(nullptr, 0), &::free);
  if (!folder) return path;
  return child_path(folder.get(), path);
}

// The folder part is resolved by the system, so that a ".." behind a
// symbolic link means what it means to the system; the last component is
// kept as given, so that a link shows under its own name.
std::optional<Entry> look_up(const NativePath& given) {
  if (given.empty()) return std::nullopt;
  std::string path = absolute_path(given);
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  if (path == "/") return root_entry();

  std::string last = path.substr(path.rfind('/') + 1);
  if (last == "." || last == "..") {
    const auto resolved = real_path(path);
    if (!resolved) return std::nullopt;
    if (*resolved == "/") return root_entry();
    path = *resolved;
    last = path.substr(path.rfind('/') + 1);
  } else {
    const std::size_t separator = path.rfind('/');
    const auto folder = real_path(separator == 0 ? "/" : path.substr(0, separator));
    if (!folder) return std::nullopt;
    path = child_path(*folder, last);
  }
  if (last.front() == '.') return std::nullopt;

  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) return std::nullopt;
  if (!S_ISDIR(status.st_mode) && !S_ISREG(status.st_mode)) return std::nullopt;
  return Entry{path, last, S_ISDIR(status.st_mode)};
}

bool list_plain_files(const NativePath& folder,
                      const std::function<void(const NativePath& name)>& visit) {
  std::unique_ptr<DIR, CloseDirectory> directory(::opendir(folder.c_str()));
  if (!directory) return false;
  std::vector<std::string> names;
  for (;;) {
    errno = 0;
    const dirent* entry = ::readdir(directory.get());
    if (entry == nullptr) break;
    if (entry->d_name[0] == '.') continue;
    bool plain = entry->d_type == DT_REG;
    if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
      struct stat status {};
      plain = ::fstatat(::dirfd(directory.get()), entry->d_name, &status, 0) == 0 &&
              S_ISREG(status.st_mode);
    }
    if (plain) names.emplace_back(entry->d_name);
  }
  const bool complete = errno == 0;
  directory.reset();
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) visit(name);
  return complete;
}

NativePath child_path(const NativePath& folder, const NativePath& name) {
  if (!folder.empty() && folder.back() == '/') return folder + name;
  return folder + "/" + name;
}

LogName log_name(const NativePath& name) { return log_name_from_bytes(name); }

}  // namespace quadrell::fs
