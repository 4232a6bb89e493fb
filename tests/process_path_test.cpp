#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <sstream>

#include "engine/name_pattern.h"
#include "engine/process_path.h"
#include "engine/read_ahead.h"
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
  RunCounts process(const std::filesystem::path& path, const RunOptions& options = {}) {
    RunCounts counts;
    process_paths(window_, {testing::native(path)}, counts, options);
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
  EXPECT_EQ(window_.next_files, 2);
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
  EXPECT_EQ(window_.next_files, 1) << "a candidate is taken up before its scan";
}

TEST_F(ProcessPath, MissingOrHiddenPathGetsNothing) {
  testing::make_hidden(file(".hidden.jpg", jfif_file(1, 2)));
  EXPECT_EQ(process(dir_ / "missing.jpg").total, 0);
  EXPECT_EQ(process(dir_ / ".hidden.jpg").total, 0);
  EXPECT_EQ(window_.text, "");
  EXPECT_EQ(window_.next_files, 0);
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

// The record hears what each patch is to write, before it writes, and
// what it wrote; a dry run asks nothing.
TEST_F(ProcessPath, EachChangeIsAskedForAndReported) {
  file("a.jpg", jfif_file(1, 2));
  file("b.jpg", jfif_file(2, 2));
  file("c.jpg", jfif_file(0x1234, 0x0102));
  RunOptions recorded;
  recorded.record = &window_;
  RunOptions dry = recorded;
  dry.mode = WriteMode::kDryRun;
  process(dir_.path(), dry);
  EXPECT_TRUE(window_.changes_asked.empty());
  process(dir_.path(), recorded);
  ASSERT_EQ(window_.changes_asked.size(), 2u);
  const auto& x_smaller = window_.changes_asked[0];
  EXPECT_EQ(x_smaller.position, 15);
  EXPECT_EQ(x_smaller.before, (PatchValue{0, 1}));
  EXPECT_EQ(x_smaller.after, (PatchValue{0, 2}));
  const auto& y_smaller = window_.changes_asked[1];
  EXPECT_EQ(y_smaller.position, 17);
  EXPECT_EQ(y_smaller.before, (PatchValue{0x01, 0x02}));
  EXPECT_EQ(y_smaller.after, (PatchValue{0x12, 0x34}));
  EXPECT_EQ(fs::InputFile::open(testing::file_at(dir_ / "c.jpg"))->identity(), y_smaller.identity);
  ASSERT_EQ(window_.changes_made.size(), 2u);
  EXPECT_EQ(window_.changes_made[1].before, y_smaller.before);
}

// A change refused leaves the file as it is and ends the run, with no line
// for the file: no other file is changed.
TEST_F(ProcessPath, RefusedChangeEndsTheRun) {
  file("a.jpg", jfif_file(1, 1));
  file("b.jpg", jfif_file(1, 2));
  file("c.jpg", jfif_file(1, 2));
  window_.refuse_changes = true;
  RunOptions recorded;
  recorded.record = &window_;
  const RunCounts outcome = process(dir_.path(), recorded);
  EXPECT_EQ(outcome.total, 1);
  EXPECT_EQ(window_.text, "a.jpg " + dots(54) + " OK");
  EXPECT_EQ(window_.changes_asked.size(), 1u);
  EXPECT_EQ(testing::read_bytes(dir_ / "b.jpg"), jfif_file(1, 2));
  EXPECT_EQ(testing::read_bytes(dir_ / "c.jpg"), jfif_file(1, 2));
}

TEST_F(ProcessPath, KeepDatesReachesThePatch) {
  const auto path = file("a.jpg", jfif_file(1, 2));
  testing::write_stamps(path, testing::old_stamps());
  RunOptions keep_dates;
  keep_dates.keep_dates = true;
  process(path, keep_dates);
  EXPECT_EQ(testing::last_write_of(testing::read_stamps(path)),
            testing::last_write_of(testing::old_stamps()));
  testing::write_bytes(path, jfif_file(1, 2));
  testing::write_stamps(path, testing::old_stamps());
  process(path);
  EXPECT_NE(testing::last_write_of(testing::read_stamps(path)),
            testing::last_write_of(testing::old_stamps()));
}

TEST_F(ProcessPath, FileDeletedAfterTheListingIsAnAccessError) {
  file("a.jpg", jfif_file(1, 2));
  window_.on_next_file = [&] { std::filesystem::remove(dir_ / "a.jpg"); };
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
  const RunCounts outcome = process(path, {WriteMode::kDryRun});
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
  process_paths(window, {testing::native(read_only)}, counts);
  EXPECT_EQ(counts.error, 1);
  EXPECT_EQ(counts.update, 0) << "a failed patch is never a Change";
  // A dry run opens nothing for writing: it tells what a real run would do
  // where the file could be written.
  process_paths(window, {testing::native(read_only)}, counts, {WriteMode::kDryRun});
  EXPECT_EQ(counts.update, 1);
  EXPECT_EQ(testing::read_bytes(read_only), jfif_file(1, 2));
#ifndef _WIN32
  const auto unreadable = dir / "unreadable.jpg";
  testing::write_bytes(unreadable, jfif_file(1, 2));
  testing::make_unreadable(unreadable);
  process_paths(window, {testing::native(unreadable)}, counts);

  const auto unlistable = dir / "unlistable";
  std::filesystem::create_directory(unlistable);
  testing::write_bytes(unlistable / "inside.jpg", jfif_file(1, 2));
  testing::make_unreadable(unlistable);
  process_paths(window, {testing::native(unlistable)}, counts);
  EXPECT_EQ(counts.error, 3);
  EXPECT_EQ(counts.total, 4);
  const std::string access_error = " -1 -1 Access error!";
  EXPECT_EQ(window.text, "read-only.jpg " + dots(38) + access_error + "\r\nread-only.jpg " +
                             dots(38) + " 15 16 Change\r\nunreadable.jpg " + dots(36) +
                             access_error + "\r\nunlistable " + dots(44) + access_error);
#endif
}

TEST(DropRun, SummaryAfterTheLines) {
  testing::TempDir dir;
  testing::write_bytes(dir / "a.jpg", jfif_file(1, 1));
  testing::write_bytes(dir / "b.jpg", jfif_file(1, 2));
  testing::write_bytes(dir / "c.jpg", jfif_file(2, 1));
  testing::FakeWindow window;
  const RunCounts counts =
      drop_run(window, {testing::native(dir / "c.jpg"), testing::native(dir / "a.jpg"),
                        testing::native(dir / "missing.jpg"), testing::native(dir / "b.jpg")});
  EXPECT_EQ(counts.total, 3);
  EXPECT_EQ(window.text, "c.jpg " + dots(54) + " 17 18 Change\r\na.jpg " + dots(54) +
                             " OK\r\nb.jpg " + dots(54) + " 15 16 Change\r\n\r\n" +
                             "Jpeg files =>  total: 3  fair: 1  update: 2  error: 0");
}

TEST(DropRun, WithoutJpegFilesTheLogIsAnEmptyLineAndTheSummary) {
  testing::TempDir dir;
  testing::write_bytes(dir / "x.jpg", testing::Bytes(10, 'x'));
  testing::write_bytes(dir / "y.txt", jfif_file(1, 2));
  testing::FakeWindow window;
  drop_run(window, {testing::native(dir.path()), testing::native(dir / "y.txt")});
  EXPECT_EQ(window.text, "\r\nJpeg files =>  total: 0  fair: 0  update: 0  error: 0");
}

// A run that reads ahead leaves exactly the log and the bytes of a run one
// file at a time, and tries no more patches, whatever the workers' timing: a
// file the run patched is scanned again when it is reached once more (under
// the same or another name), and a file changed after a worker scanned it is
// decided on a scan made then.
struct ReadAheadCase {
  const char* name;
  // Makes the files in dir; returns the paths of the drop.
  std::function<std::vector<std::filesystem::path>(const std::filesystem::path& dir)> make;
  bool changed_after_scan = false;  // c.jpg gets other densities after its scan
};

struct RunOutcome {
  std::string log;
  std::vector<std::pair<std::string, testing::Bytes>> files;
  int changes_asked = 0;
  bool operator==(const RunOutcome&) const = default;
};

void PrintTo(const RunOutcome& outcome, std::ostream* out) {
  *out << outcome.log << "\nchanges asked: " << outcome.changes_asked;
  for (const auto& [name, bytes] : outcome.files) *out << "\n" << name << ": " << bytes.size();
}

// Calls back as the run takes the third file from the read-ahead: after its
// scan, before its patch.
class OnTaken final : public ReadAheadTrace {
 public:
  explicit OnTaken(std::function<void()> call) : call_(std::move(call)) {}
  void at(Event event, std::uint64_t file, int) override {
    if (event == Event::kTaken && file == 2) call_();
  }

 private:
  std::function<void()> call_;
};

// Which scans count as having waited on the storage: every one (workers scan
// from the second file on), none (the run scans each file), or those of the
// files whose names hold "slow" (the storage turns slow and fast).
enum class Storage { kSlow, kFast, kTurning };

RunOutcome run_with_read_ahead(const ReadAheadCase& c, int read_ahead, bool stop,
                               Storage storage = Storage::kSlow) {
  testing::TempDir dir;
  std::vector<NativePath> paths;
  for (const auto& path : c.make(dir.path())) paths.push_back(testing::native(path));
  testing::FakeWindow window;
  window.stop_after_first_line = stop;
  const auto change = [&] { testing::write_bytes(dir / "c.jpg", jfif_file(3, 5)); };
  OnTaken after_the_scan(change);
  RunOptions options;
  options.record = &window;
  options.read_ahead = read_ahead;
  ReadAheadSeam seam;
  seam.waited = [storage](const QueuedFile& file) {
    return storage == Storage::kSlow ||
           (storage == Storage::kTurning &&
            file.shown.find(NativePath{'s', 'l', 'o', 'w'}) != NativePath::npos);
  };
  // One file at a time, the change comes before the third file's scan;
  // reading ahead, between a worker's scan and the patch.
  if (c.changed_after_scan && read_ahead == 1) {
    window.on_next_file = [&] {
      if (window.next_files == 3) change();
    };
  }
  if (c.changed_after_scan && read_ahead != 1) seam.trace = &after_the_scan;
  RunCounts counts;
  process_paths(window, paths, counts, options, seam);
  window.run_ended(counts);

  RunOutcome outcome{window.text, {}, 0};
  outcome.changes_asked = static_cast<int>(window.changes_asked.size());
  for (const auto& entry : std::filesystem::recursive_directory_iterator(dir.path())) {
    if (!entry.is_regular_file()) continue;
    outcome.files.emplace_back(entry.path().lexically_relative(dir.path()).generic_string(),
                               testing::read_bytes(entry.path()));
  }
  std::sort(outcome.files.begin(), outcome.files.end());
  return outcome;
}

// Twenty files, a.jpg first, c.jpg among them: enough for every worker.
std::filesystem::path folder_of_files(const std::filesystem::path& dir) {
  const auto folder = dir / "folder";
  std::filesystem::create_directory(folder);
  for (char name = 'a'; name < 'a' + 20; ++name) {
    testing::write_bytes(folder / (std::string(1, name) + ".jpg"), jfif_file(name % 3, 2));
  }
  return folder;
}

const ReadAheadCase kReadAheadCases[] = {
    {"NamedTwice",
     [](const auto& dir) {
       testing::write_bytes(dir / "a.jpg", jfif_file(1, 2));
       return std::vector{dir / "a.jpg", dir / "a.jpg"};
     }},
    {"FolderThenAFileInIt",
     [](const auto& dir) {
       const auto folder = folder_of_files(dir);
       return std::vector{folder, folder / "c.jpg", folder / "t.jpg"};
     }},
    {"FolderTwice",
     [](const auto& dir) {
       const auto folder = folder_of_files(dir);
       return std::vector{folder, folder};
     }},
    {"HardLinkLaterInTheFolder",
     [](const auto& dir) {
       const auto folder = folder_of_files(dir);
       std::filesystem::create_hard_link(folder / "b.jpg", folder / "z.jpg");
       return std::vector{folder};
     }},
    // Runs of 40 files on storage that turns slow and fast, a file patched
    // under one name reached again under another in each.
    {"ManyFiles",
     [](const auto& dir) {
       const auto name = [&](int i) {
         return dir / ((i / 40 % 2 ? "slow" : "fast") + std::to_string(i) + ".jpg");
       };
       for (int i = 0; i < 160; ++i) testing::write_bytes(name(i), jfif_file(i % 3, 2));
       for (int i = 0; i < 160; i += 20) {
         std::filesystem::create_hard_link(name(i), dir / ("link" + std::to_string(i) + ".jpg"));
       }
       return std::vector{dir};
     }},
    {"ChangedAfterTheScan",
     [](const auto& dir) {
       for (const char* name : {"a.jpg", "b.jpg", "c.jpg"}) {
         testing::write_bytes(dir / name, jfif_file(1, 2));
       }
       return std::vector{dir / "a.jpg", dir / "b.jpg", dir / "c.jpg"};
     },
     true},
};

TEST(ReadAhead, SameLogAndBytesAsOneFileAtATime) {
  for (const ReadAheadCase& c : kReadAheadCases) {
    const RunOutcome one_at_a_time = run_with_read_ahead(c, 1, false);
    for (const int read_ahead : {2, 16, kDefaultJobs}) {
      for (const Storage storage : {Storage::kSlow, Storage::kFast, Storage::kTurning}) {
        // Only a worker's scan is certain to come before the change.
        if (c.changed_after_scan && storage != Storage::kSlow) continue;
        EXPECT_EQ(run_with_read_ahead(c, read_ahead, false, storage), one_at_a_time)
            << c.name << ", " << read_ahead << " ahead, storage " << static_cast<int>(storage);
      }
    }
  }
  // Named twice: changed, then fair.
  const RunOutcome twice = run_with_read_ahead(kReadAheadCases[0], kDefaultJobs, false);
  EXPECT_EQ(lines_of(twice.log)[1], "a.jpg " + dots(54) + " OK");
}

// Once the run stops, no file is touched, however far the workers had read.
TEST(ReadAhead, NoFileChangedAfterTheStop) {
  const ReadAheadCase folder{"Folder",
                             [](const auto& dir) { return std::vector{folder_of_files(dir)}; }};
  const RunOutcome stopped = run_with_read_ahead(folder, kDefaultJobs, true);
  EXPECT_EQ(stopped, run_with_read_ahead(folder, 1, true));
  EXPECT_EQ(lines_of(stopped.log).size(), 3u) << "one line, the empty line, the summary";
}

// Names against shell patterns, as rsync and fd match them; on Windows
// without regard to ASCII case, as its names.
TEST(NamePattern, MatchesAsShellsDo) {
#ifdef _WIN32
  const bool folds = true;
#else
  const bool folds = false;
#endif
  const struct {
    const char* pattern;
    const char* name;
    bool matches;
  } cases[] = {
      {"@eaDir", "@eaDir", true},
      {"@eaDir", "@eaDir2", false},
      {"#recycle", "#recycle", true},
      {"*.jfif", "a.jfif", true},
      {"*.jfif", ".jfif", true},
      {"*.jfif", "a.jfif.bak", false},
      {"*.jfif", "a.JFIF", folds},
      {"?.jpg", "写.jpg", true},
      {"?.jpg", "ab.jpg", false},
      {"a*b*c", "aXbYbZc", true},
      {"a*b*c", "aXbYcZ", false},
      {"*", "", true},
      {"[a-c]*", "b1", true},
      {"[!a-c]*", "b1", false},
      {"[^a-c]*", "d1", true},
      {"[]x]", "]", true},
      {"[x", "[x", true},
      {"\\*", "*", true},
      {"\\*", "a", false},
      {"thumb?[0-9].jpg", "thumb_7.jpg", true},
#ifndef _WIN32
      {"a?b", "a\377b", true},  // a byte that is no character is one
#endif
  };
  for (const auto& c : cases) {
    const NamePattern pattern(native_path_from_utf8(c.pattern));
    EXPECT_EQ(pattern.matches(native_path_from_utf8(c.name)), c.matches)
        << c.pattern << " against " << c.name;
  }
}

}  // namespace
}  // namespace quadrell
