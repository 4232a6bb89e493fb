#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <sstream>

#include "cli/options.h"
#include "cli/run_cli.h"
#include "cli/stream_log.h"
#include "tests/log_window_contract.h"
#include "tests/test_files.h"
#include "tests/test_platform.h"

#ifdef _WIN32
#include <windows.h>
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
  std::string out;
  std::string error;
  int writes = 0;
  int fail_from = 1 << 30;
};

#ifdef _WIN32
const std::string kSeparator = "\\";
#else
const std::string kSeparator = "/";
#endif

const std::string kZeroSummary = "Jpeg files =>  total: 0  fair: 0  update: 0  error: 0";

class Cli : public ::testing::Test {
 protected:
  int run(std::vector<std::string> arguments) {
    std::vector<NativePath> native;
    for (const std::string& argument : arguments) native.push_back(native_path_from_utf8(argument));
    return run_cli(native, output_);
  }
  std::string path(const char* name) const {
    return utf8_from_native(testing::native(dir_ / name));
  }

  testing::TempDir dir_;
  CapturedOutput output_;
};

TEST_F(Cli, PrintsTheLogTextWithLineEnds) {
  testing::write_bytes(dir_ / "a.jpg", jfif_file(1, 2));
  testing::write_bytes(dir_ / "b.jpg", jfif_file(2, 2));
  EXPECT_EQ(run({path("a.jpg"), path("b.jpg")}), kExitSuccess);
  EXPECT_EQ(output_.out, "a.jpg " + dots(54) + " 15 16 Change\nb.jpg " + dots(54) +
                             " OK\n\nJpeg files =>  total: 2  fair: 1  update: 1  error: 0\n");
  EXPECT_EQ(output_.error, "");
  EXPECT_GE(output_.writes, 3) << "each line is written when its file is done";
  EXPECT_EQ(testing::read_bytes(dir_ / "a.jpg"), jfif_file(2, 2));
}

TEST_F(Cli, MissingPathIsNamedOnStandardErrorAndFails) {
  EXPECT_EQ(run({path("missing.jpg")}), kExitFileError);
  EXPECT_EQ(output_.out, "\n" + kZeroSummary + "\n");
  EXPECT_NE(output_.error.find("missing.jpg"), std::string::npos);
}

TEST_F(Cli, AccessErrorFailsWithTheSystemsReason) {
  testing::write_bytes(dir_ / "a.jpg", jfif_file(1, 2));
  testing::ExclusiveLock lock(dir_ / "a.jpg");
  if (!lock.held()) GTEST_SKIP() << "no exclusive opening on this platform";
  EXPECT_EQ(run({path("a.jpg")}), kExitFileError);
  const std::string prefix = "quadrell: " + path("a.jpg") + ": ";
  ASSERT_EQ(output_.error.rfind(prefix, 0), 0u) << output_.error;
  EXPECT_GT(output_.error.size(), prefix.size() + 1) << "a reason follows";
  EXPECT_EQ(output_.error.find('\n'), output_.error.size() - 1) << "one line";
}

// No name can forge a line on standard error.
TEST_F(Cli, LineBreakInANameStaysOnItsLine) {
  EXPECT_EQ(run({path("a\nquadrell: forged.jpg")}), kExitFileError);
  EXPECT_EQ(output_.error, "quadrell: no file or folder to process: " +
                               path("a\xEF\xBF\xBDquadrell: forged.jpg") + "\n");
}

// The log cannot be written: the run stops before it touches another file,
// and what was lost, the line of the file just changed, goes to standard
// error.
TEST_F(Cli, LogThatCannotBeWrittenStopsTheRun) {
  testing::write_bytes(dir_ / "a.jpg", jfif_file(1, 2));
  testing::write_bytes(dir_ / "b.jpg", jfif_file(1, 2));
  output_.fail_from = 1;
  EXPECT_EQ(run({path("a.jpg"), path("b.jpg")}), kExitFileError);
  EXPECT_EQ(testing::read_bytes(dir_ / "a.jpg"), jfif_file(2, 2));
  EXPECT_EQ(testing::read_bytes(dir_ / "b.jpg"), jfif_file(1, 2)) << "not touched";
  EXPECT_NE(output_.error.find("could not be written:\na.jpg " + dots(54) + " 15 16 Change\n"),
            std::string::npos)
      << output_.error;
}

