#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "drop/trim_at_nul.h"
#include "engine/drop_run.h"
#include "engine/paced_log.h"
#include "engine/process_path.h"
#include "platform/directory.h"
#include "tests/fake_window.h"
#include "tests/test_files.h"
#include "tests/test_platform.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace quadrell {
namespace {

using testing::dots;

using testing::jfif_file;

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
    lines.push_back(text.substr(start, end - start));
  }
  lines.push_back(text.substr(start));
  return lines;
}

// Windows lists a folder in its own order; POSIX sorts by name.
std::vector<std::string> in_listing_order(std::vector<std::string> lines) {
#ifdef _WIN32
  std::sort(lines.begin(), lines.end());
#endif
  return lines;
}

class ProcessPath : public ::testing::Test {
 protected:
  RunCounts process(const std::filesystem::path& path, WriteMode mode = WriteMode::kWrite) {
    RunCounts counts;
    process_path(window_, testing::native(path), counts, {mode});
    EXPECT_EQ(counts.total, counts.fair + counts.update + counts.error);
    return counts;
  }

  std::filesystem::path file(const char* name, const testing::Bytes& bytes) {
    const auto path = dir_ / name;
    testing::write_bytes(path, bytes);
    return path;
  }

  testing::TempDir dir_;
  testing::FakeWindow window_;
};

// Only a.jpg and b.JPEG are candidates: the other names do not end in .jpg
// or .jpeg, the hidden file is not listed, and the subfolder is not entered.
TEST_F(ProcessPath, MixedFolder) {
  file("a.jpg", jfif_file(72, 96));
  file("b.JPEG", jfif_file(96, 96));
  file("c.png", jfif_file(72, 96));
  file("d.jpe", jfif_file(72, 96));
  file("e.jpg.bak", jfif_file(72, 96));
  testing::make_hidden(file(".f.jpg", jfif_file(72, 96)));
  std::filesystem::create_directory(dir_ / "g.jpg");
  file("g.jpg/inner.jpg", jfif_file(72, 96));

  const RunCounts outcome = process(dir_.path());
  EXPECT_EQ(outcome.total, 2);
  EXPECT_EQ(outcome.update, 1);
  EXPECT_EQ(outcome.fair, 1);
  EXPECT_EQ(in_listing_order(lines_of(window_.text)),
            (std::vector<std::string>{"a.jpg " + dots(54) + " 15 16 Change",
                                      "b.JPEG " + dots(52) + " OK"}));
  EXPECT_EQ(window_.repaints, 2);
  EXPECT_EQ(window_.scrolls, 2);
  EXPECT_EQ(testing::read_bytes(dir_ / "c.png"), jfif_file(72, 96));
  EXPECT_EQ(testing::read_bytes(dir_ / ".f.jpg"), jfif_file(72, 96));
  EXPECT_EQ(testing::read_bytes(dir_ / "g.jpg/inner.jpg"), jfif_file(72, 96));
}

TEST_F(ProcessPath, FolderNamedLikeAJpegIsAFolder) {
  std::filesystem::create_directory(dir_ / "album.jpg");
  file("album.jpg/x.jpg", jfif_file(96, 72));
  const RunCounts outcome = process(dir_ / "album.jpg");
  EXPECT_EQ(outcome.update, 1);
  EXPECT_EQ(window_.text, "x.jpg " + dots(54) + " 17 18 Change");
}

TEST_F(ProcessPath, CandidateThatIsNotAJpegGetsNothing) {
  window_.text = "before";
  const RunCounts outcome = process(file("x.jpg", testing::Bytes(300, 'x')));
  EXPECT_EQ(outcome.total, 0);
  EXPECT_EQ(window_.text, "before");
  EXPECT_EQ(window_.scrolls, 0);
  EXPECT_EQ(window_.repaints, 1) << "a candidate is repainted for before its scan";
}

TEST_F(ProcessPath, MissingOrHiddenPathGetsNothing) {
  testing::make_hidden(file(".hidden.jpg", jfif_file(1, 2)));
  EXPECT_EQ(process(dir_ / "missing.jpg").total, 0);
  EXPECT_EQ(process(dir_ / ".hidden.jpg").total, 0);
  EXPECT_EQ(window_.text, "");
  EXPECT_EQ(window_.repaints, 0);
  EXPECT_EQ(testing::read_bytes(dir_ / ".hidden.jpg"), jfif_file(1, 2));
}

TEST_F(ProcessPath, UpperCaseNameIsACandidateShownAsListed) {
  file("X.JPG", jfif_file(5, 5));
  EXPECT_EQ(process(dir_ / "X.JPG").fair, 1);
  EXPECT_EQ(window_.text, "X.JPG " + dots(54) + " OK");
}

TEST_F(ProcessPath, JapaneseAndEmojiNames) {
  file("桜の写真です.jpg", jfif_file(5, 5));
  file("😀.jpeg", jfif_file(5, 5));
  process(dir_ / "桜の写真です.jpg");
  process(dir_ / "😀.jpeg");
  EXPECT_EQ(window_.text, "桜の写真です.jpg " + dots(44) + " OK\r\n😀.jpeg " + dots(50) + " OK");
}

