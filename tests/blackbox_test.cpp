// Quadrell.exe as a user starts it, driven from this separate process: drops
// written into the program's memory and posted to the log box, clicks,
// closes, and the log read back.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/wide_text.h"
#include "tests/remote/remote_window.h"
#include "tests/test_files.h"
#include "tests/test_platform.h"

namespace quadrell {
namespace {

using testing::dots;

using remote::RemoteWindow;
using testing::jfif_file;

// Liveness bounds, not figures: a window that has not started, ended a run
// or answered in this long is stuck, however slow the machine or its
// emulation (the 32-bit suites may run through qemu on two busy cores).
constexpr DWORD kStartTimeout = 120000;
constexpr DWORD kRunTimeout = 300000;
constexpr DWORD kAnswerTimeout = 60000;

std::filesystem::path build_folder() {
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  return std::filesystem::path(self).parent_path().parent_path();
}

// A started program; ended when the object goes, if it still runs.
class Program {
 public:
  explicit Program(const std::filesystem::path& executable,
                   const std::vector<std::filesystem::path>& arguments = {}) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    std::wstring command = L"\"" + executable.native() + L"\"";
    for (const auto& argument : arguments) command += L" \"" + argument.native() + L"\"";
    started_ = CreateProcessW(executable.c_str(), command.data(), nullptr, nullptr, FALSE, 0,
                              nullptr, executable.parent_path().c_str(), &startup, &process_);
    if (started_) WaitForInputIdle(process_.hProcess, kStartTimeout);
  }
  ~Program() {
    if (!started_) return;
    if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) {
      TerminateProcess(process_.hProcess, 1);
    }
    CloseHandle(process_.hThread);
    CloseHandle(process_.hProcess);
  }
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  DWORD id() const { return process_.dwProcessId; }
  bool ended_within(DWORD timeout_ms) const {
    return WaitForSingleObject(process_.hProcess, timeout_ms) == WAIT_OBJECT_0;
  }
  RemoteWindow window() const { return RemoteWindow::find(id(), kStartTimeout); }

 private:
  PROCESS_INFORMATION process_{};
  bool started_ = false;
};

// Where the window keeps its journals, found as a user would.
std::filesystem::path journal_folder() {
  wchar_t local[MAX_PATH] = {};
  GetEnvironmentVariableW(L"LOCALAPPDATA", local, MAX_PATH);
  return std::filesystem::path(local) / "Quadrell" / "journal";
}

// No journal kept, nor a file where their folder goes.
void clear_journals() {
  std::error_code error;
  if (std::filesystem::is_regular_file(journal_folder(), error)) {
    std::filesystem::remove(journal_folder(), error);
  }
  testing::remove_tree(journal_folder());
}

std::vector<std::string> journals() {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(journal_folder(), error)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// Each test has its own copy of Quadrell.exe, so that the setting marker
// lands in a folder of the test's own, and begins with no journal kept.
class BlackBox : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directory(dir_ / "program");
    std::filesystem::copy_file(build_folder() / "ui" / "Quadrell.exe", executable());
    std::filesystem::create_directory(dir_ / "photos");
    clear_journals();
  }
  void TearDown() override { clear_journals(); }
  std::filesystem::path executable() const { return dir_ / "program" / "Quadrell.exe"; }
  std::filesystem::path marker() const { return dir_ / "program" / "Quadrell.chk"; }
  std::filesystem::path photo(const std::string& name) const { return dir_ / ("photos/" + name); }

  testing::TempDir dir_;
};

struct MessageBoxSearch {
  DWORD process_id;
  HWND found;
};

