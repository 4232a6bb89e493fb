#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <sstream>

#include "cli/json_lines.h"
#include "cli/options.h"
#include "cli/progress_line.h"
#include "cli/run_cli.h"
#include "cli/stream_log.h"
#include "engine/log_line.h"
#include "engine/log_name.h"
#include "platform/fs.h"
#include "tests/front_end_contract.h"
#include "tests/test_files.h"
#include "tests/test_platform.h"

#ifdef _WIN32
#include <windows.h>

#include "platform/win_path.h"
#endif

namespace quadrell {
namespace {

using testing::dots;

using testing::jfif_file;

// Standard output and error as strings; from the write numbered fail_from
// on, standard output is full.
class CapturedOutput final : public CliOutput {
 public:
  SystemError write_out(std::string_view text) override {
    if (++writes >= fail_from) return 28;  // ENOSPC on Linux
    out += text;
    return 0;
  }
  void write_error(std::string_view text) override { error += text; }
  bool out_is_terminal() const override { return terminal; }
  int error_terminal_columns() const override { return error_columns; }
  std::string out;
  std::string error;
  int writes = 0;
  int fail_from = 1 << 30;
  bool terminal = false;  // a file's lines are gathered, a terminal's are not
  int error_columns = 0;  // standard error is a terminal this wide
};

#ifdef _WIN32
const std::string kSeparator = "\\";
#else
const std::string kSeparator = "/";
#endif

const std::string kZeroSummary = "Jpeg files =>  total: 0  fair: 0  update: 0  error: 0";

// Runs the command line with the current folder set to folder, as a user
// types paths relative to where they are.
int run_in(const std::filesystem::path& folder, const std::vector<std::string>& arguments,
           CliOutput& output) {
  std::vector<NativePath> native;
  for (const std::string& argument : arguments) native.push_back(native_path_from_utf8(argument));
  const auto previous = std::filesystem::current_path();
  std::filesystem::current_path(folder);
  const int status = run_cli(native, output);
  std::filesystem::current_path(previous);
  return status;
}

class Cli : public ::testing::Test {
 protected:
  // In the test's folder: paths relative to it show as typed.
  int run(const std::vector<std::string>& arguments) {
    return run_in(dir_.path(), arguments, output_);
  }
  std::string path(const char* name) const {
    return utf8_from_native(testing::native(dir_ / name));
  }

