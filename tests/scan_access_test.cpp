#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "engine/density_scan.h"
#include "tests/test_files.h"
#include "tests/test_platform.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace quadrell {
namespace {

TEST(ScanAccess, MissingFileIsAnAccessErrorAndStaysMissing) {
  testing::TempDir dir;
  const auto path = dir / "missing.jpg";
  ScanDetail detail;
  EXPECT_EQ(scan_density(testing::file_at(path), detail), kAccessError);
  EXPECT_NE(detail.error, 0u) << "the system's reason is handed on";
  EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(ScanAccess, FolderIsAnAccessError) {
  testing::TempDir dir;
  std::filesystem::create_directory(dir / "folder.jpg");
  ScanDetail detail;
  EXPECT_EQ(scan_density(testing::file_at(dir / "folder.jpg"), detail), kAccessError);
}

TEST(ScanAccess, LockedFileIsAnAccessError) {
  testing::TempDir dir;
  const auto path = dir / "locked.jpg";
  testing::write_bytes(path, testing::jfif_file(1, 2));
  testing::ExclusiveLock lock(path);
  if (!lock.held()) GTEST_SKIP() << "no exclusive opening on this platform";
  ScanDetail detail;
  EXPECT_EQ(scan_density(testing::file_at(path), detail), kAccessError);
}

// The times that keep-dates restores are read after the scan, so the scan
// must not move the last-access time itself.
TEST(ScanAccess, LeavesTheLastAccessTimeAlone) {
  if (testing::running_under_wine()) {
    GTEST_SKIP() << "Wine cannot stop a read from moving the last-access time";
  }
  testing::TempDir dir;
  const auto path = dir / "atime.jpg";
  testing::write_bytes(path, testing::jfif_file(1, 2));
  testing::write_stamps(path, testing::old_stamps());
  const testing::Stamps before = testing::read_stamps(path);
  ScanDetail detail;
  ASSERT_EQ(scan_density(testing::file_at(path), detail), 15);
  EXPECT_EQ(testing::read_stamps(path), before);
}

TEST(ScanAccess, ReadOnlyFileWithEqualDensitiesIsFair) {
  testing::TempDir dir;
  const auto path = dir / "read-only.jpg";
  testing::write_bytes(path, testing::jfif_file(72, 72));
  testing::make_read_only(path);
  ScanDetail detail;
  EXPECT_EQ(scan_density(testing::file_at(path), detail), kFair);
}

TEST(UnprivilegedScan, UnreadableFileIsAnAccessError) {
  if (testing::permissions_are_ignored()) GTEST_SKIP() << "runs again unprivileged";
  testing::TempDir dir;
  const auto path = dir / "unreadable.jpg";
  testing::write_bytes(path, testing::jfif_file(1, 2));
  testing::make_unreadable(path);
#ifdef _WIN32
  GTEST_SKIP() << "Windows has no permission bits to take away here";
#endif
  ScanDetail detail;
  EXPECT_EQ(scan_density(testing::file_at(path), detail), kAccessError);
}

#ifndef _WIN32
// A FIFO named like a JPEG must neither block the run nor be read.
TEST(ScanAccess, FifoIsAnAccessErrorWithoutWaiting) {
  testing::TempDir dir;
  const auto path = dir / "pipe.jpg";
  ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
  ScanDetail detail;
  EXPECT_EQ(scan_density({path.native()}, detail), kAccessError);
}

TEST(ScanAccess, DeviceIsAnAccessError) {
  ScanDetail detail;
  EXPECT_EQ(scan_density({"/dev/zero"}, detail), kAccessError);
}
#endif

// Positions are signed 32-bit. A sparse file reads as zeros, so these read
// 2 GiB without using the disk.
class ScanLargeFile : public ::testing::Test {
 protected:
  // FF D8, zeros, and tail written so that it ends at offset end.
  void write_sparse(std::uint64_t end, const testing::Bytes& tail) {
    std::ofstream out(path_, std::ios::binary | std::ios::trunc);
    out.write("\xFF\xD8", 2);
    out.seekp(static_cast<std::streamoff>(end - tail.size()));
    out.write(reinterpret_cast<const char*>(tail.data()),
              static_cast<std::streamsize>(tail.size()));
  }

  ScanResult scan_sparse(std::uint64_t end, const testing::Bytes& tail) {
    write_sparse(end, tail);
    ScanDetail detail;
    const ScanResult result = scan_density(testing::file_at(path_), detail);
    if (result == kAccessError) {
      EXPECT_EQ(detail.error, kPastPositions) << "its reason is its size";
    }
    return result;
  }

  testing::TempDir dir_;
  const std::filesystem::path path_ = dir_ / "large.jpg";
};

constexpr std::uint64_t kLastPosition = 0x7FFFFFFF;

TEST_F(ScanLargeFile, EndJustBeforeTheLastPositionIsFair) {
  EXPECT_EQ(scan_sparse(kLastPosition - 1, {0x00}), kFair);
}

TEST_F(ScanLargeFile, ReadingTheLastPositionIsAnAccessError) {
  EXPECT_EQ(scan_sparse(kLastPosition, {0x00}), kAccessError);
}

// A JFIF APP0 that ends the file at the given end: the log prints a
// change's position and the one after it, both in the signed 32-bit range.
TEST_F(ScanLargeFile, DensitiesAtTheEndOfTheRange) {
  const auto app0 = [](std::uint8_t x, std::uint8_t y) {
    return testing::Bytes{0xFF, 0xE0, 0x00, 0x10, 'J',  'F', 'I',  'F',
                          0x00, 0x01, 0x01, 0x00, 0x00, x,   0x00, y};
  };
  const struct {
    const char* what;
    std::uint64_t end;
    testing::Bytes tail;
    ScanResult result;
  } cases[] = {
      {"Y changed, its second byte last", kLastPosition, app0(2, 1), kLastPosition - 1},
      {"Y changed, its second byte past", kLastPosition + 1, app0(2, 1), kAccessError},
      {"X changed, its second byte last", kLastPosition + 2, app0(1, 2), kLastPosition - 1},
      {"X changed, its second byte past", kLastPosition + 3, app0(1, 2), kAccessError},
      {"equal, nothing printed", kLastPosition + 4, app0(1, 1), kFair},
  };
  for (const auto& c : cases) EXPECT_EQ(scan_sparse(c.end, c.tail), c.result) << c.what;
}

#ifndef _WIN32
// A file of another user refuses O_NOATIME and is read without it; the
// access error that follows carries its own reason (the position range),
// not the refusal.
TEST_F(ScanLargeFile, ReasonAfterTheSecondOpeningIsItsOwn) {
  if (::getuid() != 0) GTEST_SKIP() << "needs root to read a file as another user";
  write_sparse(kLastPosition + 1, {0x00});
  std::filesystem::permissions(dir_.path(), std::filesystem::perms::owner_all |
                                                std::filesystem::perms::group_exec |
                                                std::filesystem::perms::others_exec);
  const pid_t child = ::fork();
  if (child == 0) {
    constexpr uid_t kNobody = 65534;
    if (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) ::_exit(2);
    ScanDetail detail;
    const ScanResult result = scan_density(testing::file_at(path_), detail);
    ::_exit(result == kAccessError && detail.error == kPastPositions ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
}
#endif

}  // namespace
}  // namespace quadrell
