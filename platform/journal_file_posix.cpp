#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>

#include "platform/directory.h"
#include "platform/journal_file.h"

namespace quadrell::fs {

JournalFile::JournalFile(const NativePath& path)
    : handle_(::open(path.c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0600)) {
  if (!handle_.valid()) error_ = static_cast<SystemError>(errno);
}

std::int64_t JournalFile::size() {
  struct stat status {};
  if (::fstat(handle_.get(), &status) == 0) return status.st_size;
  error_ = static_cast<SystemError>(errno);
  return -1;
}

bool JournalFile::read_at(std::int64_t offset, std::size_t size, std::string& text) {
  text.resize(size);
  ssize_t count;
  while ((count = ::pread(handle_.get(), text.data(), size, offset)) < 0 && errno == EINTR) {
  }
  if (count < 0) {
    error_ = static_cast<SystemError>(errno);
    return false;
  }
  text.resize(static_cast<std::size_t>(count));
  return true;
}

bool JournalFile::append_durably(std::string_view text) {
  while (!text.empty()) {
    const ssize_t count = ::write(handle_.get(), text.data(), text.size());
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) {
      error_ = count < 0 ? static_cast<SystemError>(errno) : ENOSPC;
      return false;
    }
    text.remove_prefix(static_cast<std::size_t>(count));
  }
  if (::fdatasync(handle_.get()) == 0) return true;
  error_ = static_cast<SystemError>(errno);
  return false;
}

bool read_whole_file(const NativePath& path, std::string& text, SystemError& error) {
  const UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  char block[65536];
  for (ssize_t count; file.valid();) {
    count = ::read(file.get(), block, sizeof block);
    if (count < 0 && errno == EINTR) continue;
    if (count == 0) return true;
    if (count < 0) break;
    text.append(block, static_cast<std::size_t>(count));
  }
  error = static_cast<SystemError>(errno);
  return false;
}

NativePath current_folder() {
  std::unique_ptr<char, decltype(&::free)> folder(::getcwd(nullptr, 0), &::free);
  return folder ? NativePath(folder.get()) : NativePath(".");
}

NativePath absolute_path_in(const NativePath& current_folder, const NativePath& path) {
  return !path.empty() && path.front() == '/' ? path : child_path(current_folder, path);
}

}  // namespace quadrell::fs
