#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

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

class CapturedOutput final : public CliOutput {
 public:
  void write_out(std::string_view text) override {
    out += text;
    ++writes;
  }
  void write_error(std::string_view text) override { error += text; }
  std::string out;
  std::string error;
  int writes = 0;
};

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

TEST_F(Cli, AccessErrorFails) {
  testing::write_bytes(dir_ / "a.jpg", jfif_file(1, 2));
  testing::ExclusiveLock lock(dir_ / "a.jpg");
  if (!lock.held()) GTEST_SKIP() << "no exclusive opening on this platform";
  EXPECT_EQ(run({path("a.jpg")}), kExitFileError);
  EXPECT_EQ(output_.error, "");
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
  testing::write_bytes(dir_ / "a.jpg", jfif_file(1, 2));
  testing::write_stamps(dir_ / "a.jpg", testing::old_stamps());
  EXPECT_EQ(run({"--keep-dates", path("a.jpg")}), kExitSuccess);
  EXPECT_EQ(testing::last_write_of(testing::read_stamps(dir_ / "a.jpg")),
            testing::last_write_of(testing::old_stamps()));
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
      {{"--frobnicate", "a.jpg"}, kExitUsage, "", "quadrell: unknown option --frobnicate"},
      {{"--version"}, kExitSuccess, "quadrell 1.00\n", ""},
      {{"--help"}, kExitSuccess, "usage: quadrell [--keep-dates] [--dry-run] PATH...", ""},
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

}  // namespace
}  // namespace quadrell
