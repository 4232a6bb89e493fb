#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>

#include "platform/directory.h"
#include "platform/journal_file.h"
#include "platform/posix_open.h"

namespace quadrell::fs {
namespace {

// O_NONBLOCK: a FIFO or a device opens at once and is refused right after.
constexpr int kCommonFlags = O_NONBLOCK | O_NOCTTY | O_CLOEXEC;

int open_flags(JournalAccess access) {
  return access == JournalAccess::kRead ? O_RDONLY : O_RDWR | O_APPEND;
}

bool same_file(const struct stat& a, int fd) {
  struct stat b {};
  return ::fstat(fd, &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

Failure last_error() { return failure(static_cast<SystemError>(errno)); }

}  // namespace

Result<JournalFile> JournalFile::open(const NativePath& path, JournalAccess access) {
  JournalFile file;
  file.path_ = path;
  const int flags = open_flags(access) | kCommonFlags;
  if (access == JournalAccess::kCreateOrAdd) {
    file.handle_ = UniqueFd(::open(path.c_str(), flags | O_CREAT | O_EXCL, 0600));
    file.created_ = file.handle_.valid();
  }
  // Only a file already there is opened to add to: any other refusal of
  // the creation is the reason (a folder the user cannot write to).
  if (!file.handle_.valid() && (access != JournalAccess::kCreateOrAdd || errno == EEXIST)) {
    file.handle_ = UniqueFd(::open(path.c_str(), flags));
  }
  struct stat status {};
  if (!file.handle_.valid() && errno == EISDIR) return failure(kNotRegularFile);
  if (!file.handle_.valid() || ::fstat(file.handle_.get(), &status) != 0) return last_error();
  if (!S_ISREG(status.st_mode)) return failure(kNotRegularFile);
  return file;
}

bool JournalFile::is_standard_stream() const {
  struct stat status {};
  return ::fstat(handle_.get(), &status) == 0 &&
         (same_file(status, STDOUT_FILENO) || same_file(status, STDERR_FILENO));
}

Result<std::int64_t> JournalFile::size() const {
  struct stat status {};
  if (::fstat(handle_.get(), &status) == 0) return std::int64_t{status.st_size};
  return last_error();
}

Result<std::string> JournalFile::read_at(std::int64_t offset, std::size_t size) {
  std::string text(size, '\0');
  ssize_t count;
  while ((count = ::pread(handle_.get(), text.data(), size, offset)) < 0 && errno == EINTR) {
  }
  if (count < 0) return last_error();
  text.resize(static_cast<std::size_t>(count));
  return text;
}

Result<> JournalFile::append(std::string_view text) {
  while (!text.empty()) {
    const ssize_t count = ::write(handle_.get(), text.data(), text.size());
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) return last_error();
    if (count == 0) return failure(kNothingWritten);
    text.remove_prefix(static_cast<std::size_t>(count));
  }
  return {};
}

Result<> JournalFile::append_durably(std::string_view text) {
  if (const Result<> appended = append(text); !appended) return appended;
  if (::fdatasync(handle_.get()) != 0) return last_error();
  return {};
}

Result<> JournalFile::sync_name() {
  if (!created_) return {};
  const std::size_t slash = path_.rfind('/');
  const NativePath folder = slash == NativePath::npos ? "."
                            : slash == 0              ? "/"
                                                      : path_.substr(0, slash);
  const UniqueFd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!fd.valid() || ::fsync(fd.get()) != 0) return last_error();
  return {};
}

Result<bool> JournalFile::lock() {
  int result;
  while ((result = ::flock(handle_.get(), LOCK_EX | LOCK_NB)) != 0 && errno == EINTR) {
  }
  if (result == 0) return true;
  if (errno == EWOULDBLOCK) return false;
  return last_error();
}

Result<FileIdentity> identity_at(const NativePath& path) {
  struct stat status {};
  if (!stat_any_length(path, status)) return last_error();
  return identity_of(status);
}

NativePath current_folder() {
  std::unique_ptr<char, decltype(&::free)> folder(::getcwd(nullptr, 0), &::free);
  return folder ? NativePath(folder.get()) : NativePath(".");
}

NativePath absolute_path_in(const NativePath& current_folder, const NativePath& path) {
  return !path.empty() && path.front() == '/' ? path : child_path(current_folder, path);
}

}  // namespace quadrell::fs