TEST_F(ProcessPath, KeepDatesIsReadForEachPatchOnly) {
  file("a.jpg", jfif_file(1, 2));
  file("b.jpg", jfif_file(2, 2));
  file("c.jpg", jfif_file(2, 1));
  window_.keep_dates_checked = true;
  process(dir_.path());
  EXPECT_EQ(window_.keep_dates_reads, 2);
}

TEST_F(ProcessPath, KeepDatesReachesThePatch) {
  const auto path = file("a.jpg", jfif_file(1, 2));
  testing::write_stamps(path, testing::old_stamps());
  window_.keep_dates_checked = true;
  process(path);
  EXPECT_EQ(testing::last_write_of(testing::read_stamps(path)),
            testing::last_write_of(testing::old_stamps()));
  window_.keep_dates_checked = false;
  testing::write_bytes(path, jfif_file(1, 2));
  testing::write_stamps(path, testing::old_stamps());
  process(path);
  EXPECT_NE(testing::last_write_of(testing::read_stamps(path)),
            testing::last_write_of(testing::old_stamps()));
}

TEST_F(ProcessPath, FileDeletedAfterTheListingIsAnAccessError) {
  file("a.jpg", jfif_file(1, 2));
  window_.on_repaint = [&] { std::filesystem::remove(dir_ / "a.jpg"); };
  const RunCounts outcome = process(dir_.path());
  EXPECT_EQ(outcome.error, 1);
  EXPECT_EQ(window_.text, "a.jpg " + dots(54) + " -1 -1 Access error!");
  EXPECT_FALSE(std::filesystem::exists(dir_ / "a.jpg"));
}

TEST_F(ProcessPath, LockedFileIsAnAccessErrorAndTheRunGoesOn) {
  const auto locked = file("a.jpg", jfif_file(1, 2));
  file("b.jpg", jfif_file(1, 2));
  testing::ExclusiveLock lock(locked);
  if (!lock.held()) GTEST_SKIP() << "no exclusive opening on this platform";
  const RunCounts outcome = process(dir_.path());
  EXPECT_EQ(outcome.error, 1);
  EXPECT_EQ(outcome.update, 1);
}

TEST_F(ProcessPath, DryRunReportsAndChangesNothing) {
  const auto path = file("a.jpg", jfif_file(1, 2));
  testing::write_stamps(path, testing::old_stamps());
  const testing::Stamps before = testing::read_stamps(path);
  const RunCounts outcome = process(path, WriteMode::kDryRun);
  EXPECT_EQ(outcome.update, 1);
  EXPECT_EQ(window_.text, "a.jpg " + dots(54) + " 15 16 Change");
  EXPECT_EQ(testing::last_write_of(testing::read_stamps(path)), testing::last_write_of(before));
  EXPECT_EQ(testing::read_bytes(path), jfif_file(1, 2));
}

TEST(UnprivilegedProcessPath, UnwritableUnreadableAndUnlistable) {
  if (testing::permissions_are_ignored()) GTEST_SKIP() << "runs again unprivileged";
  testing::TempDir dir;
  testing::FakeWindow window;
  RunCounts counts;

  const auto read_only = dir / "read-only.jpg";
  testing::write_bytes(read_only, jfif_file(1, 2));
  testing::make_read_only(read_only);
  process_path(window, testing::native(read_only), counts);
  process_path(window, testing::native(read_only), counts, {WriteMode::kDryRun});
  EXPECT_EQ(counts.error, 2);
  EXPECT_EQ(counts.update, 0) << "a failed patch is never a Change";
  EXPECT_EQ(testing::read_bytes(read_only), jfif_file(1, 2));
#ifndef _WIN32
  const auto unreadable = dir / "unreadable.jpg";
  testing::write_bytes(unreadable, jfif_file(1, 2));
  testing::make_unreadable(unreadable);
  process_path(window, testing::native(unreadable), counts);

  const auto unlistable = dir / "unlistable";
  std::filesystem::create_directory(unlistable);
  testing::write_bytes(unlistable / "inside.jpg", jfif_file(1, 2));
  testing::make_unreadable(unlistable);
  process_path(window, testing::native(unlistable), counts);
  EXPECT_EQ(counts.error, 4);
  EXPECT_EQ(counts.total, 4);
  const std::string access_error = " -1 -1 Access error!";
  EXPECT_EQ(window.text, "read-only.jpg " + dots(38) + access_error + "\r\nread-only.jpg " +
                             dots(38) + access_error + "\r\nunreadable.jpg " + dots(36) +
                             access_error + "\r\nunlistable " + dots(44) + access_error);
#endif
}

