#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "engine/scan_density.h"
#include "tests/test_files.h"
#include "tests/test_platform.h"

#ifndef _WIN32
#include <sys/stat.h>
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
  ScanResult scan_sparse(std::uint64_t end, const testing::Bytes& tail) {
    {
      std::ofstream out(path_, std::ios::binary | std::ios::trunc);
      out.write("\xFF\xD8", 2);
      out.seekp(static_cast<std::streamoff>(end - tail.size()));
      out.write(reinterpret_cast<const char*>(tail.data()),
                static_cast<std::streamsize>(tail.size()));
    }
    ScanDetail detail;
    return scan_density(testing::file_at(path_), detail);
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

// APP0 with X at 2^31 - 3: Y lies at the last position and is still found.
TEST_F(ScanLargeFile, DensitiesAtTheEndOfTheRange) {
  const testing::Bytes app0 = {0xFF, 0xE0, 0x00, 0x10, 'J',  'F',  'I',  'F',
                               0x00, 0x01, 0x01, 0x00, 0x00, 0x02, 0x00, 0x01};
  EXPECT_EQ(scan_sparse(kLastPosition + 1, app0), static_cast<ScanResult>(kLastPosition));
  EXPECT_EQ(scan_sparse(kLastPosition + 2, app0), kAccessError);
}

}  // namespace
}  // namespace quadrell