BOOL CALLBACK find_message_box(HWND window, LPARAM parameter) {
  auto* search = reinterpret_cast<MessageBoxSearch*>(parameter);
  wchar_t class_name[16] = {};
  wchar_t title[64] = {};
  DWORD owner = 0;
  GetClassNameW(window, class_name, 16);
  GetWindowTextW(window, title, 64);
  GetWindowThreadProcessId(window, &owner);
  if (owner == search->process_id && lstrcmpW(class_name, L"#32770") == 0 &&
      lstrcmpW(title, L"Quadrell") == 0) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

TEST_F(BlackBox, SecondInstanceIsTurnedAway) {
  Program first(executable());
  const RemoteWindow window = first.window();
  ASSERT_TRUE(window.found());
  Program second(executable());
  MessageBoxSearch search{second.id(), nullptr};
  for (int i = 0; i < 200 && search.found == nullptr; ++i) {
    EnumWindows(&find_message_box, reinterpret_cast<LPARAM>(&search));
    Sleep(50);
  }
  ASSERT_NE(search.found, nullptr);
  wchar_t text[64] = {};
  GetDlgItemTextW(search.found, 0xFFFF, text, 64);  // the message box's text
  EXPECT_STREQ(text, L"すでに起動しています");
  EXPECT_EQ(GetDlgItem(search.found, IDCANCEL), nullptr) << "OK only";
  EXPECT_EQ(GetDlgItem(search.found, 0x0014), nullptr) << "no icon";
  EXPECT_FALSE(RemoteWindow::find(second.id(), 0).found()) << "its own window never shows";
  PostMessageW(search.found, WM_COMMAND, IDOK, 0);
  EXPECT_TRUE(second.ended_within(10000));
  EXPECT_TRUE(IsWindow(window.main())) << "the first instance runs on";
  EXPECT_FALSE(std::filesystem::exists(marker()));
}

// Paths on the command line, as Explorer passes them for a drop on the
// program's icon or for Send To: one run, shown as a drop's.
TEST_F(BlackBox, PathsOnTheCommandLineAreOneDrop) {
  testing::write_bytes(photo("b.jpg"), jfif_file(72, 96));
  std::filesystem::create_directory(photo("album"));
  testing::write_bytes(photo("album/a.jpg"), jfif_file(96, 96));
  Program program(executable(), {photo("album"), photo("b.jpg")});
  const RemoteWindow window = program.window();
  ASSERT_TRUE(window.found());
  ASSERT_TRUE(window.wait_for_summary(kRunTimeout));
  EXPECT_EQ(utf8_from_wide(window.log_text()),
            "a.jpg " + dots(54) + " OK\r\nb.jpg " + dots(54) +
                " 15 16 Change\r\n\r\nJpeg files =>  total: 2  fair: 1  update: 1  error: 0");
}

// A second start with paths shows nothing and ends; the running instance
// runs them as one drop.
TEST_F(BlackBox, SecondStartWithPathsHandsThemOver) {
  testing::write_bytes(photo("a.jpg"), jfif_file(2, 1));
  Program first(executable());
  const RemoteWindow window = first.window();
  ASSERT_TRUE(window.found());
  window.click_help();
  Program second(executable(), {photo("a.jpg")});
  EXPECT_TRUE(second.ended_within(10000));
  ASSERT_TRUE(window.wait_for_summary(kRunTimeout));
  EXPECT_EQ(utf8_from_wide(window.log_text()),
            "a.jpg " + dots(54) +
                " 17 18 Change\r\n\r\nJpeg files =>  total: 1  fair: 0  update: 1  error: 0");
  MessageBoxSearch search{second.id(), nullptr};
  EnumWindows(&find_message_box, reinterpret_cast<LPARAM>(&search));
  EXPECT_EQ(search.found, nullptr);
  EXPECT_TRUE(IsWindow(window.main()));
}

// DLLs that Windows and Wine load on behalf of a program with a window, or
// that the libraries it uses load in turn. Placed beside a program, in the
// folder it starts in, none of them may be loaded from there.
const char* const kPlantedDlls[] = {
    "shcore",   "shlwapi",  "uxtheme",  "dwmapi",  "version", "propsys",         "cryptbase",
    "comctl32", "imm32",    "msctf",    "shell32", "ole32",   "oleaut32",        "combase",
    "profapi",  "userenv",  "sspicli",  "winmm",   "dbghelp", "windows.storage", "wtsapi32",
    "setupapi", "cfgmgr32", "powrprof", "bcrypt",  "rpcrt4",  "advapi32",        "gdiplus"};

void plant_dlls(const std::filesystem::path& folder) {
  for (const char* name : kPlantedDlls) {
    std::filesystem::copy_file(build_folder() / "tests" / "dll_marker.dll",
                               folder / (std::string(name) + ".dll"));
  }
}

std::vector<std::string> dlls_loaded_from(const std::filesystem::path& folder) {
  std::vector<std::string> loaded;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (entry.path().extension() == ".loaded") loaded.push_back(entry.path().stem().string());
  }
  return loaded;
}