// Subfolders with -r, shown by their path relative to the dropped folder;
// the leader counts the whole of it. Hidden folders and links to folders are
// not entered.
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
    EXPECT_EQ(run({options, path("top")}), kExitSuccess);
    const std::string summary = "Jpeg files =>  total: 3  fair: 2  update: 1  error: 0";
    std::vector<std::string> lines = {
        "b.jpg " + dots(54) + " OK",
        "2024" + kSeparator + "12" + kSeparator + "a.jpg " + dots(38) + " 15 16 Change",
        "写真" + kSeparator + "c.jpg " + dots(48) + " OK"};
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
  CapturedOutput output;
  const std::string folder = utf8_from_native(testing::native(top));
  EXPECT_EQ(run_cli({native_path_from_utf8("-r"), testing::native(top)}, output), kExitFileError);
  const std::string access_error = " -1 -1 Access error!\n";
  EXPECT_EQ(output.out, "read-only.jpg " + dots(38) + access_error + "unreadable.jpg " + dots(36) +
                            access_error + "locked " + dots(52) + access_error +
                            "\nJpeg files =>  total: 3  fair: 0  update: 0  error: 3\n");
  EXPECT_EQ(output.error, "quadrell: " + folder + "/read-only.jpg: Permission denied\n" +
                              "quadrell: " + folder + "/unreadable.jpg: Permission denied\n" +
                              "quadrell: " + folder + "/locked: Permission denied\n");
}

