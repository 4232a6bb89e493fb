#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/uio.h>
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

FileTime file_time_of(const struct timespec& time) {
  return {std::int64_t{time.tv_sec}, static_cast<std::int32_t>(time.tv_nsec)};
}

struct timespec timespec_of(const FileTime& time) {
  return {static_cast<time_t>(time.seconds), static_cast<long>(time.nanoseconds)};
}

// What an open file's status says of it.
struct Status {
  mode_t mode = 0;
  FileIdentity identity;
  std::int64_t size = 0;
  struct timespec last_access {};
  struct timespec last_write {};
};

#ifdef STATX_BTIME
// The birth time as one number, only ever compared: wrapped, not overflowed,
// past 2554.
std::uint64_t birth_of(const struct statx_timestamp& time) {
  return static_cast<std::uint64_t>(time.tv_sec) * 1000000000u + time.tv_nsec;
}
#endif

// statx where the system has it, for the birth time; fstat where it does
// not (an old kernel, or a sandbox that refuses the call).
bool status_of(int fd, Status& status) {
#ifdef STATX_BTIME
  struct statx x {};
  if (::statx(fd, "", AT_EMPTY_PATH, STATX_BASIC_STATS | STATX_BTIME, &x) == 0) {
    const auto time_of = [](const struct statx_timestamp& t) {
      return timespec{static_cast<time_t>(t.tv_sec), static_cast<long>(t.tv_nsec)};
    };
    status.mode = x.stx_mode;
    status.identity = {makedev(x.stx_dev_major, x.stx_dev_minor), x.stx_ino,
                       (x.stx_mask & STATX_BTIME) != 0 ? birth_of(x.stx_btime) : 0};
    status.size = static_cast<std::int64_t>(x.stx_size);
    status.last_access = time_of(x.stx_atime);
    status.last_write = time_of(x.stx_mtime);
    return true;
  }
  if (errno != ENOSYS && errno != EPERM) return false;
#endif
  struct stat plain {};
  if (::fstat(fd, &plain) != 0) return false;
  status = {plain.st_mode, identity_of(plain), plain.st_size, plain.st_atim, plain.st_mtim};
  return true;
}

FileTimes times_of(const Status& status) {
  return {{}, file_time_of(status.last_access), file_time_of(status.last_write)};
}

Failure last_error() { return failure(static_cast<SystemError>(errno)); }

// The descriptor of a regular file; status receives what the system said
// of it.
Result<UniqueFd> open_regular(const FileRef& file, int flags, Status& status) {
  UniqueFd fd =
      open_at(file.folder ? file.folder->get() : AT_FDCWD, file.path, flags | kCommonFlags);
  if (!fd.valid() || !status_of(fd.get(), status)) return last_error();
  if (!S_ISREG(status.mode)) return failure(S_ISDIR(status.mode) ? EISDIR : kNotRegularFile);
  return fd;
}

// Without moving the last-access time where the system lets us: O_NOATIME
// is refused with EPERM on files the user does not own, read normally then.
Result<UniqueFd> open_leaving_access_time(const FileRef& file, int flags, Status& status) {
#ifdef O_NOATIME
  Result<UniqueFd> fd = open_regular(file, flags | O_NOATIME, status);
  if (fd || fd.error() != EPERM) return fd;
#endif
  return open_regular(file, flags, status);
}

// A positioned read or write, retried when a signal interrupts it.
template <typename Call>
Result<std::size_t> positioned(Call call) {
  for (;;) {
    const ssize_t count = call();
    if (count >= 0) return static_cast<std::size_t>(count);
    if (errno != EINTR) return last_error();
  }
}

}  // namespace

std::string error_text(SystemError error) {
  const char* own = own_reason_text(error);
  return own != nullptr ? own : std::strerror(static_cast<int>(error));
}

bool out_of_descriptors(SystemError error) { return error == EMFILE || error == ENFILE; }

// POSIX keeps no creation time.
bool times_in_range(const FileTimes& times) {
  const auto fits = [](const FileTime& time) {
    return static_cast<std::int64_t>(static_cast<time_t>(time.seconds)) == time.seconds &&
           time.nanoseconds >= 0 && time.nanoseconds < 1000000000;
  };
  return times.creation == FileTime{} && fits(times.last_access) && fits(times.last_write);
}

int read_ahead_allowance() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) {
    return std::numeric_limits<int>::max();
  }
  const auto allowance = limit.rlim_cur * 3 / 4;
  return allowance < 2 ? 2 : static_cast<int>(std::min<rlim_t>(allowance, 1 << 21));
}

Result<InputFile> InputFile::open(const FileRef& file) {
  InputFile opened;
  Status status;
  Result<UniqueFd> fd = open_leaving_access_time(file, O_RDONLY, status);
  if (!fd) return failure(fd.error());
  opened.handle_ = std::move(*fd);
  opened.identity_ = status.identity;
  opened.size_ = status.size;
  opened.times_ = times_of(status);
  return opened;
}

// RWF_NOWAIT reads only what the page cache holds, and answers EAGAIN where
// the read would block: on the device, or for a moment on the file system's
// own journal while another file is synced. So the read made then is timed
// too, and only one that takes longer than kSlowRead has waited on the
// storage. A file system that does not know the flag refuses it, and the
// read is timed.
Result<std::size_t> InputFile::read_at(std::int64_t offset, std::uint8_t* data, std::size_t size) {
  const auto read = [&] {
    return positioned([&] { return ::pread(handle_.get(), data, size, offset); });
  };
  if (judged_) return read();
  judged_ = true;
#ifdef RWF_NOWAIT
  for (;;) {
    struct iovec part {
      data, size
    };
    const ssize_t count = ::preadv2(handle_.get(), &part, 1, offset, RWF_NOWAIT);
    if (count >= 0) return static_cast<std::size_t>(count);
    if (errno != EINTR) break;
  }
#endif
  const auto start = std::chrono::steady_clock::now();
  Result<std::size_t> count = read();
  waited_ = std::chrono::steady_clock::now() - start > kSlowRead;
  return count;
}

// The check's read leaves the last-access time too, should the run stop
// before the write. The times to keep are the opening's.
Result<PatchFile> PatchFile::open(const FileRef& file, KeepTimes) {
  PatchFile opened;
  Status status;
  Result<UniqueFd> fd = open_leaving_access_time(file, O_RDWR, status);
  if (!fd) return failure(fd.error());
  opened.handle_ = std::move(*fd);
  opened.identity_ = status.identity;
  opened.size_ = status.size;
  opened.opened_times_ = times_of(status);
  return opened;
}

Result<std::size_t> PatchFile::read_at(std::int64_t offset, std::uint8_t* data, std::size_t size) {
  return positioned([&] { return ::pread(handle_.get(), data, size, offset); });
}

Result<std::size_t> PatchFile::write_at(std::int64_t offset, const std::uint8_t* data,
                                        std::size_t size) {
  return positioned([&] { return ::pwrite(handle_.get(), data, size, offset); });
}

Result<FileTimes> PatchFile::saved_times() const { return opened_times_; }

Result<FileTimes> PatchFile::times_now() {
  Status status;
  if (!status_of(handle_.get(), status)) return last_error();
  return times_of(status);
}

Result<> PatchFile::set_times(const FileTimes& times) {
  const struct timespec both[2] = {timespec_of(times.last_access), timespec_of(times.last_write)};
  if (::futimens(handle_.get(), both) != 0) return last_error();
  return {};
}

Result<> PatchFile::close() {
  if (!handle_.close()) return last_error();
  return {};
}

}  // namespace fs
}  // namespace quadrell