TEST_F(BlackBox, NoDllIsLoadedFromTheProgramsFolder) {
  // The control: a program that imports SHELL32 when it loads does take
  // DLLs from its own folder.
  const auto probe_folder = dir_ / "probe";
  std::filesystem::create_directory(probe_folder);
  std::filesystem::copy_file(build_folder() / "tests" / "dll_search_probe.exe",
                             probe_folder / "probe.exe");
  plant_dlls(probe_folder);
  {
    Program probe(probe_folder / "probe.exe");
    ASSERT_TRUE(probe.ended_within(30000));
  }
  ASSERT_FALSE(dlls_loaded_from(probe_folder).empty()) << "the marker DLLs work";

  testing::write_bytes(photo("a.jpg"), jfif_file(1, 2));
  plant_dlls(dir_ / "program");
  {
    Program program(executable());
    const RemoteWindow window = program.window();
    ASSERT_TRUE(window.found());
    ASSERT_TRUE(window.drop({testing::native(dir_ / "photos")}, kRunTimeout));
    window.click_help();
    ASSERT_TRUE(window.close(10000));
  }
  EXPECT_EQ(dlls_loaded_from(dir_ / "program"), std::vector<std::string>{}) << "Quadrell.exe";

  const auto console_folder = dir_ / "console";
  std::filesystem::create_directory(console_folder);
  std::filesystem::copy_file(build_folder() / "cli" / "quadrell.exe",
                             console_folder / "quadrell.exe");
  plant_dlls(console_folder);
  {
    Program console(console_folder / "quadrell.exe", {"-n", dir_ / "photos"});
    ASSERT_TRUE(console.ended_within(30000));
  }
  EXPECT_EQ(dlls_loaded_from(console_folder), std::vector<std::string>{}) << "quadrell.exe";
}

TEST_F(BlackBox, CheckBoxSurvivesARestart) {
  {
    Program program(executable());
    const RemoteWindow window = program.window();
    ASSERT_TRUE(window.found());
    EXPECT_FALSE(window.checked());
    window.click_check_box();
    ASSERT_TRUE(window.close(10000));
  }
  ASSERT_TRUE(std::filesystem::exists(marker()));
  EXPECT_EQ(std::filesystem::file_size(marker()), 0u);
  {
    Program program(executable());
    const RemoteWindow window = program.window();
    ASSERT_TRUE(window.found());
    EXPECT_TRUE(window.checked());
    window.click_check_box();
    // The system menu's Close, as Alt+F4 and the close box give it.
    PostMessageW(window.main(), WM_SYSCOMMAND, SC_CLOSE, 0);
    ASSERT_TRUE(program.ended_within(10000));
  }
  EXPECT_FALSE(std::filesystem::exists(marker()));
}

// At the end of the Windows session the setting is stored at once, and a
// close afterwards does not store it a second time.
TEST_F(BlackBox, EndOfSessionStoresTheSettingOnce) {
  Program program(executable());
  const RemoteWindow window = program.window();
  ASSERT_TRUE(window.found());
  window.click_check_box();
  SendMessageW(window.main(), WM_QUERYENDSESSION, 0, 0);
  SendMessageW(window.main(), WM_ENDSESSION, TRUE, 0);
  EXPECT_TRUE(std::filesystem::exists(marker()));
  window.click_check_box();
  ASSERT_TRUE(window.close(10000));
  EXPECT_TRUE(std::filesystem::exists(marker()));
}

