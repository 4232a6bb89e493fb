#include <dirent.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <string_view>
#include <vector>

#include "platform/directory.h"
#include "platform/posix_open.h"

namespace quadrell::fs {
namespace {

// The resolved path, or nothing with errno telling why.
std::optional<std::string> real_path(const std::string& path) {
  std::unique_ptr<char, decltype(&::free)> resolved(::realpath(path.c_str(), nullptr), &::free);
  if (!resolved) return std::nullopt;
  return std::string(resolved.get());
}

Entry root_entry() { return Entry{"/", "/", true}; }

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
// kept as given, so that a link shows under its own name. A folder part too
// long for the system to resolve is kept as given: the system walks it the
// same way when the file is opened.
Result<Entry> look_up(const NativePath& given, HiddenNamed hidden) {
  if (given.empty()) return failure(ENOENT);
  std::string path = absolute_path(given);
  const bool names_a_folder = path.back() == '/';
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  if (path == "/") return root_entry();

  std::string last = path.substr(path.rfind('/') + 1);
  if (last == "." || last == "..") {
    // A folder too deep for the system to resolve is kept as given: the
    // system walks its "." and ".." the same way when it is opened.
    const auto resolved = real_path(path);
    if (resolved) {
      if (*resolved == "/") return root_entry();
      path = *resolved;
      last = path.substr(path.rfind('/') + 1);
    } else if (errno != ENAMETOOLONG) {
      return failure(static_cast<SystemError>(errno));
    }
  } else {
    const std::size_t separator = path.rfind('/');
    const auto folder = real_path(separator == 0 ? "/" : path.substr(0, separator));
    if (folder) {
      path = child_path(*folder, last);
    } else if (errno != ENAMETOOLONG) {
      return failure(static_cast<SystemError>(errno));
    }
  }
  if (last.front() == '.' && hidden == HiddenNamed::kNotFound) return failure(ENOENT);

  struct stat status {};
  if (!stat_any_length(path, status)) return failure(static_cast<SystemError>(errno));
  if (S_ISREG(status.st_mode) && names_a_folder) return failure(ENOTDIR);
  if (!S_ISDIR(status.st_mode) && !S_ISREG(status.st_mode)) return failure(kNotRegularFile);
  return Entry{path, last, S_ISDIR(status.st_mode)};
}

namespace {

bool is_type(int folder_fd, const char* name, int flags, mode_t type) {
  struct stat status {};
  return ::fstatat(folder_fd, name, &status, flags) == 0 && (status.st_mode & S_IFMT) == type;
}

}  // namespace

Result<FolderRef> open_folder(const NativePath& path) {
  auto fd =
      std::make_shared<const UniqueFd>(open_at(AT_FDCWD, path, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd->valid()) return FolderRef{std::move(fd)};
  return failure(static_cast<SystemError>(errno));
}

// O_NOFOLLOW refuses a link put in the subfolder's place; the device and
// inode tell a folder moved in from elsewhere from the one listed.
Result<FolderRef> open_subfolder(const FolderRef& parent, const Subfolder& subfolder) {
  auto fd = std::make_shared<const UniqueFd>(::openat(
      parent.fd->get(), subfolder.name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  // A link there now: ELOOP, or ENOTDIR as Linux says with O_DIRECTORY; a
  // file there now: ENOTDIR.
  if (!fd->valid()) {
    return failure(errno == ELOOP || errno == ENOTDIR ? kFileReplaced
                                                      : static_cast<SystemError>(errno));
  }
  struct stat status {};
  if (::fstat(fd->get(), &status) != 0) return failure(static_cast<SystemError>(errno));
  if (identity_of(status) != subfolder.identity) return failure(kFileReplaced);
  return FolderRef{std::move(fd)};
}

FileIdentity identity_of(const FolderRef& folder) {
  struct stat status {};
  if (::fstat(folder.fd->get(), &status) != 0) return {};
  return identity_of(status);
}

Result<FolderRef> open_folder_above(const FolderRef& child) {
  auto fd = std::make_shared<const UniqueFd>(
      ::openat(child.fd->get(), "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!fd->valid()) return failure(static_cast<SystemError>(errno));
  return FolderRef{std::move(fd)};
}

Result<> list_plain_files(
    const FolderRef& folder,
    const std::function<void(const FileRef& file, const NativePath& name)>& visit,
    std::vector<Subfolder>* subfolders) {
  const auto failed = [] { return failure(static_cast<SystemError>(errno)); };
  // The files are opened relative to the folder, which stays open while a
  // reference to one of them is kept; the listing reads a copy of it.
  const int folder_fd = folder.fd->get();
  UniqueFd listed(::fcntl(folder_fd, F_DUPFD_CLOEXEC, 0));
  if (!listed.valid()) return failed();
  std::unique_ptr<DIR, CloseDirectory> directory(::fdopendir(listed.get()));
  if (!directory) return failed();
  listed.release();  // the listing owns it now
  // fdopendir reads on from the descriptor's offset, which its copies share.
  ::rewinddir(directory.get());
  std::vector<std::string> names;
  std::vector<Subfolder> folders;
  for (;;) {
    errno = 0;
    const dirent* entry = ::readdir(directory.get());
    if (entry == nullptr) break;
    if (entry->d_name[0] == '.') continue;
    const unsigned char type = entry->d_type;
    const bool unknown = type == DT_UNKNOWN;
    if (type == DT_REG ||
        ((type == DT_LNK || unknown) && is_type(folder_fd, entry->d_name, 0, S_IFREG))) {
      names.emplace_back(entry->d_name);
    } else if (subfolders != nullptr && (type == DT_DIR || unknown)) {
      struct stat status {};
      if (::fstatat(folder_fd, entry->d_name, &status, AT_SYMLINK_NOFOLLOW) == 0 &&
          S_ISDIR(status.st_mode)) {
        folders.push_back({entry->d_name, identity_of(status)});
      }
    }
  }
  const Result<> complete = errno == 0 ? Result<>() : failed();
  directory.reset();
  // Sorted as views, which move as two words where a name moves as four.
  std::vector<std::string_view> order(names.begin(), names.end());
  std::sort(order.begin(), order.end());
  for (const std::string_view name : order) {
    const FileRef file{NativePath(name), folder.fd};
    visit(file, file.path);
  }
  if (subfolders != nullptr) {
    std::sort(folders.begin(), folders.end(),
              [](const Subfolder& a, const Subfolder& b) { return a.name < b.name; });
    *subfolders = std::move(folders);
  }
  return complete;
}

std::vector<NativePath> expand_wildcards(const std::vector<NativePath>& paths) { return paths; }

bool names_current_folder(const NativePath& path) {
  return !path.empty() && path[0] == '.' && path.find_first_not_of('/', 1) == std::string::npos;
}

// "x//" gives "x/a.jpg", "//" gives "/a.jpg": one separator, as typed or not.
NativePath child_path(const NativePath& folder, const NativePath& name) {
  if (folder.empty()) return name;
  const std::size_t last = folder.find_last_not_of('/');
  if (last == std::string::npos) return "/" + name;
  NativePath path;
  path.reserve(last + 2 + name.size());
  path.append(folder, 0, last + 1).append(1, '/').append(name);
  return path;
}

}  // namespace quadrell::fs
