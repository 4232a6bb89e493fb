#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "engine/fs.h"

namespace quadrell {

NativePath native_path_from_utf8(std::string_view utf8) { return NativePath(utf8); }

std::string utf8_from_native(const NativePath& path) { return path; }

namespace fs {
namespace {

// O_NONBLOCK: opening a FIFO or a terminal must never wait; they are refused
// right after by the regular-file test.
constexpr int kCommonFlags = O_NONBLOCK | O_NOCTTY | O_CLOEXEC;

// The descriptor of a regular file, or -1; status receives what fstat saw.
int open_regular(const NativePath& path, int flags, struct stat& status) {
  const int fd = ::open(path.c_str(), flags | kCommonFlags);
  if (fd < 0) return -1;
  if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
    ::close(fd);
    return -1;
  }
  return fd;
}

int open_regular(const NativePath& path, int flags) {
  struct stat status {};
  return open_regular(path, flags, status);
}

int open_for_scan(const NativePath& path) {
#ifdef O_NOATIME
  // Refused with EPERM on files the user does not own; read normally then.
  const int fd = open_regular(path, O_RDONLY | O_NOATIME);
  if (fd >= 0 || errno != EPERM) return fd;
#endif
  return open_regular(path, O_RDONLY);
}

}  // namespace

InputFile::InputFile(const NativePath& path) : handle_(open_for_scan(path)) {}

InputFile::~InputFile() {
  if (is_open()) ::close(static_cast<int>(handle_));
}

std::int64_t InputFile::read(std::uint8_t* buffer, std::size_t size) {
  for (;;) {
    const ssize_t count = ::read(static_cast<int>(handle_), buffer, size);
    if (count >= 0 || errno != EINTR) return count;
  }
}

// The times are read from and set on the descriptor that writes: the same
// file whatever happens to its name meanwhile, and no extra opening.
bool write_two_bytes(const NativePath& path, std::int64_t offset, const PatchValue& bytes,
                     KeepTimes keep_times) {
  struct stat status {};
  const int fd = open_regular(path, O_WRONLY, status);
  if (fd < 0) return false;
  ssize_t written;
  do {
    written = ::pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(offset));
  } while (written < 0 && errno == EINTR);
  if (keep_times == KeepTimes::kYes) {
    const struct timespec times[2] = {status.st_atim, status.st_mtim};
    ::futimens(fd, times);
  }
  const bool closed = ::close(fd) == 0;
  return written == static_cast<ssize_t>(bytes.size()) && closed;
}

bool can_open_for_writing(const NativePath& path) {
  const int fd = open_regular(path, O_WRONLY);
  if (fd < 0) return false;
  return ::close(fd) == 0;
}

}  // namespace fs
}  // namespace quadrell