TEST_F(Cli, DryRunChangesNoByteAndNoTime) {
  testing::write_bytes(dir_ / "a.jpg", jfif_file(1, 2));
  testing::write_stamps(dir_ / "a.jpg", testing::old_stamps());
  const testing::Stamps before = testing::stamps_kept_by_reading(dir_ / "a.jpg");
  EXPECT_EQ(run({"--dry-run", utf8_from_native(testing::native(dir_.path()))}), kExitSuccess);
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

TEST_F(Cli, RelativePathsAreMadeAbsolute) {
  testing::write_bytes(dir_ / "a.jpg", jfif_file(1, 2));
  const auto previous = std::filesystem::current_path();
  std::filesystem::current_path(dir_.path());
  const int status = run({"a.jpg", "--", "--not-an-option.jpg"});
  std::filesystem::current_path(previous);
  EXPECT_EQ(status, kExitFileError) << "the second path names nothing";
  EXPECT_EQ(testing::read_bytes(dir_ / "a.jpg"), jfif_file(2, 2));
}

struct UsageCase {
  std::vector<std::string> arguments;
  int status;
  const char* out_starts;
  const char* error_starts;
};

TEST_F(Cli, Usage) {
  const UsageCase cases[] = {
      {{}, kExitUsage, "", "usage: quadrell"},
      {{"--keep-dates"}, kExitUsage, "", "usage: quadrell"},
      {{"-rn"}, kExitUsage, "", "usage: quadrell"},
      {{"--frobnicate", "a.jpg"}, kExitUsage, "", "quadrell: unknown option --frobnicate"},
      {{"-rx", "a.jpg"}, kExitUsage, "", "quadrell: unknown option -x\nusage: quadrell"},
      {{"--version"}, kExitSuccess, "quadrell 1.00\n", ""},
      {{"--help"}, kExitSuccess, "usage: quadrell [-hnpr] [-j N] [--] PATH...", ""},
      {{"-h"}, kExitSuccess, "usage: quadrell [-hnpr] [-j N] [--] PATH...", ""},
      {{"-rh", "a.jpg"}, kExitSuccess, "usage: quadrell", ""},
      {{"-j", "0", "a.jpg"}, kExitUsage, "", "quadrell: --jobs takes a number from 1 to 256"},
      {{"--jobs=4x", "a.jpg"}, kExitUsage, "", "quadrell: --jobs takes a number"},
      {{"a.jpg", "--jobs"}, kExitUsage, "", "quadrell: option --jobs needs a value"},
      {{"--dry-run=yes", "a.jpg"}, kExitUsage, "", "quadrell: option --dry-run takes no value"},
      {{"--=1", "a.jpg"}, kExitUsage, "", "quadrell: option -- is ambiguous: --keep-dates"},
  };
  for (const UsageCase& c : cases) {
    CapturedOutput output;
    std::vector<NativePath> native;
    for (const std::string& argument : c.arguments)
      native.push_back(native_path_from_utf8(argument));
    EXPECT_EQ(run_cli(native, output), c.status);
    EXPECT_EQ(output.out.rfind(c.out_starts, 0), 0u) << output.out;
    EXPECT_EQ(output.error.rfind(c.error_starts, 0), 0u) << output.error;
  }
}

// A value after its option, in every form getopt_long takes; long options
// shortened to a prefix.
TEST(CliOptions, ValuesAndPrefixes) {
  const struct {
    std::vector<std::string> arguments;
    int read_ahead;
    bool recursive;
  } cases[] = {
      {{"x"}, kDefaultReadAhead, false}, {{"-j4", "x"}, 4, false},
      {{"-j", "4", "x"}, 4, false},      {{"--jobs=4", "x"}, 4, false},
      {{"--jobs", "4", "x"}, 4, false},  {{"--jo", "4", "--rec", "x"}, 4, true},
      {{"-rj", "256", "x"}, 256, true},  {{"-j", "1", "--", "-j", "2"}, 1, false},
  };
  for (const auto& c : cases) {
    std::vector<NativePath> native;
    for (const std::string& argument : c.arguments)
      native.push_back(native_path_from_utf8(argument));
    const CliOptions options = parse_options(native);
    EXPECT_EQ(options.action, CliOptions::Action::kRun) << c.arguments[0];
    EXPECT_EQ(options.run.read_ahead, c.read_ahead) << c.arguments[0];
    EXPECT_EQ(options.run.recursive, c.recursive) << c.arguments[0];
  }
}

TEST(LogWindowContract, StreamLog) {
  for (const auto rules :
       {testing::expect_lines_then_summary, testing::expect_summary_in_empty_log}) {
    CapturedOutput output;
    StreamLog log(output, false);
    rules(log, [&] {
      std::string text;
      for (const char c : output.out) text += c == '\n' ? std::string("\r\n") : std::string(1, c);
      return text;
    });
  }
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
  EXPECT_EQ(out, "写真.jpg " + dots(52) + " 17 18 Change" + newline + newline +
                     "Jpeg files =>  total: 1  fair: 0  update: 1  error: 0" + newline);
}

#ifndef _WIN32
struct ProgramRun {
  int status = -1;
  std::string out;
  std::string error;
};

// The built program through the shell, stdout redirected as given. As
// nobody, it runs from a copy that nobody can reach.
ProgramRun run_program(const std::string& arguments, const std::string& redirect,
                       bool as_nobody = false) {
  testing::TempDir scratch;
  std::filesystem::permissions(scratch.path(), std::filesystem::perms(0755));
  std::string program = QUADRELL_CLI_PROGRAM;
  if (as_nobody) {
    std::filesystem::copy_file(program, scratch / "quadrell");
    program =
        "setpriv --reuid=nobody --regid=nogroup --clear-groups " + (scratch / "quadrell").native();
  }
  const auto error_file = scratch / "stderr";
  const std::string command = program + " " + arguments + " 2>'" + error_file.native() + "' " +
                              (redirect.empty() ? "" : ">" + redirect);
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

// A full disk under the log: the run stops before the next file, and the
// change it made is told on standard error.
TEST(CliProgram, StandardOutputOnAFullDisk) {
  testing::TempDir dir;
  testing::write_bytes(dir / "a.jpg", jfif_file(1, 2));
  testing::write_bytes(dir / "b.jpg", jfif_file(1, 2));
  const ProgramRun run = run_program("'" + dir.path().native() + "'", "/dev/full");
  EXPECT_EQ(run.status, kExitFileError);
  EXPECT_EQ(testing::read_bytes(dir / "a.jpg"), jfif_file(2, 2));
  EXPECT_EQ(testing::read_bytes(dir / "b.jpg"), jfif_file(1, 2));
  EXPECT_EQ(run.error,
            "quadrell: standard output: No space left on device; the run stopped "
            "there. What could not be written:\na.jpg " +
                dots(54) + " 15 16 Change\n\n" +
                "Jpeg files =>  total: 1  fair: 0  update: 1  error: 0\n");
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
  const ProgramRun run = run_program("-p '" + photo.native() + "'", "", true);
  EXPECT_EQ(run.status, kExitFileError);
  EXPECT_EQ(run.out,
            "shared.jpg " + dots(44) +
                " 15 16 Change\n\nJpeg files =>  total: 1  fair: 0  update: 1  error: 0\n");
  EXPECT_EQ(run.error, "quadrell: " + photo.native() +
                           ": patched, but its dates could not be put back: Operation not "
                           "permitted\n");
  EXPECT_EQ(testing::read_bytes(photo), jfif_file(2, 2));
}
#endif

}  // namespace
}  // namespace quadrell
