#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/test_platform.h"

namespace quadrell::testing {

bool permissions_are_ignored() { return ::geteuid() == 0; }

void make_read_only(const std::filesystem::path& path) { ::chmod(path.c_str(), 0444); }

void make_hidden(const std::filesystem::path&) {}

void make_unreadable(const std::filesystem::path& path) { ::chmod(path.c_str(), 0000); }

Stamps read_stamps(const std::filesystem::path& path) {
  struct stat status {};
  ::stat(path.c_str(), &status);
  return {{status.st_atim.tv_sec, status.st_atim.tv_nsec, status.st_mtim.tv_sec,
           status.st_mtim.tv_nsec}};
}

bool running_under_wine() { return false; }

void remove_tree(const std::filesystem::path& path) {
  std::error_code error;
  std::filesystem::permissions(path, std::filesystem::perms::owner_all, error);
  std::filesystem::recursive_directory_iterator entries(path, error), end;
  for (; !error && entries != end; entries.increment(error)) {
    if (!entries->is_symlink(error)) {
      std::filesystem::permissions(entries->path(), std::filesystem::perms::owner_all,
                                   std::filesystem::perm_options::add, error);
    }
  }
  std::filesystem::remove_all(path, error);
}

Stamps old_stamps() { return {{1000000123, 123456789, 900000456, 987654321}}; }

void write_stamps(const std::filesystem::path& path, const Stamps& stamps) {
  struct timespec times[2] = {};
  times[0].tv_sec = stamps.values[0];
  times[0].tv_nsec = stamps.values[1];
  times[1].tv_sec = stamps.values[2];
  times[1].tv_nsec = stamps.values[3];
  ::utimensat(AT_FDCWD, path.c_str(), times, 0);
}

std::int64_t last_write_of(const Stamps& stamps) {
  return stamps.values[2] * 1000000000 + stamps.values[3];
}

ExclusiveLock::ExclusiveLock(const std::filesystem::path&) {}

ExclusiveLock::~ExclusiveLock() = default;

Stamps written_later(Stamps stamps, int seconds) {
  stamps.values[2] += seconds;
  return stamps;
}

std::optional<Stamps> stamps_in_year(int year) {
  const std::int64_t start = (std::int64_t{year} - 1970) * 31556952 + 86400;
  return Stamps{{start + 86400, 123456789, start, 987654321}};
}

Stamps stamps_kept_by_reading(const std::filesystem::path& path) { return read_stamps(path); }

}  // namespace quadrell::testing