// While a long drop runs, the window answers. Closing it, or the
// end of the Windows session, stops the run after the file in hand (the end
// of the session before its message returns), and every file is either as
// it was or changed with its dates kept.
TEST_F(BlackBox, LongDropStopsAfterTheFileInHandOnCloseOrEndOfSession) {
  const int count = 3000;
  for (const bool end_of_session : {false, true}) {
    const std::string folder = end_of_session ? "session" : "close";
    std::filesystem::create_directory(photo(folder));
    std::vector<std::filesystem::path> files;
    for (int i = 0; i < count; ++i) {
      files.push_back(photo(folder + "/photo-" + std::to_string(10000 + i) + ".jpg"));
      testing::write_bytes(files.back(), jfif_file(72, 96));
      testing::write_stamps(files.back(), testing::old_stamps());
    }
    Program program(executable());
    const RemoteWindow window = program.window();
    ASSERT_TRUE(window.found());
    if (!window.checked()) window.click_check_box();
    ASSERT_TRUE(window.post_drop({testing::native(photo(folder))}));
    const auto start = std::chrono::steady_clock::now();
    while (window.log_text().find(L" Change") == std::wstring::npos &&
           std::chrono::steady_clock::now() - start < std::chrono::seconds(60)) {
      Sleep(100);
    }
    // How fast it answers is a figure of make bench-gui; here it answers
    // while the run goes on, within a bound no busy machine reaches.
    for (int i = 0; i < 5; ++i) {
      DWORD_PTR result = 0;
      ASSERT_NE(SendMessageTimeoutW(window.main(), WM_NULL, 0, 0, SMTO_ABORTIFHUNG, kAnswerTimeout,
                                    &result),
                0)
          << "the window did not answer";
      ASSERT_EQ(window.log_text().find(L"Jpeg files =>"), std::wstring::npos)
          << "the run had ended before the window answered";
      Sleep(100);
    }
    if (end_of_session) {
      SendMessageW(window.main(), WM_ENDSESSION, TRUE, 0);
      const std::string log = utf8_from_wide(window.log_text());
      EXPECT_NE(log.find("\r\n\r\nJpeg files =>  total: "), std::string::npos)
          << "the run had not ended when the message returned";
      ASSERT_TRUE(window.close(20000));
    } else {
      PostMessageW(window.main(), WM_CLOSE, 0, 0);
      ASSERT_TRUE(program.ended_within(20000));
    }
    int changed = 0;
    for (const auto& file : files) {
      const auto bytes = testing::read_bytes(file);
      if (bytes == jfif_file(72, 96)) continue;
      ++changed;
      EXPECT_EQ(bytes, jfif_file(96, 96)) << file;
      EXPECT_EQ(testing::last_write_of(testing::read_stamps(file)),
                testing::last_write_of(testing::old_stamps()))
          << file;
    }
    EXPECT_GT(changed, 0) << folder;
    EXPECT_LT(changed, count) << folder << ": the run went on to its end";
  }
}

// Help is enabled again once the run has ended, after its summary line:
// Help then shows in the log until a run replaces it.
void show_help_after_the_run(const RemoteWindow& window) {
  const DWORD start = GetTickCount();
  while (!IsWindowEnabled(window.help_button()) && GetTickCount() - start < kRunTimeout) Sleep(20);
  window.click_help();
}

// Whether the log shows a change within the run's time.
bool change_shown(const RemoteWindow& window) {
  const DWORD start = GetTickCount();
  while (window.log_text().find(L" Change") == std::wstring::npos) {
    if (GetTickCount() - start >= kRunTimeout) return false;
    Sleep(20);
  }
  return true;
}

// Alt+Space, U when the item is greyed: the menu closes and nothing runs.
void expect_nothing_taken_back(const RemoteWindow& window, const char* when) {
  show_help_after_the_run(window);
  const std::wstring help = window.log_text();
  ASSERT_TRUE(window.press_take_back(kAnswerTimeout)) << when;
  Sleep(1000);
  EXPECT_EQ(window.log_text(), help) << when << ": a run was taken back";
}

// Chosen from the system menu: the newest run not taken back, as a run of
// its own whose log is the console's --undo log.
std::string take_back(const RemoteWindow& window) {
  show_help_after_the_run(window);
  if (!window.press_take_back(kAnswerTimeout) || !window.wait_for_summary(kRunTimeout)) return {};
  return utf8_from_wide(window.log_text());
}

std::size_t count_of(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
    ++count;
  }
  return count;
}

