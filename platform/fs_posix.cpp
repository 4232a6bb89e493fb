#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

#include "platform/fs.h"
#include "platform/posix_open.h"

namespace quadrell {

NativePath native_path_from_utf8(std::string_view utf8) { return NativePath(utf8); }

std::string utf8_from_native(const NativePath& path) { return path; }

namespace fs {
namespace {

// O_NONBLOCK: opening a FIFO or a terminal must never wait; they are refused
// right after by the regular-file test.
constexpr int kCommonFlags = O_NONBLOCK | O_NOCTTY | O_CLOEXEC;

// The descriptor of a regular file, or none with error set; status receives
// what fstat saw.
UniqueFd open_regular(const FileRef& file, int flags, struct stat& status, SystemError& error) {
  UniqueFd fd =
      open_at(file.folder ? file.folder->get() : AT_FDCWD, file.path, flags | kCommonFlags);
  if (!fd.valid()) {
    error = static_cast<SystemError>(errno);
  } else if (::fstat(fd.get(), &status) != 0) {
    error = static_cast<SystemError>(errno);
    fd = UniqueFd();
  } else if (!S_ISREG(status.st_mode)) {
    error = S_ISDIR(status.st_mode) ? EISDIR : EINVAL;
    fd = UniqueFd();
  }
  return fd;
}

std::int64_t nanoseconds_of(const struct timespec& time) {
  return std::int64_t{time.tv_sec} * 1000000000 + time.tv_nsec;
}

struct timespec timespec_of(std::int64_t nanoseconds) {
  // Rounded down, so that a time before 1970 keeps its nanoseconds positive.
  std::int64_t seconds = nanoseconds / 1000000000;
  std::int64_t rest = nanoseconds % 1000000000;
  if (rest < 0) {
    rest += 1000000000;
    --seconds;
  }
  return {static_cast<time_t>(seconds), static_cast<long>(rest)};
}

// Without moving the last-access time where the system lets us: O_NOATIME
// is refused with EPERM on files the user does not own, read normally then.
UniqueFd open_leaving_access_time(const FileRef& file, int flags, struct stat& status,
                                  SystemError& error) {
#ifdef O_NOATIME
  UniqueFd fd = open_regular(file, flags | O_NOATIME, status, error);
  if (fd.valid() || error != EPERM) return fd;
  error = 0;  // a later failure carries its own reason, not the refusal
#endif
  return open_regular(file, flags, status, error);
}

UniqueFd open_for_scan(const FileRef& file, SystemError& error, FileIdentity& identity,
                       FileTimes& times) {
  struct stat status {};
  UniqueFd fd = open_leaving_access_time(file, O_RDONLY, status, error);
  identity = identity_of(status);
  times = {0, nanoseconds_of(status.st_atim), nanoseconds_of(status.st_mtim)};
  return fd;
}

// A positioned read or write, retried when a signal interrupts it; error
// receives the reason of a failure.
template <typename Call>
std::int64_t positioned(Call call, SystemError& error) {
  for (;;) {
    const ssize_t count = call();
    if (count >= 0) return count;
    if (errno != EINTR) {
      error = static_cast<SystemError>(errno);
      return -1;
    }
  }
}

}  // namespace

std::string error_text(SystemError error) { return std::strerror(static_cast<int>(error)); }

bool out_of_descriptors(SystemError error) { return error == EMFILE || error == ENFILE; }

int read_ahead_allowance() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) {
    return std::numeric_limits<int>::max();
  }
  const auto allowance = limit.rlim_cur * 3 / 4;
  return allowance < 2 ? 2 : static_cast<int>(std::min<rlim_t>(allowance, 1 << 21));
}

InputFile::InputFile(const FileRef& file)
    : handle_(open_for_scan(file, error_, identity_, times_)) {}

std::int64_t InputFile::read_at(std::int64_t offset, std::uint8_t* data, std::size_t size) {
  return positioned([&] { return ::pread(handle_.get(), data, size, offset); }, error_);
}

PatchFile::PatchFile(const FileRef& file, KeepTimes keep_times)
    : keep_times_(keep_times == KeepTimes::kYes) {
  struct stat status {};
  // The check's read leaves the last-access time too, should the run stop
  // before the write.
  handle_ = open_leaving_access_time(file, O_RDWR, status, error_);
  identity_ = identity_of(status);
  times_ = {status.st_atim, status.st_mtim};
}

std::int64_t PatchFile::read_at(std::int64_t offset, std::uint8_t* data, std::size_t size) {
  return positioned([&] { return ::pread(handle_.get(), data, size, offset); }, error_);
}

std::int64_t PatchFile::write_at(std::int64_t offset, const std::uint8_t* data, std::size_t size) {
  return positioned([&] { return ::pwrite(handle_.get(), data, size, offset); }, error_);
}

void PatchFile::put_back_times(const FileTimes& times) {
  keep_times_ = true;
  times_ = {timespec_of(times.last_access), timespec_of(times.last_write)};
}

PatchFile::Closing PatchFile::close(bool restore_times) {
  Closing closing;
  if (keep_times_ && restore_times) {
    const struct timespec times[2] = {times_.last_access, times_.last_write};
    if (::futimens(handle_.get(), times) == 0) {
      closing.times = TimesRestored::kYes;
    } else {
      closing.times = TimesRestored::kNo;
      closing.times_error = static_cast<SystemError>(errno);
    }
  }
  if (!handle_.close()) {
    closing.closed = false;
    closing.error = static_cast<SystemError>(errno);
  }
  return closing;
}

}  // namespace fs
}  // namespace quadrell
