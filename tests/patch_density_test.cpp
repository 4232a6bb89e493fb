#include <gtest/gtest.h>

#include <filesystem>

#include "engine/patch_density.h"
#include "engine/scan_density.h"
#include "tests/test_files.h"
#include "tests/test_platform.h"

namespace quadrell {
namespace {

using testing::Bytes;

struct PatchCase {
  const char* name;
  Bytes before;
  ScanResult position;
  Bytes after;
};

std::ostream& operator<<(std::ostream& out, const PatchCase& patch) { return out << patch.name; }

const PatchCase kPatchCases[] = {
    {"XSmaller", testing::jfif_file(72, 96), 15, testing::jfif_file(96, 96)},
    {"YSmaller", testing::jfif_file(300, 150), 17, testing::jfif_file(300, 300)},
    {"MacBinaryXSmaller", testing::macbinary_file(1, 0xFFFF), 143,
     testing::macbinary_file(0xFFFF, 0xFFFF)},
    {"MacBinaryYSmaller", testing::macbinary_file(0x0201, 0x0102), 145,
     testing::macbinary_file(0x0201, 0x0201)},
};

class PatchLayout : public ::testing::TestWithParam<PatchCase> {};

// The two bytes at the position change, nothing else, and the length stays.
TEST_P(PatchLayout, WritesExactlyTheTwoBytes) {
  const PatchCase& patch = GetParam();
  testing::TempDir dir;
  const auto path = dir / "p.jpg";
  testing::write_bytes(path, patch.before);

  PatchValue value{};
  ASSERT_EQ(scan_density(testing::native(path), value), patch.position);
  ASSERT_TRUE(patch_density(testing::native(path), patch.position, value, KeepTimes::kNo));
  EXPECT_EQ(testing::read_bytes(path), patch.after);
  EXPECT_EQ(scan_density(testing::native(path), value), kFair);
}

INSTANTIATE_TEST_SUITE_P(Layouts, PatchLayout, ::testing::ValuesIn(kPatchCases),
                         [](const auto& info) { return std::string(info.param.name); });

class PatchFile : public ::testing::Test {
 protected:
  void SetUp() override { testing::write_bytes(path_, testing::jfif_file(72, 96)); }

  // Scans and patches as a run does; returns whether the patch was written.
  bool scan_and_patch(KeepTimes keep_times) {
    PatchValue value{};
    const ScanResult position = scan_density(testing::native(path_), value);
    EXPECT_EQ(position, 15);
    return patch_density(testing::native(path_), position, value, keep_times);
  }

  testing::TempDir dir_;
  const std::filesystem::path path_ = dir_ / "photo.jpg";
};

// The stamps are set after the scan: what the scan does to the last-access
// time is its own test.
TEST_F(PatchFile, KeepTimesPutsEveryStampBack) {
  PatchValue value{};
  ASSERT_EQ(scan_density(testing::native(path_), value), 15);
  testing::write_stamps(path_, testing::old_stamps());
  // Compared with what the file reports, not with what was set: Wine, for
  // one, keeps no creation time.
  const testing::Stamps before = testing::read_stamps(path_);
  ASSERT_EQ(testing::last_write_of(before), testing::last_write_of(testing::old_stamps()));

  ASSERT_TRUE(patch_density(testing::native(path_), 15, value, KeepTimes::kYes));
  EXPECT_EQ(testing::read_stamps(path_), before);  // before reading the bytes moves them
  EXPECT_EQ(testing::read_bytes(path_), testing::jfif_file(96, 96));
}

TEST_F(PatchFile, WithoutKeepTimesTheWriteTimeMoves) {
  testing::write_stamps(path_, testing::old_stamps());
  ASSERT_TRUE(scan_and_patch(KeepTimes::kNo));
  EXPECT_NE(testing::last_write_of(testing::read_stamps(path_)),
            testing::last_write_of(testing::old_stamps()));
}

TEST_F(PatchFile, FileGoneSinceTheScanFailsAndCreatesNothing) {
  PatchValue value{};
  ASSERT_EQ(scan_density(testing::native(path_), value), 15);
  std::filesystem::remove(path_);
  EXPECT_FALSE(patch_density(testing::native(path_), 15, value, KeepTimes::kYes));
  EXPECT_FALSE(std::filesystem::exists(path_));
}

TEST_F(PatchFile, LockedFileFailsUnchanged) {
  testing::ExclusiveLock lock(path_);
  if (!lock.held()) GTEST_SKIP() << "no exclusive opening on this platform";
  EXPECT_FALSE(patch_density(testing::native(path_), 15, PatchValue{0, 96}, KeepTimes::kNo));
  EXPECT_FALSE(patch_density(testing::native(path_), 15, PatchValue{0, 96}, KeepTimes::kYes));
}

TEST(UnprivilegedPatch, ReadOnlyFileFailsWithEveryByteUnchanged) {
  if (testing::permissions_are_ignored()) GTEST_SKIP() << "runs again unprivileged";
  testing::TempDir dir;
  const auto path = dir / "read-only.jpg";
  testing::write_bytes(path, testing::jfif_file(72, 96));
  testing::make_read_only(path);

  PatchValue value{};
  const ScanResult position = scan_density(testing::native(path), value);
  ASSERT_EQ(position, 15) << "a read-only file is scanned";
  EXPECT_FALSE(patch_density(testing::native(path), position, value, KeepTimes::kYes));
  EXPECT_EQ(testing::read_bytes(path), testing::jfif_file(72, 96));
}

}  // namespace
}  // namespace quadrell