// Drops walked back newest first, from the system menu: bytes and dates
// back, a file changed since left alone with its line, the item greyed with
// no journal, during a run and once every journal is taken back.
TEST_F(BlackBox, DropsTakenBackFromTheSystemMenu) {
  const struct {
    const char* name;
    int drop;  // 1 or 2
    bool changed_since = false;
  } files[] = {{"a1.jpg", 1}, {"a2.jpg", 1}, {"b.jpg", 2}, {"x.jpg", 2, true}};
  std::map<std::string, testing::Stamps> before;
  for (const auto& file : files) {
    testing::write_bytes(photo(file.name), jfif_file(72, 96));
    testing::write_stamps(photo(file.name), testing::old_stamps());
    before[file.name] = testing::stamps_kept_by_reading(photo(file.name));
  }
  Program program(executable());
  const RemoteWindow window = program.window();
  ASSERT_TRUE(window.found());
  expect_nothing_taken_back(window, "no journal");
  for (const int drop : {1, 2}) {
    std::vector<std::wstring> paths;
    for (const auto& file : files) {
      if (file.drop == drop) paths.push_back(testing::native(photo(file.name)));
    }
    ASSERT_TRUE(window.drop(paths, kRunTimeout));
  }
  ASSERT_EQ(journals().size(), 2u);
  testing::write_bytes(photo("x.jpg"), jfif_file(1, 1));
  // A newest file that holds no journal takes nothing back, says so and is
  // passed.
  testing::write_bytes(journal_folder() / "3.txt", {});
  const std::string empty = take_back(window);
  EXPECT_TRUE(empty.starts_with("元に戻す処理: 3.txt（")) << empty;
  EXPECT_NE(empty.find("\r\n※ Quadrell の記録ではありません\r\n"), std::string::npos) << empty;
  EXPECT_TRUE(empty.ends_with("Jpeg files =>  total: 0  fair: 0  update: 0  error: 0")) << empty;

  const std::string second = take_back(window);
  EXPECT_TRUE(second.starts_with("元に戻す処理: 2.txt（")) << second;
  EXPECT_NE(second.find("\\x.jpg: 記録の後で変更されているため"), std::string::npos) << second;
  EXPECT_EQ(count_of(second, "b.jpg "), 1u) << second;
  EXPECT_EQ(count_of(second, " 15 16 Change"), 1u) << second;
  EXPECT_EQ(count_of(second, "x.jpg "), 1u) << second;
  EXPECT_EQ(count_of(second, " Access error!"), 1u) << second;
  EXPECT_TRUE(second.ends_with("Jpeg files =>  total: 2  fair: 0  update: 1  error: 1")) << second;
  EXPECT_EQ(testing::read_bytes(photo("x.jpg")), jfif_file(1, 1));
  EXPECT_EQ(testing::read_bytes(photo("a1.jpg")), jfif_file(96, 96)) << "the first drop's";

  const std::string first = take_back(window);
  EXPECT_TRUE(first.ends_with("Jpeg files =>  total: 2  fair: 0  update: 2  error: 0")) << first;
  for (const auto& file : files) {
    if (file.changed_since) continue;
    EXPECT_EQ(testing::stamps_kept_by_reading(photo(file.name)), before[file.name]) << file.name;
    EXPECT_EQ(testing::read_bytes(photo(file.name)), jfif_file(72, 96)) << file.name;
  }
  expect_nothing_taken_back(window, "every journal taken back");

  // While a run goes on the item is greyed; the run's own journal is then
  // the one to take back.
  std::filesystem::create_directory(photo("many"));
  for (int i = 0; i < 2000; ++i) {
    testing::write_bytes(photo("many/p" + std::to_string(i) + ".jpg"), jfif_file(72, 96));
  }
  ASSERT_TRUE(window.post_drop({testing::native(photo("many"))}));
  ASSERT_TRUE(change_shown(window));
  ASSERT_TRUE(window.press_take_back(kAnswerTimeout));
  ASSERT_TRUE(window.wait_for_summary(kRunTimeout));
  EXPECT_NE(utf8_from_wide(window.log_text()).find("total: 2000  fair: 0  update: 2000"),
            std::string::npos)
      << "the drop's log, ended as it would be";
  // Its undo stopped by closing the window is finished by the next choice,
  // after a restart.
  show_help_after_the_run(window);
  ASSERT_TRUE(window.press_take_back(kAnswerTimeout));
  ASSERT_TRUE(change_shown(window));
  PostMessageW(window.main(), WM_CLOSE, 0, 0);
  ASSERT_TRUE(program.ended_within(20000));
  const auto files_back = [&] {
    int back = 0;
    for (int i = 0; i < 2000; ++i) {
      back +=
          testing::read_bytes(photo("many/p" + std::to_string(i) + ".jpg")) == jfif_file(72, 96);
    }
    return back;
  };
  EXPECT_LT(files_back(), 2000) << "the undo went on to its end";
  Program again(executable());
  const RemoteWindow restarted = again.window();
  ASSERT_TRUE(restarted.found());
  const std::string finished = take_back(restarted);
  EXPECT_NE(finished.find(" error: 0"), std::string::npos)
      << finished.substr(finished.size() > 300 ? finished.size() - 300 : 0);
  EXPECT_EQ(files_back(), 2000);
  std::string names;
  for (const auto& name : journals()) names += name + " ";
  EXPECT_EQ(count_of(names, ".undone.txt"), 3u) << names;
  EXPECT_EQ(count_of(names, "3.passed.txt"), 1u) << names;
  expect_nothing_taken_back(restarted, "after a restart, every journal taken back");
  ASSERT_TRUE(restarted.close(10000));

  // Each row a window of its own over photos a, b and c, steps as a user's.
  constexpr std::int64_t k2099 = 157153824000000000;  // 2099-01-01, in FILETIME units
  enum class Act {
    kDrop,         // the photos named
    kDateAhead,    // the journal named, as a clock later set back dated it
    kPlant,        // an empty file of that name among the journals
    kPlantNewer,   // a journal of a newer format, by that name
    kRemove,       // the file of that name among the journals
    kHoldJournal,  // open with no sharing, as another program may
    kHoldPhoto,
    kLetGo,
    kRestart,
    kTakeBack,  // the journal the log names first, a line the log holds, the photos put back
    kGrey,
  };
  struct Step {
    Act act;
    const char* arg = "";
    const char* log = "";
    const char* back = "";
  };
  const struct {
    const char* name;
    std::vector<Step> steps;
  } rows[] = {
      {"clock set back",
       {{Act::kDrop, "a"},
        {Act::kDateAhead, "1.txt"},
        {Act::kDrop, "b"},
        {Act::kTakeBack, "2.txt", "", "b"},
        {Act::kTakeBack, "1.txt", "", "a"}}},
      {"a run not journaled, then a restart",
       {{Act::kDrop, "a"},
        {Act::kPlant, "18446744073709551615.undone.txt"},  // no number left
        {Act::kDrop, "b"},
        {Act::kRestart},
        {Act::kGrey},
        {Act::kRemove, "18446744073709551615.undone.txt"},
        {Act::kDrop, "c"},
        {Act::kTakeBack, "2.txt", "", "c"}}},
      {"a journal held open",
       {{Act::kDrop, "a"},
        {Act::kHoldJournal, "1.txt"},
        {Act::kTakeBack, "1.txt", "※ 記録を開けません: "},
        {Act::kLetGo},
        {Act::kTakeBack, "1.txt", "", "a"}}},
      {"a photo in use",
       {{Act::kDrop, "ab"},
        {Act::kHoldPhoto, "a"},
        {Act::kTakeBack, "1.txt", "\\a.jpg: 開けないか読めません: ", "b"},
        {Act::kLetGo},
        {Act::kTakeBack, "1.txt", "", "a"},
        {Act::kGrey}}},
      {"a newer format",
       {{Act::kDrop, "a"},
        {Act::kPlantNewer, "2.txt"},
        {Act::kTakeBack, "2.txt", "※ この Quadrell では読めない形式 (999) の記録です"},
        {Act::kTakeBack, "1.txt", "", "a"}}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    clear_journals();
    const std::string folder = std::string("row-") + std::to_string(&row - rows);
    std::filesystem::create_directory(photo(folder));
    const auto photo_of = [&](char name) { return photo(folder + "/" + name + ".jpg"); };
    for (const char name : std::string("abc"))
      testing::write_bytes(photo_of(name), jfif_file(72, 96));
    std::string dropped;
    std::string put_back;
    std::optional<Program> started(std::in_place, executable());
    RemoteWindow user = started->window();
    ASSERT_TRUE(user.found());
    std::optional<testing::ExclusiveLock> held;
    for (const Step& step : row.steps) {
      const std::filesystem::path named = journal_folder() / step.arg;
      switch (step.act) {
        case Act::kDrop: {
          std::vector<std::wstring> paths;
          for (const char* name = step.arg; *name != 0; ++name) {
            paths.push_back(testing::native(photo_of(*name)));
          }
          ASSERT_TRUE(user.drop(paths, kRunTimeout));
          show_help_after_the_run(user);  // the run has let go of its journal
          dropped += step.arg;
          break;
        }
        case Act::kDateAhead:
          testing::write_stamps(named, {{k2099, k2099, k2099, 0}});
          break;
        case Act::kPlant:
          testing::write_bytes(named, {});
          break;
        case Act::kPlantNewer: {
          const testing::Bytes first = testing::read_bytes(journal_folder() / "1.txt");
          std::string line(first.begin(), std::find(first.begin(), first.end(), '\n'));
          line = line.substr(0, line.find_last_not_of("0123456789") + 1) + "999\n";
          testing::write_bytes(named, testing::Bytes(line.begin(), line.end()));
          break;
        }
        case Act::kRemove:
          std::filesystem::remove(named);
          break;
        case Act::kHoldJournal:
        case Act::kHoldPhoto:
          held.emplace(step.act == Act::kHoldJournal ? named : photo_of(step.arg[0]));
          ASSERT_TRUE(held->held());
          break;
        case Act::kLetGo:
          held.reset();
          break;
        case Act::kRestart:
          ASSERT_TRUE(user.close(10000));
          started.emplace(executable());
          user = started->window();
          ASSERT_TRUE(user.found());
          break;
        case Act::kTakeBack: {
          const std::string log = take_back(user);
          EXPECT_TRUE(log.starts_with(std::string("元に戻す処理: ") + step.arg + "（")) << log;
          EXPECT_NE(log.find(step.log), std::string::npos) << log;
          put_back += step.back;
          break;
        }
        case Act::kGrey:
          expect_nothing_taken_back(user, row.name);
          break;
      }
      if (held) continue;  // a photo held cannot be read
      for (const char name : dropped) {
        const bool back = put_back.find(name) != std::string::npos;
        EXPECT_EQ(testing::read_bytes(photo_of(name)), jfif_file(back ? 72 : 96, 96))
            << name << (back ? " put back" : " as the drop left it");
      }
    }
    held.reset();
    ASSERT_TRUE(user.close(10000));
  }
}

// A run through the window while it is asked, between two looks at the
// log, how long it takes to answer: the run's seconds, the answers sorted.
struct WindowRun {
  double seconds = 0;
  std::vector<double> answers_ms;
};
WindowRun time_window_run(const RemoteWindow& window, const std::function<bool()>& start_run) {
  WindowRun run;
  const auto start = std::chrono::steady_clock::now();
  if (!start_run()) return run;
  while (!window.wait_for_summary(200)) {
    if (std::chrono::steady_clock::now() - start > std::chrono::minutes(30)) return run;
    const auto asked = std::chrono::steady_clock::now();
    DWORD_PTR result = 0;
    // How long it takes is a figure; only a window that does not answer
    // for as long as a run may take has failed.
    if (!SendMessageTimeoutW(window.main(), WM_NULL, 0, 0, SMTO_NORMAL, kRunTimeout, &result)) {
      return run;
    }
    run.answers_ms.push_back(
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - asked)
            .count());
  }
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::sort(run.answers_ms.begin(), run.answers_ms.end());
  return run;
}

