#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>

namespace quadrell::testing {

// True where the permission bits do not bind the test (root on POSIX): tests
// of unreadable or unwritable files skip there and run again unprivileged.
bool permissions_are_ignored();

bool running_under_wine();

// Removes a folder with everything inside, whatever the permissions,
// attributes and path lengths; failures are ignored.
void remove_tree(const std::filesystem::path& path);

void make_read_only(const std::filesystem::path& path);
// Hidden on either platform for a name that begins with ".".
void make_hidden(const std::filesystem::path& path);
void make_unreadable(const std::filesystem::path& path);

// A file's time stamps as the platform keeps them, at its full precision:
// POSIX last access and modification (seconds, nanoseconds each); Windows
// creation, last access and last write (100 ns units).
struct Stamps {
  std::array<std::int64_t, 4> values{};
  bool operator==(const Stamps&) const = default;
};
Stamps read_stamps(const std::filesystem::path& path);
// Distinct old stamps with sub-second parts, last access newer than last
// write; on POSIX old enough that a plain read would move the last-access time.
Stamps old_stamps();
void write_stamps(const std::filesystem::path& path, const Stamps& stamps);
std::int64_t last_write_of(const Stamps& stamps);
// stamps with the last write that many seconds later.
Stamps written_later(Stamps stamps, int seconds);
// Stamps in the first days of year, or none where the platform's times
// cannot name it (Windows before 1601).
std::optional<Stamps> stamps_in_year(int year);
// The stamps a run that only reads the file must leave alone: all of them,
// but the last-access time under Wine, which cannot stop a read moving it.
Stamps stamps_kept_by_reading(const std::filesystem::path& path);

// Holds the file open with no sharing (Windows); does nothing on POSIX.
class ExclusiveLock {
 public:
  explicit ExclusiveLock(const std::filesystem::path& path);
  ~ExclusiveLock();
  ExclusiveLock(const ExclusiveLock&) = delete;
  ExclusiveLock& operator=(const ExclusiveLock&) = delete;
  bool held() const { return handle_ != -1; }

 private:
  std::intptr_t handle_ = -1;
};

}  // namespace quadrell::testing