TEST(DropRun, SummaryAfterTheLines) {
  testing::TempDir dir;
  testing::write_bytes(dir / "a.jpg", jfif_file(1, 1));
  testing::write_bytes(dir / "b.jpg", jfif_file(1, 2));
  testing::write_bytes(dir / "c.jpg", jfif_file(2, 1));
  testing::FakeWindow window;
  window.text = "the text of an earlier run";
  const RunCounts counts =
      drop_run(window, {testing::native(dir / "c.jpg"), testing::native(dir / "a.jpg"),
                        testing::native(dir / "missing.jpg"), testing::native(dir / "b.jpg")});
  EXPECT_EQ(counts.total, 3);
  EXPECT_EQ(window.text, "c.jpg " + dots(54) + " 17 18 Change\r\na.jpg " + dots(54) +
                             " OK\r\nb.jpg " + dots(54) + " 15 16 Change\r\n\r\n" +
                             "Jpeg files =>  total: 3  fair: 1  update: 2  error: 0");
  EXPECT_EQ(window.scrolls, 4);
}

TEST(DropRun, WithoutJpegFilesTheLogIsAnEmptyLineAndTheSummary) {
  testing::TempDir dir;
  testing::write_bytes(dir / "x.jpg", testing::Bytes(10, 'x'));
  testing::write_bytes(dir / "y.txt", jfif_file(1, 2));
  testing::FakeWindow window;
  window.text = "help text";
  drop_run(window, {testing::native(dir.path()), testing::native(dir / "y.txt")});
  EXPECT_EQ(window.text, "\r\nJpeg files =>  total: 0  fair: 0  update: 0  error: 0");
}

TEST(DropRun, FileDroppedTwiceIsChangedThenFair) {
  testing::TempDir dir;
  testing::write_bytes(dir / "a.jpg", jfif_file(1, 2));
  testing::FakeWindow window;
  const RunCounts counts =
      drop_run(window, {testing::native(dir / "a.jpg"), testing::native(dir / "a.jpg")});
  EXPECT_EQ(counts.update, 1);
  EXPECT_EQ(counts.fair, 1);
  EXPECT_EQ(lines_of(window.text)[1], "a.jpg " + dots(54) + " OK");
}

// Updates no sooner than 16 ms after the last one ended, nor sooner than
// three times what it took to draw; lines in between wait, none is lost.
TEST(PacedLog, UpdatesAtThePaceOfDrawing) {
  using std::chrono::milliseconds;
  std::chrono::steady_clock::time_point now{};
  testing::FakeWindow window;
  PacedLog log(window, [&] { return now; });
  auto draw_costs = [&](milliseconds cost) { window.on_repaint = [&now, cost] { now += cost; }; };
  const auto at = [&](int ms) { now = std::chrono::steady_clock::time_point(milliseconds(ms)); };

  draw_costs(milliseconds(10));
  log.repaint();  // the first update is due at once: ends at 10, next at 10 + 30
  EXPECT_EQ(window.repaints, 1);
  at(39);
  log.append_to_log("a");
  log.scroll_log_to_end();
  EXPECT_EQ(window.repaints, 1);
  EXPECT_EQ(window.text, "");
  EXPECT_FALSE(log.log_is_empty());
  at(40);
  log.repaint();  // ends at 50; next at 50 + 30
  EXPECT_EQ(window.text, "a");
  EXPECT_EQ(window.scrolls, 2);

  draw_costs(milliseconds(2));
  at(80);
  log.scroll_log_to_end();  // ends at 82; next at 82 + 16
  EXPECT_EQ(window.repaints, 3);
  log.append_to_log("b");
  at(97);
  log.repaint();
  EXPECT_EQ(window.repaints, 3);
  log.finish();
  EXPECT_EQ(window.repaints, 4);
  EXPECT_EQ(window.text, "ab");
}

TEST(PacedLog, RunLeavesTheSameLogAsAnUnpacedOne) {
  testing::TempDir dir;
  for (int i = 0; i < 300; ++i) {
    for (const char* folder : {"a", "b"}) {
      std::filesystem::create_directories(dir / folder);
      testing::write_bytes(dir / (std::string(folder) + "/photo-" + std::to_string(i) + ".jpg"),
                           jfif_file(72, i % 3 ? 72 : 96));
    }
  }
  testing::FakeWindow paced;
  testing::FakeWindow unpaced;
  paced_drop_run(paced, {testing::native(dir / "a")});
  drop_run(unpaced, {testing::native(dir / "b")});
  EXPECT_EQ(paced.text, unpaced.text);
  EXPECT_LT(paced.repaints, unpaced.repaints);
}

TEST(TrimAtNul, EdgeCases) {
  EXPECT_EQ(trim_at_nul(std::wstring(L"abc\0xyz", 7)), L"abc");
  EXPECT_EQ(trim_at_nul(std::wstring(L"\0abc", 4)), L"");
  EXPECT_EQ(trim_at_nul(L"abc"), L"");
  EXPECT_EQ(trim_at_nul(std::wstring(L"C:\\a.jpg\0\0\0", 11)), L"C:\\a.jpg");
}

}  // namespace
}  // namespace quadrell