void print_run(const char* what, const WindowRun& run) {
  std::printf("10,000 files: %s %.2f s", what, run.seconds);
  if (!run.answers_ms.empty()) {
    std::printf("; the window answered in %.1f ms (median), %.1f ms at most, %zu times asked",
                run.answers_ms[run.answers_ms.size() / 2], run.answers_ms.back(),
                run.answers_ms.size());
  }
  std::printf("\n");
}

// The window against the console program on the same files, a drop with
// its journal beside one whose journal cannot be made, and the journaled
// drop taken back from the system menu, every file's bytes and dates as
// before: make bench-gui prints the figures.
TEST_F(BlackBox, TenThousandFilesThroughTheWindow) {
  const int count = 10000;
  std::map<std::string, testing::Stamps> before;
  for (const char* folder : {"gui", "plain", "cli"}) {
    std::filesystem::create_directory(photo(folder));
    for (int i = 0; i < count; ++i) {
      const std::string name = std::string(folder) + "/photo-" + std::to_string(10000 + i) + ".jpg";
      testing::write_bytes(photo(name), jfif_file(72, i % 2 ? 96 : 72));
      if (std::string_view(folder) != "gui") continue;
      testing::write_stamps(photo(name), testing::old_stamps());
      before[name] = testing::stamps_kept_by_reading(photo(name));
    }
  }
  Program program(executable());
  const RemoteWindow window = program.window();
  ASSERT_TRUE(window.found());
  const auto drop = [&](const char* folder) {
    return [&window, this, folder] { return window.post_drop({testing::native(photo(folder))}); };
  };
  std::filesystem::create_directories(journal_folder().parent_path());
  testing::write_bytes(journal_folder(), {});
  const WindowRun plain = time_window_run(window, drop("plain"));
  clear_journals();
  const WindowRun journaled = time_window_run(window, drop("gui"));
  ASSERT_GT(journaled.seconds, 0);
  const std::string log = utf8_from_wide(window.log_text());
  EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), count + 1);
  EXPECT_TRUE(log.ends_with("Jpeg files =>  total: 10000  fair: 5000  update: 5000  error: 0"));
  EXPECT_EQ(journals().size(), 1u);

  show_help_after_the_run(window);
  const WindowRun undo =
      time_window_run(window, [&] { return window.press_take_back(kAnswerTimeout); });
  ASSERT_GT(undo.seconds, 0);
  EXPECT_NE(utf8_from_wide(window.log_text()).find("update: 5000  error: 0"), std::string::npos);
  int back = 0;
  for (const auto& [name, stamps] : before) {
    back += testing::stamps_kept_by_reading(photo(name)) == stamps &&
            testing::read_bytes(photo(name)) ==
                jfif_file(72, std::stoi(name.substr(name.size() - 5, 1)) % 2 ? 96 : 72);
  }
  EXPECT_EQ(back, count) << "files with their bytes and dates as before the drop";

  const std::wstring command = L"\"" + (build_folder() / "cli" / "quadrell.exe").native() +
                               L"\" \"" + testing::native(photo("cli")) + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE null_output =
      CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr);
  startup.hStdOutput = startup.hStdError = null_output;
  PROCESS_INFORMATION cli{};
  std::wstring mutable_command = command;
  const auto cli_start = std::chrono::steady_clock::now();
  ASSERT_TRUE(CreateProcessW(nullptr, mutable_command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                             nullptr, &startup, &cli));
  WaitForSingleObject(cli.hProcess, INFINITE);
  const double cli_seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - cli_start).count();
  CloseHandle(cli.hThread);
  CloseHandle(cli.hProcess);
  CloseHandle(null_output);
  std::printf(
      "10,000 files under Wine in Xvfb: Quadrell.exe (dropped on the window) %.2f s, "
      "quadrell.exe %.2f s, ratio %.2f\n",
      journaled.seconds, cli_seconds, journaled.seconds / cli_seconds);
  print_run("dropped, its journal kept,", journaled);
  print_run("dropped, no journal to be made,", plain);
  std::printf("10,000 files: the journaled drop is %.2f times the one without\n",
              journaled.seconds / plain.seconds);
  print_run("taken back from the system menu,", undo);
}

}  // namespace
}  // namespace quadrell
