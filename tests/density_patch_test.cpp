#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <optional>

#include "engine/density_patch.h"
#include "engine/density_scan.h"
#include "tests/test_files.h"
#include "tests/test_platform.h"

namespace quadrell {
namespace {

using testing::Bytes;
using testing::concat;
using testing::jfif_file;

// An Exif segment holding a whole JFIF thumbnail (28 bytes), in front of the
// image's own JFIF header: its X density lies at 53, its Y density at 55.
Bytes exif_thumbnail_then(std::uint16_t x, std::uint16_t y) {
  const Bytes own = jfif_file(x, y);
  return concat({{0xFF, 0xD8, 0xFF, 0xE1, 0x00, 0x24, 'E', 'x', 'i', 'f', 0x00, 0x00},
                 jfif_file(1, 2),
                 Bytes(own.begin() + 2, own.end())});
}

struct PatchCase {
  const char* name;
  Bytes before;
  ScanResult position;
  Bytes after;
};

std::ostream& operator<<(std::ostream& out, const PatchCase& patch) { return out << patch.name; }

const PatchCase kPatchCases[] = {
    {"XSmaller", jfif_file(72, 96), 15, jfif_file(96, 96)},
    {"YSmaller", jfif_file(300, 150), 17, jfif_file(300, 300)},
    {"MacBinaryXSmaller", testing::macbinary_file(1, 0xFFFF), 143,
     testing::macbinary_file(0xFFFF, 0xFFFF)},
    {"MacBinaryYSmaller", testing::macbinary_file(0x0201, 0x0102), 145,
     testing::macbinary_file(0x0201, 0x0201)},
    {"OwnHeaderBehindExifThumbnail", exif_thumbnail_then(72, 96), 53, exif_thumbnail_then(96, 96)},
};

class PatchLayout : public ::testing::TestWithParam<PatchCase> {};

// The two bytes at the position change, nothing else, and the length stays.
TEST_P(PatchLayout, WritesExactlyTheTwoBytes) {
  const PatchCase& patch = GetParam();
  testing::TempDir dir;
  const auto path = dir / "p.jpg";
  testing::write_bytes(path, patch.before);

  ScanDetail detail;
  ASSERT_EQ(scan_density(testing::file_at(path), detail), patch.position);
  ASSERT_EQ(patch_density(testing::file_at(path), patch.position, detail, KeepTimes::kNo).outcome,
            PatchOutcome::kWritten);
  EXPECT_EQ(testing::read_bytes(path), patch.after);
  EXPECT_EQ(scan_density(testing::file_at(path), detail), kFair);
}

INSTANTIATE_TEST_SUITE_P(Layouts, PatchLayout, ::testing::ValuesIn(kPatchCases),
                         [](const auto& info) { return std::string(info.param.name); });

class PatchFile : public ::testing::Test {
 protected:
  void SetUp() override { testing::write_bytes(path_, jfif_file(72, 96)); }

  void scan() { ASSERT_EQ(scan_density(testing::file_at(path_), detail_), 15); }
  PatchOutcome patch(KeepTimes keep_times) {
    return patch_density(testing::file_at(path_), 15, detail_, keep_times).outcome;
  }