  testing::TempDir dir_;
  CapturedOutput output_;
};

// On a terminal each line is written when its file is done; into a file or
// a pipe the lines go out together.
TEST_F(Cli, PrintsTheLogTextWithLineEnds) {
  for (const auto& [terminal, writes] : {std::pair{true, 3}, std::pair{false, 1}}) {
    testing::write_bytes(dir_ / "a.jpg", jfif_file(1, 2));
    testing::write_bytes(dir_ / "b.jpg", jfif_file(2, 2));
    output_ = CapturedOutput();
    output_.terminal = terminal;
    EXPECT_EQ(run({"a.jpg", "b.jpg"}), kExitSuccess);
    EXPECT_EQ(output_.out, "a.jpg " + dots(54) + " 15 16 Change\nb.jpg " + dots(54) +
                               " OK\n\nJpeg files =>  total: 2  fair: 1  update: 1  error: 0\n");
    EXPECT_EQ(output_.error, "");
    EXPECT_EQ(output_.writes, writes) << "terminal: " << terminal;
    EXPECT_EQ(testing::read_bytes(dir_ / "a.jpg"), jfif_file(2, 2));
  }
}

TEST_F(Cli, AccessErrorFailsWithTheSystemsReason) {
  testing::write_bytes(dir_ / "a.jpg", jfif_file(1, 2));
  testing::ExclusiveLock lock(dir_ / "a.jpg");
  if (!lock.held()) GTEST_SKIP() << "no exclusive opening on this platform";
  EXPECT_EQ(run({"a.jpg"}), kExitFileError);
  const std::string prefix = "quadrell: a.jpg: ";
  ASSERT_EQ(output_.error.rfind(prefix, 0), 0u) << output_.error;
  EXPECT_GT(output_.error.size(), prefix.size() + 1) << "a reason follows";
  EXPECT_EQ(output_.error.find('\n'), output_.error.size() - 1) << "one line";
}

// No name can forge a line, and none can act on a terminal: there every
// kind of control shows as "?" (on the log's lines, on standard error and
// on the status line, each by whether its own stream is a terminal), while
// a file or a pipe gets the name as its bytes, a line break aside. Windows
// names already show C0 controls, DEL and line breaks as U+FFFD, and cannot
// hold them in a file's name.
TEST_F(Cli, NamesOnATerminal) {
#ifdef _WIN32
  const std::string mark = "\xEF\xBF\xBD";
  const bool control_names = false;
#else
  const std::string mark = "?";
  const bool control_names = true;
#endif
  // ESC and DEL into a file, and on a terminal.
  const std::string esc = control_names ? "\033" : mark, del = control_names ? "\177" : mark;
  const std::string shown = control_names ? "?" : mark;
  const struct {
    const char* kind;
    std::string name;  // three UTF-16 units, but the Japanese one
    std::string into_file;
    std::string on_terminal;
    bool file_can_exist;
  } cases[] = {
      {"line feed", "a\nb", "a" + mark + "b", "a" + mark + "b", control_names},
      {"C0 (ESC)", "a\033b", "a" + esc + "b", "a" + shown + "b", control_names},
      {"DEL", "a\177b", "a" + del + "b", "a" + shown + "b", control_names},
      {"C1 (CSI)", "a\302\233b", "a\302\233b", "a?b", true},
#ifndef _WIN32
      {"no UTF-8 character", "a\377b", "a\377b", "a?b", true},
#endif
      {"printable", "写真", "写真", "写真", true},
  };
  for (const auto& c : cases) {
    const int units = c.name == "写真" ? 2 : 3;
    const std::string line_end = " " + dots(64 - 2 * (units + 4)) + " 15 16 Change\n";
    if (c.file_can_exist) testing::write_bytes(dir_ / (c.name + ".jpg"), jfif_file(1, 2));
    for (const auto& [out_terminal, error_terminal] :
         {std::pair{false, false}, std::pair{true, false}, std::pair{false, true}}) {
      output_ = CapturedOutput();
      output_.terminal = out_terminal;
      output_.error_columns = error_terminal ? 80 : 0;
      std::vector<std::string> arguments = {"-n", "--no-progress", c.name + "-missing.jpg"};
      if (c.file_can_exist) arguments.push_back(c.name + ".jpg");
      run(arguments);
      const std::string& out_name = out_terminal ? c.on_terminal : c.into_file;
      const std::string& error_name = error_terminal ? c.on_terminal : c.into_file;
      if (c.file_can_exist) {
        EXPECT_EQ(output_.out.rfind(out_name + ".jpg" + line_end, 0), 0u)
            << c.kind << ": " << output_.out;
      }
      EXPECT_EQ(output_.error.rfind("quadrell: " + error_name + "-missing.jpg: ", 0), 0u)
          << c.kind << ": " << output_.error;
      EXPECT_EQ(std::count(output_.error.begin(), output_.error.end(), '\n'), 2) << c.kind;
    }
    // The status line: on a terminal, or forced into a file (no columns).
    for (const int columns : {200, 0}) {
      CapturedOutput status;
      std::chrono::steady_clock::time_point now{};
      ProgressLine progress(status, columns, false, [&] { return now; });
      now += std::chrono::seconds(1);
      progress.update(RunCounts{}, native_path_from_utf8(c.name));
      EXPECT_TRUE(
          status.error.ends_with(", reading " + (columns ? c.on_terminal : c.into_file) + "\r"))
          << c.kind << ": " << status.error;
    }
  }
}

// The log cannot be written: the run stops at the first write that fails,
// and what was lost goes to standard error. On a terminal that is the line
// of the file just changed, before another file is touched; into a file, the
// lines gathered since the last write, each file's among them.
TEST_F(Cli, LogThatCannotBeWrittenStopsTheRun) {
  const std::string a_line = "a.jpg " + dots(54) + " 15 16 Change\n";
  const std::string b_line = "b.jpg " + dots(54) + " 15 16 Change\n";
  const struct {
    bool terminal;
    bool b_patched;
    std::string lost;
  } cases[] = {
      {true, false, a_line + "\nJpeg files =>  total: 1  fair: 0  update: 1  error: 0\n"},
      {false, true, a_line + b_line + "\nJpeg files =>  total: 2  fair: 0  update: 2  error: 0\n"},
  };
  for (const auto& c : cases) {
    testing::write_bytes(dir_ / "a.jpg", jfif_file(1, 2));
    testing::write_bytes(dir_ / "b.jpg", jfif_file(1, 2));
    output_ = CapturedOutput();
    output_.terminal = c.terminal;
    output_.fail_from = 1;
    EXPECT_EQ(run({"a.jpg", "b.jpg"}), kExitFileError);
    EXPECT_EQ(testing::read_bytes(dir_ / "a.jpg"), jfif_file(2, 2));
    EXPECT_EQ(testing::read_bytes(dir_ / "b.jpg"), jfif_file(c.b_patched ? 2 : 1, 2));
    EXPECT_TRUE(output_.error.ends_with("could not be written:\n" + c.lost)) << output_.error;
  }
}

// Subfolders with -r, their files shown as the folder typed joined with
// their path in it; the leader counts the whole of it. Hidden folders and
// links to folders are not entered.
TEST_F(Cli, RecursiveDryRun) {
  std::filesystem::create_directories(dir_ / "top/2024/12");
  std::filesystem::create_directories(dir_ / "top/写真");
  std::filesystem::create_directories(dir_ / "top/.hidden");
  testing::make_hidden(dir_ / "top/.hidden");
  testing::write_bytes(dir_ / "top/2024/12/a.jpg", jfif_file(1, 2));
  testing::write_bytes(dir_ / "top/b.jpg", jfif_file(2, 2));
  testing::write_bytes(dir_ / "top/写真/c.jpg", jfif_file(3, 3));
  testing::write_bytes(dir_ / "top/.hidden/d.jpg", jfif_file(3, 3));
  std::error_code no_links;
  std::filesystem::create_directory_symlink(dir_ / "top/2024", dir_ / "top/link", no_links);
  for (const char* options : {"-rn", "-nr"}) {
    output_ = CapturedOutput();
    EXPECT_EQ(run({options, "top"}), kExitSuccess);
    const std::string summary = "Jpeg files =>  total: 3  fair: 2  update: 1  error: 0";
    const std::string top = "top" + kSeparator;
    std::vector<std::string> lines = {
        top + "b.jpg " + dots(46) + " OK",
        top + "2024" + kSeparator + "12" + kSeparator + "a.jpg " + dots(30) + " 15 16 Change",
        top + "写真" + kSeparator + "c.jpg " + dots(40) + " OK"};
#ifdef _WIN32
    // The listing's own order, which Wine does not sort: only the first
    // line, the files of the dropped folder, is known.
    std::vector<std::string> got;
    std::string line;
    for (std::istringstream in(output_.out); std::getline(in, line);) got.push_back(line);
    ASSERT_EQ(got.size(), 5u) << output_.out;
    EXPECT_EQ(got[3], "");
    EXPECT_EQ(got[4], summary);
    got.resize(3);
    std::sort(got.begin() + 1, got.end());
    std::sort(lines.begin() + 1, lines.end());
    EXPECT_EQ(got, lines);
#else
    EXPECT_EQ(output_.out, lines[0] + "\n" + lines[1] + "\n" + lines[2] + "\n\n" + summary + "\n");
#endif
    EXPECT_EQ(output_.error, "quadrell: dry run: no file was changed\n");
    EXPECT_EQ(testing::read_bytes(dir_ / "top/2024/12/a.jpg"), jfif_file(1, 2));
  }
}

// The system's reason for each failure, one line each, and the run goes on.
TEST(UnprivilegedCli, ReasonsOnStandardError) {
  if (testing::permissions_are_ignored()) GTEST_SKIP() << "runs again unprivileged";
#ifdef _WIN32
  GTEST_SKIP() << "Windows has no permission bits to take away here";
#endif
  testing::TempDir dir;
  const auto top = dir / "top";
  std::filesystem::create_directories(top / "locked");
  testing::write_bytes(top / "locked/inside.jpg", jfif_file(1, 2));
  testing::write_bytes(top / "read-only.jpg", jfif_file(1, 2));
  testing::write_bytes(top / "unreadable.jpg", jfif_file(1, 2));
  testing::make_read_only(top / "read-only.jpg");
  testing::make_unreadable(top / "unreadable.jpg");
  testing::make_unreadable(top / "locked");
  testing::write_bytes(top / "locked-out.jpg", jfif_file(1, 2));
  CapturedOutput output;
  EXPECT_EQ(run_in(dir.path(), {"-r", "top", "top/locked/inside.jpg"}, output), kExitFileError);
  const std::string access_error = " -1 -1 Access error!\n";
  EXPECT_EQ(output.out, "top/locked-out.jpg " + dots(28) + " 15 16 Change\n" +
                            "top/read-only.jpg " + dots(30) + access_error + "top/unreadable.jpg " +
                            dots(28) + access_error + "top/locked " + dots(44) + access_error +
                            "\nJpeg files =>  total: 4  fair: 0  update: 1  error: 3\n");
  EXPECT_EQ(output.error, std::string("quadrell: top/read-only.jpg: Permission denied\n") +
                              "quadrell: top/unreadable.jpg: Permission denied\n" +
                              "quadrell: top/locked: Permission denied\n" +
                              "quadrell: top/locked/inside.jpg: Permission denied\n");
  // In JSON, the reason told goes with its file's object.
  CapturedOutput json;
  EXPECT_EQ(run_in(dir.path(), {"--json", "top/unreadable.jpg"}, json), kExitFileError);
  EXPECT_EQ(json.out.substr(0, json.out.find('\n')),
            R"({"type":"file","path":"top/unreadable.jpg","outcome":"error",)"
            R"("reason":"Permission denied"})");
}

TEST_F(Cli, DryRunChangesNoByteAndNoTime) {
  testing::write_bytes(dir_ / "a.jpg", jfif_file(1, 2));
  testing::write_stamps(dir_ / "a.jpg", testing::old_stamps());
  const testing::Stamps before = testing::stamps_kept_by_reading(dir_ / "a.jpg");
  EXPECT_EQ(run({"--dry-run", "."}), kExitSuccess);
  EXPECT_EQ(output_.out, "a.jpg " + dots(54) +
                             " 15 16 Change\n\nJpeg files =>  total: 1  fair: 0  update: 1  "
                             "error: 0\n");
  EXPECT_EQ(testing::stamps_kept_by_reading(dir_ / "a.jpg"), before);
  EXPECT_EQ(testing::read_bytes(dir_ / "a.jpg"), jfif_file(1, 2));
}

TEST_F(Cli, KeepDates) {
  for (const char* option : {"--keep-dates", "-p"}) {
    testing::write_bytes(dir_ / "a.jpg", jfif_file(1, 2));
    testing::write_stamps(dir_ / "a.jpg", testing::old_stamps());
    EXPECT_EQ(run({option, path("a.jpg")}), kExitSuccess);
    EXPECT_EQ(testing::last_write_of(testing::read_stamps(dir_ / "a.jpg")),
              testing::last_write_of(testing::old_stamps()))
        << option;
  }
}

std::string summary(int total, int fair, int update, int error) {
  return "Jpeg files =>  total: " + std::to_string(total) + "  fair: " + std::to_string(fair) +
         "  update: " + std::to_string(update) + "  error: " + std::to_string(error) + "\n";
}

struct TypedCase {
  std::vector<std::string> arguments;
  const char* folder;  // the current folder, in the test's folder
  std::string out;
  std::string error;
  int status;
};

// Paths as typed: a file shows as typed, a folder's files as the folder
// typed joined with their names ("." adds nothing); hidden names typed are
// processed; every path that names nothing gets the system's reason; a file
// named that is not a JPEG file is passed over with a notice.
TEST(CliPaths, ShownAsTypedWithAReasonForEach) {
  const std::string change = " 15 16 Change\n";
  const std::string fair = " OK\n";
  const std::string not_found = fs::error_text(2);  // ENOENT, ERROR_FILE_NOT_FOUND
  const std::string& sep = kSeparator;
  std::vector<TypedCase> cases = {
      {{"x/a.jpg", "y/a.jpg"},
       ".",
       "x/a.jpg " + dots(50) + change + "y/a.jpg " + dots(50) + fair + "\n" + summary(2, 1, 1, 0),
       "",
       kExitSuccess},
      {{"x"},
       ".",
       "x" + sep + "a.jpg " + dots(50) + change + "\n" + summary(1, 0, 1, 0),
       "",
       kExitSuccess},
      {{"-r", "x"},
       ".",
       "x" + sep + "a.jpg " + dots(50) + change + "x" + sep + "sub" + sep + "b.jpg " + dots(42) +
           fair + "\n" + summary(2, 1, 1, 0),
       "",
       kExitSuccess},
      {{"x/"}, ".", "x/a.jpg " + dots(50) + change + "\n" + summary(1, 0, 1, 0), "", kExitSuccess},
      {{"."}, "x", "a.jpg " + dots(54) + change + "\n" + summary(1, 0, 1, 0), "", kExitSuccess},
      {{".h.jpg"},
       ".",
       ".h.jpg " + dots(52) + change + "\n" + summary(1, 0, 1, 0),
       "",
       kExitSuccess},
      {{".hidden"},
       ".",
       ".hidden" + sep + "d.jpg " + dots(38) + fair + "\n" + summary(1, 1, 0, 0),
       "",
       kExitSuccess},
      {{"."}, ".hidden", "d.jpg " + dots(54) + fair + "\n" + summary(1, 1, 0, 0), "", kExitSuccess},
      {{"missing.jpg", "c.jpg"},
       ".",
       "c.jpg " + dots(54) + fair + "\n" + summary(1, 1, 0, 0),
       "quadrell: missing.jpg: " + not_found + "\n",
       kExitFileError},
      {{"-q", "x/a.jpg", "y/a.jpg"},
       ".",
       "x/a.jpg " + dots(50) + change + "\n" + summary(2, 1, 1, 0),
       "",
       kExitSuccess},
      {{"note.txt", "fake.jpg", "c.jpg"},
       ".",
       "c.jpg " + dots(54) + fair + "\n" + summary(1, 1, 0, 0),
       "quadrell: note.txt: only names ending in .jpg or .jpeg are processed, passed over\n"
       "quadrell: fake.jpg: not a JPEG file, passed over\n",
       kExitSuccess},
#ifndef _WIN32
      {{"c.jpg/"},
       ".",
       "\n" + summary(0, 0, 0, 0),
       "quadrell: c.jpg/: Not a directory\n",
       kExitFileError},
      {{"loop"},
       ".",
       "\n" + summary(0, 0, 0, 0),
       "quadrell: loop: Too many levels of symbolic links\n",
       kExitFileError},
      {{"x/a.jpg/.."},
       ".",
       "\n" + summary(0, 0, 0, 0),
       "quadrell: x/a.jpg/..: Not a directory\n",
       kExitFileError},
#endif
  };
  for (const TypedCase& c : cases) {
    testing::TempDir dir;
    std::filesystem::create_directories(dir / "x/sub");
    std::filesystem::create_directories(dir / "y");
    std::filesystem::create_directories(dir / ".hidden");
    testing::make_hidden(dir / ".hidden");
    testing::write_bytes(dir / "x/a.jpg", jfif_file(1, 2));
    testing::write_bytes(dir / "x/sub/b.jpg", jfif_file(2, 2));
    testing::write_bytes(dir / "y/a.jpg", jfif_file(2, 2));
    testing::write_bytes(dir / "c.jpg", jfif_file(2, 2));
    testing::write_bytes(dir / ".h.jpg", jfif_file(1, 2));
    testing::make_hidden(dir / ".h.jpg");
    testing::write_bytes(dir / ".hidden/d.jpg", jfif_file(3, 3));
    testing::write_bytes(dir / "note.txt", {'n', 'o'});
    testing::write_bytes(dir / "fake.jpg", {'n', 'o'});
    std::error_code no_links;
    std::filesystem::create_symlink("loop", dir / "loop", no_links);
    CapturedOutput output;
    EXPECT_EQ(run_in(dir / c.folder, c.arguments, output), c.status) << c.arguments[0];
    EXPECT_EQ(output.out, c.out) << c.arguments[0];
    EXPECT_EQ(output.error, c.error) << c.arguments[0];
  }
}

#ifdef _WIN32
// The console program expands * and ? in a PATH's last component itself, as
// cmd leaves it to: matches in name order without regard to case, hidden
// ones and 8.3 short names left out, each shown as the folder typed joined
// with its name; a pattern with no match names nothing.
TEST_F(Cli, WildcardsOnWindows) {
  std::filesystem::create_directories(dir_ / "w/sub.jpg");
  for (const char* name : {"a.jpg", "B.JPG", "hidden.jpg", "with space.jpg", "写真.jpg", "c.jpeg",
                           "photo.jpgx", "sub.jpg/x.jpg"}) {
    testing::write_bytes(dir_ / ("w/" + std::string(name)), jfif_file(2, 2));
  }
  testing::make_hidden(dir_ / "w/hidden.jpg");
  std::string deep = "w";
  while (deep.size() < 270) deep += "\\folder-with-a-long-name";
  std::filesystem::create_directories(
      std::filesystem::path(extended_path(testing::native(dir_ / deep))));
  testing::write_bytes(
      std::filesystem::path(extended_path(testing::native(dir_ / (deep + "\\d.jpg")))),
      jfif_file(2, 2));
  const std::string not_found = fs::error_text(ERROR_FILE_NOT_FOUND);
  const struct {
    std::vector<std::string> arguments;
    std::vector<std::string> shown;  // the names of the log's lines
    std::string error;
  } cases[] = {
      {{"w\\*.jpg"},
       {"w\\a.jpg", "w\\B.JPG", "w\\sub.jpg\\x.jpg", "w\\with space.jpg", "w\\写真.jpg"},
       ""},
      {{"w/?.JPG", "--", "w\\*.jpeg"}, {"w/a.jpg", "w/B.JPG", "w\\c.jpeg"}, ""},
      {{"w\\*.png", "w\\a.jpg"}, {"w\\a.jpg"}, "quadrell: w\\*.png: " + not_found + "\n"},
      {{"*\\a.jpg"}, {}, "quadrell: *\\a.jpg: " + fs::error_text(ERROR_INVALID_NAME) + "\n"},
      {{deep + "\\*.jpg"}, {deep + "\\d.jpg"}, ""},
  };
  for (const auto& c : cases) {
    output_ = CapturedOutput();
    run(c.arguments);
    std::vector<std::string> shown;
    std::string line;
    for (std::istringstream in(output_.out); std::getline(in, line) && !line.empty();) {
      shown.push_back(line.substr(0, line.find(" .")));
    }
    EXPECT_EQ(shown, c.shown) << c.arguments[0];
    EXPECT_EQ(output_.error, c.error) << c.arguments[0];
  }
}
#endif

struct UsageCase {
  std::vector<std::string> arguments;
  int status;
  const char* out_starts;
  const char* error_starts;
};

TEST_F(Cli, Usage) {
  const UsageCase cases[] = {
      {{}, kExitUsage, "", "quadrell: missing PATH\nusage: quadrell"},
      {{"--keep-dates"}, kExitUsage, "", "quadrell: missing PATH\nusage: quadrell"},
      {{"-rn"}, kExitUsage, "", "quadrell: missing PATH\nusage: quadrell"},
      {{"--frobnicate", "a.jpg"}, kExitUsage, "", "quadrell: unknown option --frobnicate"},
      {{"-rx", "a.jpg"}, kExitUsage, "", "quadrell: unknown option -x\nusage: quadrell"},
      {{"--version"},
       kExitSuccess,
       "quadrell 1.00\nCopyright (C) 2026 The Quadrell developers\n",
       ""},
      {{"-V"}, kExitSuccess, "quadrell 1.00\n", ""},
      {{"--help"},
       kExitSuccess,
       "usage: quadrell [-hnpqrV] [-j N] [--check] [--json] [--[no-]progress]\n"
       "                [--exclude PATTERN] [--include PATTERN] [--journal FILE] [--] PATH...\n"
       "       quadrell [-nq] [-j N] [--check] [--json] [--[no-]progress] [--journal FILE]\n"
       "                --undo FILE\n",
       ""},
      {{"-h"}, kExitSuccess, "usage: quadrell [-hnpqrV]", ""},
      {{"--undo", "j.txt", "a.jpg"}, kExitUsage, "", "quadrell: --undo takes no PATH\n"},
      {{"-p", "--undo", "j.txt"}, kExitUsage, "", "quadrell: --undo puts the dates back itself"},
      {{"--jo", "4", "a.jpg"},
       kExitUsage,
       "",
       "quadrell: option --jo is ambiguous: --jobs --journal"},
      {{"--journal=", "a.jpg"}, kExitUsage, "", "quadrell: --journal needs a FILE\n"},
      {{"--he"}, kExitSuccess, "usage: quadrell", ""},
      {{"--", "--help"}, kExitFileError, "\n", "quadrell: --help: "},
      {{"-rh", "a.jpg"}, kExitSuccess, "usage: quadrell", ""},
      {{"-j", "0", "a.jpg"}, kExitUsage, "", "quadrell: --jobs takes a number from 1 to 256"},
      {{"--jobs=4x", "a.jpg"}, kExitUsage, "", "quadrell: --jobs takes a number"},
      {{"a.jpg", "--jobs"}, kExitUsage, "", "quadrell: option --jobs needs a value"},
      {{"--dry-run=yes", "a.jpg"}, kExitUsage, "", "quadrell: option --dry-run takes no value"},
      {{"--=1", "a.jpg"}, kExitUsage, "", "quadrell: unknown option --=1\n"},
      {{"--exclude=", "a.jpg"}, kExitUsage, "", "quadrell: --exclude needs a PATTERN\n"},
      {{"--include", "a/*.jfif", "."},
       kExitUsage,
       "",
       "quadrell: --include matches names, not paths: 'a/*.jfif'\n"},
      {{"--exclude", "@eaDir", "--undo", "j.txt"},
       kExitUsage,
       "",
       "quadrell: --undo takes the files its journal names: no --exclude or --include\n"},
      {{"--j", "a.jpg"},
       kExitUsage,
       "",
       "quadrell: option --j is ambiguous: --jobs --journal --json"},
      // --check: 0 with nothing to change, 1 (not 3) when a PATH names nothing.
      {{"--check", "."}, kExitSuccess, "\nJpeg files =>  total: 0", "quadrell: dry run"},
      {{"--check", "missing.jpg"}, kExitFileError, "\n", "quadrell: missing.jpg: "},
  };
  for (const UsageCase& c : cases) {
    CapturedOutput output;
    EXPECT_EQ(run_in(dir_.path(), c.arguments, output), c.status);
    EXPECT_EQ(output.out.rfind(c.out_starts, 0), 0u) << output.out;
    EXPECT_EQ(output.error.rfind(c.error_starts, 0), 0u) << output.error;
    if (c.status == kExitUsage) {
      EXPECT_TRUE(output.error.ends_with("\nTry 'quadrell --help' for more information.\n"))
          << output.error;
    }
  }
}

// --check and --json in process: the status says whether a file would
// change, and the objects say what became of each file.
TEST_F(Cli, CheckAndJson) {
  const std::string a = "{\"type\":\"file\",\"path\":\"a.jpg\",\"outcome\":";
  const std::string dpi_1_2 = "\"unit\":\"dpi\",\"before\":{\"x\":1,\"y\":2}";
  const std::string summary = "{\"type\":\"summary\",\"total\":1,";
  const struct {
    std::vector<std::string> arguments;
    int status;
    std::string out;
    bool changed;
  } cases[] = {
      {{"--check", "--json", "a.jpg"},
       kExitWouldChange,
       a + "\"would_change\",\"position\":15," + dpi_1_2 + ",\"after\":{\"x\":2,\"y\":2}}\n" +
           summary + "\"fair\":0,\"update\":1,\"error\":0,\"dry_run\":true}\n",
       false},
      {{"--json", "-p", "a.jpg"},
       kExitSuccess,
       a + "\"changed\",\"position\":15," + dpi_1_2 +
           ",\"after\":{\"x\":2,\"y\":2},\"dates_kept\":true}\n" + summary +
           "\"fair\":0,\"update\":1,\"error\":0,\"dry_run\":false}\n",
       true},
      {{"--check", "-q", "a.jpg"}, kExitSuccess, "\nJpeg files =>  total: 1  fair: 1", true},
  };
  testing::write_bytes(dir_ / "a.jpg", jfif_file(1, 2));
  for (const auto& c : cases) {
    output_ = CapturedOutput();
    EXPECT_EQ(run(c.arguments), c.status) << c.arguments[0];
    EXPECT_EQ(output_.out.rfind(c.out, 0), 0u) << output_.out;
    EXPECT_EQ(testing::read_bytes(dir_ / "a.jpg"), c.changed ? jfif_file(2, 2) : jfif_file(1, 2));
  }
}

// Strings and paths in JSON: controls escaped, so that an object stays one
// line and acts on no terminal; a name that is no UTF-8 (or, on Windows, no
// UTF-16) as its bytes in base64.
TEST(JsonLines, StringsAndPaths) {
  const struct {
    NativePath path;
    std::string json;
  } cases[] = {
      {native_path_from_utf8("a.jpg"), "\"a.jpg\""},
      {native_path_from_utf8("\"q\\.jpg"), "\"\\\"q\\\\.jpg\""},
      {native_path_from_utf8("a\nb\033\177\302\233.jpg"), "\"a\\u000ab\\u001b\\u007f\\u009b.jpg\""},
      {native_path_from_utf8("写真.jpg"), "\"写真.jpg\""},
#ifdef _WIN32
      {std::wstring(L"a\xD800"
                    L"b"),
       "{\"bytes\":\"Ye2ggGI=\"}"},
#else
      {"a\377b", "{\"bytes\":\"Yf9i\"}"},
      {"\377", "{\"bytes\":\"/w==\"}"},
      {"a\377", "{\"bytes\":\"Yf8=\"}"},
#endif
  };
  for (const auto& c : cases) {
    std::string json;
    append_json_path(json, c.path);
    EXPECT_EQ(json, c.json);
  }
}

// A value after its option, in every form getopt_long takes; long options
// shortened to a prefix.
TEST(CliOptions, ValuesAndPrefixes) {
  const struct {
    std::vector<std::string> arguments;
    int read_ahead;
    bool recursive;
    std::optional<bool> progress = std::nullopt;
  } cases[] = {
      {{"x"}, kDefaultJobs, false},
      {{"-j4", "x"}, 4, false},
      {{"-j", "4", "x"}, 4, false},
      {{"--jobs=4", "x"}, 4, false},
      {{"--jobs", "4", "x"}, 4, false},
      {{"--job", "4", "--rec", "x"}, 4, true},
      {{"-rj", "256", "x"}, 256, true},
      {{"-j", "1", "--", "-j", "2"}, 1, false},
      // The last of the two progress options wins.
      {{"-q", "--pro", "x"}, kDefaultJobs, false, true},
      {{"--progress", "--no", "x"}, kDefaultJobs, false, false},
  };
  for (const auto& c : cases) {
    std::vector<NativePath> native;
    for (const std::string& argument : c.arguments)
      native.push_back(native_path_from_utf8(argument));
    const CliOptions options = parse_options(native);
    EXPECT_EQ(options.action, CliOptions::Action::kRun) << c.arguments[0];
    EXPECT_EQ(options.run.read_ahead, c.read_ahead) << c.arguments[0];
    EXPECT_EQ(options.run.recursive, c.recursive) << c.arguments[0];
    EXPECT_EQ(options.progress, c.progress) << c.arguments[0];
  }
}

// The status line over a run, on a clock the test moves: nothing in the
// first second, at most ten draws a second, each cut to the terminal's
// width, each blanking what the last one left, cleared before a log line
// that shares its screen.
TEST(ProgressLine, DrawnInPlaceAndCleared) {
  using namespace std::chrono_literals;
  CapturedOutput output;
  std::chrono::steady_clock::time_point now{};
  ProgressLine progress(output, 80, true, [&] { return now; });
  const NativePath folder = native_path_from_utf8("photos/2024");
  const NativePath wide = native_path_from_utf8("写真/旅行/京都の写真");
  const NativePath none;
  const struct {
    std::chrono::milliseconds at;
    RunCounts counts;
    const NativePath* folder;
    bool log_line;  // a line of the log comes next
    std::string written;
  } steps[] = {
      {999ms, {5, 2, 3, 0}, &folder, false, ""},
      {1000ms,
       {10, 4, 5, 1},
       &folder,
       false,
       "\rquadrell: 10 files, 5 changed, 1 errors, 10 files/s, reading photos/2024\r"},
      {1099ms, {11, 4, 6, 1}, &folder, false, ""},
      // 79 columns at most, each wide character taking two.
      {2000ms,
       {40, 20, 20, 0},
       &wide,
       false,
       "\rquadrell: 40 files, 20 changed, 0 errors, 20 files/s, reading 写真/旅行/京都の\r"},
      {2050ms, {41, 20, 21, 0}, &wide, true, "\r" + std::string(78, ' ') + "\r"},
      {4000ms,
       {100, 50, 50, 0},
       &folder,
       false,
       "\rquadrell: 100 files, 50 changed, 0 errors, 25 files/s, reading photos/2024\r"},
      {8000ms,
       {101, 50, 51, 0},
       &none,
       false,
       "\rquadrell: 101 files, 51 changed, 0 errors, 12 files/s" + std::string(21, ' ') + "\r"},
  };
  for (const auto& step : steps) {
    output.error.clear();
    now = std::chrono::steady_clock::time_point{} + step.at;
    if (step.log_line) {
      progress.before_log_line();
    } else {
      progress.update(step.counts, *step.folder);
    }
    EXPECT_EQ(output.error, step.written) << step.at.count();
  }
  output.error.clear();
  progress.clear();
  EXPECT_EQ(output.error, "\r" + std::string(53, ' ') + "\r");
  output.error.clear();
  progress.clear();
  EXPECT_EQ(output.error, "");
}

// Gathered lines (into a file or a pipe) are those a terminal gets once
// they are flushed.
TEST(FrontEndContract, StreamLog) {
  for (const bool terminal : {true, false}) {
    std::optional<StreamLog> log;
    std::optional<CapturedOutput> output;
    testing::expect_report_shown(
        [&]() -> RunListener& {
          log.reset();
          output.emplace().terminal = terminal;
          return log.emplace(*output);
        },
        [&] {
          log->flush();
          std::string text;
          for (const char c : output->out)
            text += c == '\n' ? std::string("\r\n") : std::string(1, c);
          EXPECT_TRUE(text.ends_with("\r\n")) << text;
          return text.substr(0, text.size() - 2);
        });
  }
}

// Gathered lines go out once they fill a write, or once the first of them
// has waited long enough, between two files; on a clock the test moves.
std::chrono::steady_clock::time_point gathering_now;

TEST(StreamLogGathering, BySizeAndByAge) {
  CapturedOutput output;
  StreamLog log(output, StreamLog::Lines::kAll, nullptr, [] { return gathering_now; });
  const NativePath name = testing::native(std::string(990, 'x') + ".jpg");
  const std::size_t line = log_line(log_name(name), kFair).size() + 1;
  const auto add_line = [&] { log.file_done({name, kFair}, {}); };
  for (std::size_t size = line; size < StreamLog::kGatheredBytes; size += line) add_line();
  EXPECT_EQ(output.writes, 0);
  add_line();
  EXPECT_EQ(output.writes, 1) << "full";
  add_line();
  gathering_now += StreamLog::kGatheredFor - std::chrono::milliseconds(1);
  log.next_file();
  EXPECT_EQ(output.writes, 1);
  gathering_now += std::chrono::milliseconds(1);
  log.next_file();
  EXPECT_EQ(output.writes, 2) << "waited long enough";
}

// The built program, as a user runs it: exact bytes on standard output.
TEST(CliProgram, OutputAndExitStatus) {
  testing::TempDir dir;
  testing::write_bytes(dir / "写真.jpg", jfif_file(2, 1));
#ifdef _WIN32
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  const std::filesystem::path program =
      std::filesystem::path(self).parent_path().parent_path() / "cli" / "quadrell.exe";
  const std::wstring command =
      L"\"\"" + program.native() + L"\" \"" + testing::native(dir.path()) + L"\" 2>NUL\"";
  FILE* pipe = _wpopen(command.c_str(), L"rb");
  const std::string newline = "\r\n";
#else
  const std::string command = QUADRELL_CLI_PROGRAM " '" + dir.path().native() + "' 2>/dev/null";
  FILE* pipe = ::popen(command.c_str(), "r");
  const std::string newline = "\n";
#endif
  ASSERT_NE(pipe, nullptr);
  std::string out;
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
#ifdef _WIN32
  const int status = _pclose(pipe);
#else
  const int status = WEXITSTATUS(::pclose(pipe));
#endif
  EXPECT_EQ(status, 0);
  // The folder as typed, joined with the name: long enough for the shortest leader.
  const std::string shown = utf8_from_native(testing::native(dir.path())) + kSeparator + "写真.jpg";
  ASSERT_GE(shown.size(), 30u);
  EXPECT_EQ(out, shown + " " + dots(4) + " 17 18 Change" + newline + newline +
                     "Jpeg files =>  total: 1  fair: 0  update: 1  error: 0" + newline);
}

#ifndef _WIN32
struct ProgramRun {
  int status = -1;
  std::string out;
  std::string error;
};

struct ProgramOptions {
  std::string redirect{};  // standard output: a file, or "&2" to merge it into standard error
  bool as_nobody = false;
  std::filesystem::path folder{};  // the current folder, if not the test's own
  std::string tracer{};            // a command the program runs under, such as strace
};

// The built program through the shell, in the given folder. As nobody, it
// runs from a copy that nobody can reach.
ProgramRun run_program(const std::string& arguments, const ProgramOptions& options = {}) {
  testing::TempDir scratch;
  std::filesystem::permissions(scratch.path(), std::filesystem::perms(0777));
  std::string program = QUADRELL_CLI_PROGRAM;
  if (options.as_nobody) {
    std::filesystem::copy_file(program, scratch / "quadrell");
    program = (scratch / "quadrell").native();
  }
  program = options.tracer + " " + program;
  if (options.as_nobody)
    program = "setpriv --reuid=nobody --regid=nogroup --clear-groups " + program;
  const auto error_file = scratch / "stderr";
  const std::string command =
      (options.folder.empty() ? "" : "cd '" + options.folder.native() + "' && ") + program + " " +
      arguments + " 2>'" + error_file.native() + "' " +
      (options.redirect.empty() ? "" : ">" + options.redirect);
  ProgramRun run;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return run;
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
    run.out.append(buffer, n);
  run.status = WEXITSTATUS(::pclose(pipe));
  const testing::Bytes error = testing::read_bytes(error_file);
  run.error.assign(error.begin(), error.end());
  return run;
}

// A full disk under the log: the run stops at the write that fails, and the
// changes made since the last write are told on standard error.
TEST(CliProgram, StandardOutputOnAFullDisk) {
  testing::TempDir dir;
  testing::write_bytes(dir / "a.jpg", jfif_file(1, 2));
  testing::write_bytes(dir / "b.jpg", jfif_file(1, 2));
  const ProgramRun run = run_program(".", {.redirect = "/dev/full", .folder = dir.path()});
  EXPECT_EQ(run.status, kExitFileError);
  EXPECT_EQ(testing::read_bytes(dir / "a.jpg"), jfif_file(2, 2));
  EXPECT_EQ(testing::read_bytes(dir / "b.jpg"), jfif_file(2, 2));
  EXPECT_EQ(run.error,
            "quadrell: standard output: No space left on device; the run stopped "
            "there. What could not be written:\na.jpg " +
                dots(54) + " 15 16 Change\nb.jpg " + dots(54) + " 15 16 Change\n\n" +
                "Jpeg files =>  total: 2  fair: 0  update: 2  error: 0\n");
}

// Keep-dates on a file that another user owns and lets everyone write: the
// system lets the bytes be written, not the dates be set.
TEST(CliProgram, DatesThatCannotBePutBack) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs a file of another user: runs as root in CI";
  testing::TempDir dir;
  std::filesystem::permissions(dir.path(), std::filesystem::perms(0777));
  const auto photo = dir / "shared.jpg";
  testing::write_bytes(photo, jfif_file(1, 2));
  std::filesystem::permissions(photo, std::filesystem::perms(0666));
  testing::write_stamps(photo, testing::old_stamps());
  const ProgramRun run = run_program("-p shared.jpg", {.as_nobody = true, .folder = dir.path()});
  EXPECT_EQ(run.status, kExitFileError);
  EXPECT_EQ(run.out,
            "shared.jpg " + dots(44) +
                " 15 16 Change\n\nJpeg files =>  total: 1  fair: 0  update: 1  error: 0\n");
  EXPECT_EQ(run.error,
            "quadrell: shared.jpg: patched, but its dates could not be put back: Operation not "
            "permitted\n");
  EXPECT_EQ(testing::read_bytes(photo), jfif_file(2, 2));
}

// Standard output and error into one pipe: every line whole, a failure's
// message between the lines, at its place in the run.
TEST(CliProgram, MessagesBetweenWholeLines) {
  testing::TempDir dir;
  testing::write_bytes(dir / "a.jpg", jfif_file(1, 2));
  testing::write_bytes(dir / "c.jpg", jfif_file(2, 2));
  const ProgramRun run =
      run_program("a.jpg missing.jpg c.jpg", {.redirect = "&2", .folder = dir.path()});
  EXPECT_EQ(run.status, kExitFileError);
  EXPECT_EQ(run.error, "a.jpg " + dots(54) + " 15 16 Change\n" +
                           "quadrell: missing.jpg: No such file or directory\n" + "c.jpg " +
                           dots(54) + " OK\n\n" + summary(2, 1, 1, 0));
}

// Help and version that cannot be written fail, as any output does.
TEST(CliProgram, HelpToAFullDisk) {
  for (const char* option : {"--help", "--version"}) {
    const ProgramRun run = run_program(option, {.redirect = "/dev/full"});
    EXPECT_EQ(run.status, kExitFileError) << option;
    EXPECT_EQ(run.error, "quadrell: standard output: No space left on device\n") << option;
  }
}

// A dry run opens no file for writing: a read-only file shows what a real
// run would change, and no opening for writing is ever made.
TEST(CliProgram, DryRunOpensNothingForWriting) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to run as nobody: runs as root in CI";
  testing::TempDir dir;
  std::filesystem::permissions(dir.path(), std::filesystem::perms(0777));
  testing::write_bytes(dir / "read-only.jpg", jfif_file(1, 2));
  std::filesystem::permissions(dir / "read-only.jpg", std::filesystem::perms(0444));
  const auto trace = dir / "trace";
  const ProgramRun run =
      run_program("-n read-only.jpg",
                  {.as_nobody = true,
                   .folder = dir.path(),
                   // LeakSanitizer cannot run under ptrace.
                   .tracer = "env ASAN_OPTIONS=detect_leaks=0 strace -f -qq -e trace=open,openat "
                             "-o '" +
                             trace.native() + "'"});
  EXPECT_EQ(run.status, kExitSuccess);
  EXPECT_EQ(run.out, "read-only.jpg " + dots(38) + " 15 16 Change\n\n" + summary(1, 0, 1, 0));
  const testing::Bytes traced = testing::read_bytes(trace);
  // The file's own openings: a sanitizer's runtime opens files of its own.
  std::istringstream openings(std::string(traced.begin(), traced.end()));
  int read_openings = 0;
  for (std::string line; std::getline(openings, line);) {
    if (line.find("read-only.jpg") == std::string::npos) continue;
    EXPECT_EQ(line.find("O_RDWR"), std::string::npos) << line;
    EXPECT_EQ(line.find("O_WRONLY"), std::string::npos) << line;
    read_openings += line.find("O_RDONLY") != std::string::npos;
  }
  EXPECT_GE(read_openings, 1) << "the trace shows the file's openings";
}
#endif

}  // namespace
}  // namespace quadrell