  testing::TempDir dir_;
  const std::filesystem::path path_ = dir_ / "photo.jpg";
  ScanDetail detail_;
};

// The stamps are set after the scan: what the scan does to the last-access
// time is its own test.
TEST_F(PatchFile, KeepTimesPutsEveryStampBack) {
  scan();
  testing::write_stamps(path_, testing::old_stamps());
  // Compared with what the file reports, not with what was set: Wine, for
  // one, keeps no creation time.
  const testing::Stamps before = testing::read_stamps(path_);
  ASSERT_EQ(testing::last_write_of(before), testing::last_write_of(testing::old_stamps()));

  ASSERT_EQ(patch(KeepTimes::kYes), PatchOutcome::kWritten);
  EXPECT_EQ(testing::read_stamps(path_), before);  // before reading the bytes moves them
  EXPECT_EQ(testing::read_bytes(path_), jfif_file(96, 96));
}

TEST_F(PatchFile, WithoutKeepTimesTheWriteTimeMoves) {
  scan();
  testing::write_stamps(path_, testing::old_stamps());
  ASSERT_EQ(patch(KeepTimes::kNo), PatchOutcome::kWritten);
  EXPECT_NE(testing::last_write_of(testing::read_stamps(path_)),
            testing::last_write_of(testing::old_stamps()));
}

TEST_F(PatchFile, LockedFileFailsUnchanged) {
  scan();
  testing::ExclusiveLock lock(path_);
  if (!lock.held()) GTEST_SKIP() << "no exclusive opening on this platform";
  EXPECT_EQ(patch(KeepTimes::kNo), PatchOutcome::kFailed);
  EXPECT_EQ(patch(KeepTimes::kYes), PatchOutcome::kFailed);
}

// The times after a write, as the policy asks: kept, moved by the write, or
// put back from a record (an undo, told the write's own last-write time
// first); and the times read back for a journal.
enum class Dates { kKept, kMoved, kRecord };
enum class Left { kNone, kBefore, kNow, kRecord };

struct TimesCase {
  const char* name;
  KeepTimes keep;
  TimesLeft left;
  bool from_record;
  Dates dates;
  Left left_read;
};

std::ostream& operator<<(std::ostream& out, const TimesCase& c) { return out << c.name; }

const TimesCase kTimesCases[] = {
    {"Plain", KeepTimes::kNo, TimesLeft::kUnread, false, Dates::kMoved, Left::kNone},
    {"Journaled", KeepTimes::kNo, TimesLeft::kRead, false, Dates::kMoved, Left::kNow},
    {"KeepDates", KeepTimes::kYes, TimesLeft::kUnread, false, Dates::kKept, Left::kNone},
    {"KeepDatesJournaled", KeepTimes::kYes, TimesLeft::kRead, false, Dates::kKept, Left::kBefore},
    {"Undo", KeepTimes::kNo, TimesLeft::kUnread, true, Dates::kRecord, Left::kRecord},
};

class PatchTimes : public ::testing::TestWithParam<TimesCase> {};

TEST_P(PatchTimes, FollowThePolicy) {
  const TimesCase& c = GetParam();
  testing::TempDir dir;
  const auto path = dir / "photo.jpg";
  testing::write_bytes(path, jfif_file(72, 96));
  ScanDetail detail;
  ASSERT_EQ(scan_density(testing::file_at(path), detail), 15);
  testing::write_stamps(path, testing::old_stamps());
  // Wine moves the last-access time on reads it cannot be kept from.
  const auto kept = [](std::optional<fs::FileTimes> times) {
    if (times && testing::running_under_wine()) times->last_access = {};
    return times;
  };
  const testing::Stamps record_stamps = testing::stamps_kept_by_reading(path);
  const fs::FileTimes record = fs::InputFile::open(testing::file_at(path))->times();
  testing::write_stamps(path, testing::written_later(testing::old_stamps(), 3600));
  const testing::Stamps before = testing::stamps_kept_by_reading(path);
  const fs::FileTimes before_times = fs::InputFile::open(testing::file_at(path))->times();

  std::optional<fs::FileTime> told;
  const TimesPolicy policy{c.keep, c.left, c.from_record ? &record : nullptr,
                           [&](const fs::FileTime& time) { told = time; }};
  Result<fs::PatchFile> target = fs::PatchFile::open(testing::file_at(path), c.keep);
  ASSERT_TRUE(target);
  PatchResult result;
  close_patch(*target, write_if_unchanged(*target, 15, detail, result), policy, result);

  ASSERT_EQ(result.outcome, PatchOutcome::kWritten) << fs::error_text(result.error);
  const testing::Stamps after = testing::stamps_kept_by_reading(path);
  const fs::FileTimes now = fs::InputFile::open(testing::file_at(path))->times();
  switch (c.dates) {
    case Dates::kKept:
      EXPECT_EQ(after, before);
      break;
    case Dates::kMoved:
      EXPECT_NE(testing::last_write_of(after), testing::last_write_of(before));
      break;
    case Dates::kRecord:
      EXPECT_EQ(after, record_stamps);
      break;
  }
  const std::optional<fs::FileTimes> left[] = {std::nullopt, before_times, now, record};
  EXPECT_EQ(kept(result.left), kept(left[static_cast<int>(c.left_read)]));
  // An undo's journal needs the time its own write left, not one it set.
  ASSERT_EQ(told.has_value(), c.keep == KeepTimes::kYes || c.from_record);
  if (told) {
    EXPECT_NE(*told, (c.from_record ? record : before_times).last_write);
  }
  EXPECT_EQ(testing::read_bytes(path), jfif_file(96, 96));
}

INSTANTIATE_TEST_SUITE_P(Policies, PatchTimes, ::testing::ValuesIn(kTimesCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Another program changes the file between the scan and the patch: the patch
// writes nothing, and the file stays exactly as that program left it.
struct ChangeCase {
  const char* name;
  std::function<void(const std::filesystem::path&)> change;
};

std::ostream& operator<<(std::ostream& out, const ChangeCase& c) { return out << c.name; }

const ChangeCase kChanges[] = {
    {"Removed", [](const auto& path) { std::filesystem::remove(path); }},
    {"ShortenedInsideTheDensities",
     [](const auto& path) { std::filesystem::resize_file(path, 16); }},
    {"Emptied", [](const auto& path) { std::filesystem::resize_file(path, 0); }},
    {"DensitiesRewritten", [](const auto& path) { testing::write_bytes(path, jfif_file(80, 96)); }},
    {"SameDensitiesNoLongerJfif",
     [](const auto& path) {
       Bytes bytes = jfif_file(72, 96);
       bytes[9] = 'X';
       testing::write_bytes(path, bytes);
     }},
    {"OtherFileOfTheSameLengthPutInItsPlace",
     [](const auto& path) {
       const auto other = path.parent_path() / "other.tmp";
       testing::write_bytes(other, jfif_file(150, 300));
       std::filesystem::rename(other, path);
     }},
};

class PatchAfterChange : public ::testing::TestWithParam<ChangeCase> {};

TEST_P(PatchAfterChange, WritesNothing) {
  testing::TempDir dir;
  const auto path = dir / "photo.jpg";
  testing::write_bytes(path, jfif_file(72, 96));
  ScanDetail detail;
  ASSERT_EQ(scan_density(testing::file_at(path), detail), 15);
  GetParam().change(path);
  const bool exists = std::filesystem::exists(path);
  const Bytes changed = exists ? testing::read_bytes(path) : Bytes{};

  const PatchResult result = patch_density(testing::file_at(path), 15, detail, KeepTimes::kYes);
  EXPECT_EQ(result.outcome, exists ? PatchOutcome::kChanged : PatchOutcome::kFailed);
  ASSERT_EQ(std::filesystem::exists(path), exists) << "the patch never creates a file";
  if (exists) {
    EXPECT_EQ(testing::read_bytes(path), changed);
  }
}

INSTANTIATE_TEST_SUITE_P(Changes, PatchAfterChange, ::testing::ValuesIn(kChanges),
                         [](const auto& info) { return std::string(info.param.name); });

// A file in memory whose writes take at most the next number of bytes in
// allowed, 0 meaning a failure; past the list every write succeeds.
class FaultyFile final : public PatchTarget {
 public:
  FaultyFile(Bytes bytes, std::vector<std::size_t> allowed)
      : bytes(std::move(bytes)), allowed_(std::move(allowed)) {}

  Result<std::size_t> read_at(std::int64_t offset, std::uint8_t* data, std::size_t size) override {
    const auto at = static_cast<std::size_t>(offset);
    const std::size_t count = at < bytes.size() ? std::min(size, bytes.size() - at) : 0;
    std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(at), count, data);
    return count;
  }
  Result<std::size_t> write_at(std::int64_t offset, const std::uint8_t* data,
                               std::size_t size) override {
    const std::size_t limit = writes_ < allowed_.size() ? allowed_[writes_] : size;
    ++writes_;
    // A full disk, say; or a write that took nothing and gave no reason.
    if (limit == 0 && allowed_ != std::vector<std::size_t>{0}) return failure(28);
    const std::size_t count = std::min(size, limit);
    std::copy_n(data, count, bytes.begin() + static_cast<std::ptrdiff_t>(offset));
    return count;
  }

  Bytes bytes;

 private:
  std::vector<std::size_t> allowed_;
  std::size_t writes_ = 0;
};

struct WriteFault {
  const char* name;
  std::vector<std::size_t> allowed;
  bool written;
  SystemError error;
};

std::ostream& operator<<(std::ostream& out, const WriteFault& fault) { return out << fault.name; }

// X = 01 48 is overwritten with Y = 02 60: both bytes differ.
const WriteFault kWriteFaults[] = {
    {"WholeWrite", {2}, true, 0},
    {"ShortWriteContinued", {1, 1}, true, 0},
    {"NothingWrittenNoReasonGiven", {0}, false, kNothingWritten},
    {"SecondByteFailsFirstPutBack", {1, 0}, false, 28},
};

class PatchWriteFault : public ::testing::TestWithParam<WriteFault> {};

TEST_P(PatchWriteFault, LeavesBothBytesOrNeither) {
  const WriteFault& fault = GetParam();
  const Bytes before = jfif_file(0x0148, 0x0260);
  ScanDetail detail;
  detail.densities = {0x01, 0x48, 0x02, 0x60};
  detail.at_x = true;
  detail.value = {0x02, 0x60};
  FaultyFile file(before, fault.allowed);
  PatchResult result;
  write_if_unchanged(file, 15, detail, result);
  EXPECT_EQ(result.outcome, fault.written ? PatchOutcome::kWritten : PatchOutcome::kFailed);
  EXPECT_EQ(file.bytes, fault.written ? jfif_file(0x0260, 0x0260) : before);
  EXPECT_EQ(result.error, fault.written ? 0u : fault.error);
}

INSTANTIATE_TEST_SUITE_P(Faults, PatchWriteFault, ::testing::ValuesIn(kWriteFaults),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(UnprivilegedPatch, ReadOnlyFileFailsWithEveryByteUnchanged) {
  if (testing::permissions_are_ignored()) GTEST_SKIP() << "runs again unprivileged";
  testing::TempDir dir;
  const auto path = dir / "read-only.jpg";
  testing::write_bytes(path, jfif_file(72, 96));
  testing::make_read_only(path);

  ScanDetail detail;
  const ScanResult position = scan_density(testing::file_at(path), detail);
  ASSERT_EQ(position, 15) << "a read-only file is scanned";
  const PatchResult result =
      patch_density(testing::file_at(path), position, detail, KeepTimes::kYes);
  EXPECT_EQ(result.outcome, PatchOutcome::kFailed);
  EXPECT_NE(result.error, 0u) << "the system's reason is handed on";
  EXPECT_EQ(testing::read_bytes(path), jfif_file(72, 96));
}

}  // namespace
}  // namespace quadrell
