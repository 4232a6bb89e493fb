#include <gtest/gtest.h>
#include <windows.h>

#include <shlobj.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "drop/drop_window_proc.h"
#include "engine/first_change_journal.h"
#include "platform/wide_text.h"
#include "platform/win_path.h"
#include "res/resource.h"
#include "tests/fake_window.h"
#include "tests/front_end_contract.h"
#include "tests/test_files.h"
#include "tests/test_platform.h"
#include "ui/forwarded_paths.h"
#include "ui/help_text.h"
#include "ui/kept_journals.h"
#include "ui/main_window.h"
#include "ui/message_loop.h"
#include "ui/run_post.h"
#include "ui/startup.h"
#include "ui/texts.h"
#include "ui/window_undo.h"

namespace quadrell::ui {
namespace {

using testing::dots;
using testing::jfif_file;

std::wstring text_of(HWND window) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(
      static_cast<std::size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return text;
}

// A control's text as the engine writes it, UTF-8.
std::string utf8_text_of(HWND window) { return utf8_from_wide(text_of(window)); }

void set_text_of(HWND window, std::string_view text) {
  SetWindowTextW(window, wide_from_utf8(text).c_str());
}

RECT client_rect_of(HWND control) {
  RECT rect{};
  GetWindowRect(control, &rect);
  MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

std::vector<std::wstring> split_lines(const std::wstring& text) {
  std::vector<std::wstring> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find(L"\r\n", start)) != std::wstring::npos; start = end + 2) {
    lines.push_back(text.substr(start, end - start));
  }
  lines.push_back(text.substr(start));
  return lines;
}

void pump_messages() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

// Sends a key through the program's own dialog handling, as the message
// loop would, with the given modifier held.
void press(const MainWindow& window, HWND target, WPARAM key, int modifier = 0) {
  BYTE state[256] = {};
  GetKeyboardState(state);
  if (modifier != 0) state[modifier] = 0x80;
  SetKeyboardState(state);
  MSG message{target, WM_KEYDOWN, key, 0, 0, {}};
  if (!handle_dialog_keys(window, message)) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  if (modifier != 0) state[modifier] = 0;
  SetKeyboardState(state);
}

// Handles this thread's messages until the window's run has ended; a quit
// message that an earlier window left is passed over.
void wait_for_run(const MainWindow& window) {
  while (window.running()) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, INFINITE, QS_ALLINPUT);
    pump_messages();
  }
}

// A drop as the shell hands it over: DROPFILES, then the UTF-16 names, each
// ending in NUL, and one more NUL (two for a drop of no name).
HDROP make_drop(const std::vector<std::wstring>& paths) {
  std::size_t size = sizeof(DROPFILES) + 2 * sizeof(wchar_t);
  for (const std::wstring& path : paths) size += (path.size() + 1) * sizeof(wchar_t);
  HGLOBAL memory = GlobalAlloc(GHND, size);
  auto* header = static_cast<DROPFILES*>(GlobalLock(memory));
  header->pFiles = sizeof(DROPFILES);
  header->fWide = TRUE;
  auto* names = reinterpret_cast<wchar_t*>(reinterpret_cast<BYTE*>(header) + sizeof(DROPFILES));
  for (const std::wstring& path : paths) {
    std::copy(path.begin(), path.end(), names);
    names += path.size() + 1;
  }
  GlobalUnlock(memory);
  return static_cast<HDROP>(memory);
}

bool released(HDROP drop) { return GlobalFlags(drop) == GMEM_INVALID_HANDLE; }

// The main window as the program makes it, shown, with drop_wnd_proc in
// front of its log box.
class Window : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(window_.create(GetModuleHandleW(nullptr), 96));
    ASSERT_TRUE(install_drop_wnd_proc(window_.list(), window_));
    window_.show(SW_SHOWNORMAL);
    SetForegroundWindow(window_.handle());
    pump_messages();
  }
  void TearDown() override {
    if (IsWindow(window_.list())) remove_drop_wnd_proc(window_.list());
  }

  // The log once the run of a drop on the log box has ended.
  std::string drop(const std::vector<std::wstring>& paths) {
    HDROP handle = make_drop(paths);
    SendMessageW(window_.list(), WM_DROPFILES, reinterpret_cast<WPARAM>(handle), 0);
    EXPECT_TRUE(released(handle));
    wait_for_run(window_);
    return utf8_text_of(window_.list());
  }
  std::wstring path(const std::string& name) const { return testing::native(dir_ / name); }

  testing::TempDir dir_;
  MainWindow window_;
};

TEST_F(Window, CaptionAndInitialText) {
  EXPECT_EQ(text_of(window_.handle()), L"Jpegファイルのアスペクト比を１：１に");
  EXPECT_EQ(text_of(window_.not_change_date()), L"ファイル日付を変えない");
  EXPECT_EQ(text_of(window_.about()), L"Help");
  EXPECT_EQ(text_of(window_.list()),
            L"\r\n処理するファイルかフォルダーをここにドロップして下さい\r\n");
  EXPECT_FALSE(window_.keep_dates());
}

struct Geometry {
  int dpi;
  SIZE client;
  RECT check;  // left, top, right, bottom in client pixels
  RECT list;
  RECT about;
};

// Twips 240/120/2175/255, 240/480/4695/4335, 4320/120/615/300 and a client
// area of 5235 x 4935: 15 twips a pixel at 96 DPI, 12 at 120.
TEST(WindowGeometry, ControlsInPixels) {
  const Geometry geometries[] = {
      {96, {349, 329}, {16, 8, 161, 25}, {16, 32, 329, 321}, {288, 8, 329, 28}},
      {120, {436, 411}, {20, 10, 201, 31}, {20, 40, 411, 401}, {360, 10, 411, 35}},
  };
  for (const Geometry& expected : geometries) {
    MainWindow window;
    ASSERT_TRUE(window.create(GetModuleHandleW(nullptr), expected.dpi));
    RECT client{};
    GetClientRect(window.handle(), &client);
    EXPECT_EQ(client.right, expected.client.cx) << expected.dpi;
    EXPECT_EQ(client.bottom, expected.client.cy) << expected.dpi;
    const std::pair<HWND, RECT> controls[] = {{window.not_change_date(), expected.check},
                                              {window.list(), expected.list},
                                              {window.about(), expected.about}};
    for (const auto& [control, rect] : controls) {
      const RECT actual = client_rect_of(control);
      EXPECT_EQ(actual.left, rect.left) << expected.dpi;
      EXPECT_EQ(actual.top, rect.top) << expected.dpi;
      EXPECT_EQ(actual.right, rect.right) << expected.dpi;
      EXPECT_EQ(actual.bottom, rect.bottom) << expected.dpi;
    }
  }
}

// This test program carries the program's resources too.
TEST_F(Window, TitleBarShowsTheProgramIcon) {
  EXPECT_NE(SendMessageW(window_.handle(), WM_GETICON, ICON_BIG, 0), 0);
  EXPECT_NE(SendMessageW(window_.handle(), WM_GETICON, ICON_SMALL, 0), 0);
}

TEST_F(Window, FixedFrameThatCanBeMinimised) {
  const LONG style = GetWindowLongW(window_.handle(), GWL_STYLE);
  EXPECT_TRUE(style & WS_MINIMIZEBOX);
  EXPECT_FALSE(style & WS_MAXIMIZEBOX);
  EXPECT_FALSE(style & WS_THICKFRAME);
}

TEST_F(Window, TabOrderAndInitialFocus) {
  EXPECT_EQ(GetFocus(), window_.not_change_date());
  press(window_, window_.not_change_date(), VK_TAB);
  EXPECT_EQ(GetFocus(), window_.list());
  press(window_, window_.list(), VK_TAB);
  EXPECT_EQ(GetFocus(), window_.about());
  press(window_, window_.about(), VK_TAB);
  EXPECT_EQ(GetFocus(), window_.not_change_date());
  press(window_, window_.not_change_date(), VK_TAB, VK_SHIFT);
  EXPECT_EQ(GetFocus(), window_.about());
  press(window_, window_.about(), VK_TAB, VK_SHIFT);
  EXPECT_EQ(GetFocus(), window_.list());
  press(window_, window_.list(), VK_TAB, VK_SHIFT);
  EXPECT_EQ(GetFocus(), window_.not_change_date());
}

TEST_F(Window, LogBoxIsReadOnlyWithSelectableText) {
  const LONG style = GetWindowLongW(window_.list(), GWL_STYLE);
  EXPECT_TRUE(style & ES_READONLY);
  EXPECT_TRUE(style & ES_MULTILINE);
  EXPECT_TRUE(style & WS_VSCROLL);
  EXPECT_FALSE(style & WS_HSCROLL) << "long lines wrap";
  SetFocus(window_.list());
  SendMessageW(window_.list(), WM_CHAR, L'x', 0);
  EXPECT_EQ(text_of(window_.list()), kInitialLog);

  press(window_, window_.list(), 'A', VK_CONTROL);
  DWORD start = 0, end = 0;
  SendMessageW(window_.list(), EM_GETSEL, reinterpret_cast<WPARAM>(&start),
               reinterpret_cast<LPARAM>(&end));
  EXPECT_EQ(start, 0u);
  EXPECT_EQ(end, static_cast<DWORD>(GetWindowTextLengthW(window_.list())));

  HDC context = GetDC(window_.list());
  EXPECT_EQ(SendMessageW(window_.handle(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(context),
                         reinterpret_cast<LPARAM>(window_.list())),
            reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW)))
      << "white like any document";
  ReleaseDC(window_.list(), context);
}

TEST_F(Window, HelpReplacesWhateverTheLogHolds) {
  SendMessageW(window_.not_change_date(), BM_CLICK, 0, 0);
  SetFocus(window_.about());
  for (const char* before : {"", "a.jpg ... OK\r\n\r\nJpeg files =>  total: 1", "x"}) {
    set_text_of(window_.list(), "");
    window_.show_lines(before);
    SetFocus(window_.about());
    SendMessageW(window_.about(), BM_CLICK, 0, 0);
    EXPECT_EQ(text_of(window_.list()), kHelpText);
    EXPECT_EQ(GetFocus(), window_.about()) << "Help leaves the focus where it was";
    EXPECT_EQ(SendMessageW(window_.list(), EM_GETFIRSTVISIBLELINE, 0, 0), 0);
  }
  SendMessageW(window_.about(), BM_CLICK, 0, 0);
  EXPECT_EQ(text_of(window_.list()), kHelpText) << "twice gives one copy";
  EXPECT_TRUE(window_.keep_dates()) << "the check box keeps its state";
}

// Drops as the shell hands them to the log box: each name read whole (a
// buffer kept from a longer one would leave its tail), in the drop's order,
// a folder's JPEG files within it; the run's log replaces what the log held,
// and a drop that names nothing (Wine hands one empty name) runs nothing.
TEST_F(Window, DropsRunTheirNamesInOrder) {
  struct File {
    const char* name;
    testing::Bytes before;
    testing::Bytes after;
  };
  const std::string help = utf8_from_wide(kHelpText);
  const struct {
    const char* name;
    std::vector<File> files;
    std::vector<std::string> dropped;
    std::string log;
  } rows[] = {
      {"a long name, then a shorter one",
       {{"a-rather-long-file-name.jpg", jfif_file(3, 3), jfif_file(3, 3)},
        {"b.jpg", jfif_file(1, 2), jfif_file(2, 2)}},
       {"a-rather-long-file-name.jpg", "b.jpg"},
       "a-rather-long-file-name.jpg " + dots(10) + " OK\r\nb.jpg " + dots(54) +
           " 15 16 Change\r\n\r\nJpeg files =>  total: 2  fair: 1  update: 1  error: 0"},
      {"files and a folder",
       {{"b.jpg", jfif_file(72, 96), jfif_file(96, 96)},
        {"album/写真.JPG", jfif_file(96, 96), jfif_file(96, 96)},
        {"album/notes.txt", jfif_file(1, 2), jfif_file(1, 2)},
        {"a.jpg", jfif_file(2, 1), jfif_file(2, 2)}},
       {"b.jpg", "album", "a.jpg"},
       "b.jpg " + dots(54) + " 15 16 Change\r\n写真.JPG " + dots(52) + " OK\r\na.jpg " + dots(54) +
           " 17 18 Change\r\n\r\nJpeg files =>  total: 3  fair: 1  update: 2  error: 0"},
      {"no JPEG file",
       {{"notes.txt", jfif_file(1, 2), jfif_file(1, 2)}},
       {"notes.txt", "missing.jpg"},
       "\r\nJpeg files =>  total: 0  fair: 0  update: 0  error: 0"},
      {"nothing named", {}, {}, help},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const std::string folder = "row-" + std::to_string(&row - rows) + "/";
    for (const File& file : row.files) {
      std::filesystem::create_directories((dir_ / (folder + file.name)).parent_path());
      testing::write_bytes(dir_ / (folder + file.name), file.before);
    }
    std::vector<std::wstring> paths;
    for (const std::string& name : row.dropped) paths.push_back(path(folder + name));
    window_.show_help();
    EXPECT_EQ(drop(paths), row.log);
    for (const File& file : row.files) {
      EXPECT_EQ(testing::read_bytes(dir_ / (folder + file.name)), file.after) << file.name;
    }
  }
}

// Cut to 255 characters, the name would be another file's: it must be read
// whole and that other file left alone.
TEST_F(Window, DroppedNameLongerThan260CharactersIsReadWhole) {
  std::wstring folder = path("");
  folder.pop_back();
  while (folder.size() < 240) {
    folder += L"\\folder-with-a-long-name";
    ASSERT_TRUE(CreateDirectoryW(extended_path(folder).c_str(), nullptr));
  }
  const std::wstring decoy = folder + L"\\" + std::wstring(255 - folder.size() - 1, L'x');
  const std::wstring target = decoy + L"-and-more-to-make-it-longer.jpg";
  ASSERT_GT(target.size(), 260u);
  for (const std::wstring& name : {decoy, target}) {
    testing::write_bytes(std::filesystem::path(extended_path(name)), jfif_file(1, 2));
  }
  const std::string log = drop({target});
  EXPECT_NE(log.find("-and-more-to-make-it-longer.jpg .... 15 16 Change"), std::string::npos)
      << log;
  EXPECT_EQ(testing::read_bytes(std::filesystem::path(extended_path(target))), jfif_file(2, 2));
  EXPECT_EQ(testing::read_bytes(std::filesystem::path(extended_path(decoy))), jfif_file(1, 2));
}

// Each click turns the check box, and a drop's run keeps its files' dates
// as the box was when the drop came.
TEST_F(Window, CheckBoxDecidesTheDropsDates) {
  for (const bool keep : {true, false}) {
    SCOPED_TRACE(keep ? "checked" : "unchecked");
    const auto photo = dir_ / (keep ? "kept.jpg" : "moved.jpg");
    testing::write_bytes(photo, jfif_file(1, 2));
    testing::write_stamps(photo, testing::old_stamps());
    const testing::Stamps before = testing::stamps_kept_by_reading(photo);
    SendMessageW(window_.not_change_date(), BM_CLICK, 0, 0);
    EXPECT_EQ(window_.keep_dates(), keep);
    drop({testing::native(photo)});
    EXPECT_EQ(testing::read_bytes(photo), jfif_file(2, 2));
    if (keep) {
      EXPECT_EQ(testing::stamps_kept_by_reading(photo), before);
    } else {
      EXPECT_NE(testing::last_write_of(testing::read_stamps(photo)),
                testing::last_write_of(testing::old_stamps()));
    }
  }
}

TEST_F(Window, FrontEndContract) {
  RunPost post;
  testing::expect_report_shown(
      [&]() -> RunListener& {
        set_text_of(window_.list(), "");
        post.begin(window_.handle());
        return post;
      },
      [&] {
        window_.show_lines(post.take().text);
        return utf8_text_of(window_.list());
      });
}

TEST_F(Window, ScrollToEndMovesFocusCaretAndView) {
  std::string text;
  for (int i = 0; i < 200; ++i) text += "line " + std::to_string(i) + "\r\n";
  set_text_of(window_.list(), "");
  SetFocus(window_.about());
  window_.show_lines(text + "last");
  EXPECT_EQ(GetFocus(), window_.list());
  DWORD start = 0, end = 0;
  SendMessageW(window_.list(), EM_GETSEL, reinterpret_cast<WPARAM>(&start),
               reinterpret_cast<LPARAM>(&end));
  const auto length = static_cast<DWORD>(GetWindowTextLengthW(window_.list()));
  EXPECT_EQ(start, length);
  EXPECT_EQ(end, length);
  EXPECT_GT(SendMessageW(window_.list(), EM_GETFIRSTVISIBLELINE, 0, 0), 150);
}

// The edit control's default limit would cut the log of a long run short.
// Most of the lines go in as one append: Wine's edit control takes time that
// grows with the text for each append, which real Windows does not.
TEST_F(Window, AHundredThousandLinesAreAllKept) {
  set_text_of(window_.list(), "");
  const int count = 100000;
  const int one_by_one = 50;
  std::string bulk;
  for (int i = 0; i < count - one_by_one; ++i) {
    if (i > 0) bulk += "\r\n";
    bulk += "photo-" + std::to_string(i) + ".jpg ................................ OK";
  }
  window_.show_lines(bulk);
  for (int i = count - one_by_one; i < count; ++i) {
    window_.show_lines("\r\nphoto-" + std::to_string(i) +
                       ".jpg ................................ OK");
  }
  window_.show_lines("\r\n\r\nJpeg files =>  total: 100000  fair: 100000  update: 0  error: 0");
  const std::vector<std::wstring> lines = split_lines(text_of(window_.list()));
  ASSERT_EQ(lines.size(), static_cast<std::size_t>(count + 2));
  EXPECT_EQ(lines[0], L"photo-0.jpg ................................ OK");
  EXPECT_EQ(lines[count - 1], L"photo-99999.jpg ................................ OK");
  EXPECT_EQ(lines[count + 1], L"Jpeg files =>  total: 100000  fair: 100000  update: 0  error: 0");
}

// Handles the window's messages until a timer of this thread fires: its
// message comes only once no other is waiting, the window's input and
// painting included, so the window has answered all it was sent.
void wait_for_the_window_to_answer() {
  const UINT_PTR timer = SetTimer(nullptr, 0, 1, nullptr);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (message.message == WM_TIMER && message.hwnd == nullptr) break;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  KillTimer(nullptr, timer);
}

// The way from a run to the window: a run that makes lines far faster than
// the edit control can take them never holds the window, and its lines all
// come, in order, behind the summary; closing the window during a run
// stops it and waits for its end.
TEST_F(Window, RunReachesTheLogWithoutHoldingTheWindow) {
  std::atomic<bool> answered{false};
  std::atomic<int> made{0};
  const auto line = [](int i) { return "photo-" + std::to_string(i) + ".jpg ... OK"; };
  // Lines in bursts, many to a frame of the screen, and not so many that
  // Wine's edit control, whose appends cost as the log grows, takes long.
  const auto note = [&](RunPost& post, int i) {
    post.note(line(i));
    if (i % 20 == 19) Sleep(1);
  };
  window_.start([&](RunPost& post, const RunStop&) {
    int i = 0;
    for (; !answered; ++i) note(post, i);
    for (const int last = i + 500; i < last; ++i) note(post, i);
    made = i;
    post.run_ended({i, i, 0, 0});
  });
  wait_for_the_window_to_answer();
  answered = true;
  wait_for_run(window_);
  const int count = made;
  std::string expected;
  for (int i = 0; i < count; ++i) expected += (i > 0 ? "\r\n" : "") + line(i);
  expected += "\r\n\r\n" + summary_line({count, count, 0, 0});
  EXPECT_EQ(utf8_text_of(window_.list()), expected);

  std::atomic<bool> returned{false};
  window_.start([&](RunPost& post, const RunStop& stop) {
    for (int i = 0; !stop.requested(); ++i) note(post, i);
    returned = true;
  });
  wait_for_the_window_to_answer();
  EXPECT_FALSE(returned);
  SendMessageW(window_.handle(), WM_CLOSE, 0, 0);
  EXPECT_TRUE(returned) << "closed once the run has ended";
  EXPECT_FALSE(IsWindow(window_.handle()));
  MSG quit;
  PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);  // the closed window's
}

// A window procedure that records what reaches it.
struct Received {
  UINT message;
  WPARAM wparam;
  LPARAM lparam;
};
std::vector<Received> received;
constexpr LRESULT kOwnResult = 4321;

LRESULT CALLBACK recording_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_USER + 7 || message == WM_DROPFILES) {
    received.push_back({message, wparam, lparam});
    return kOwnResult;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

// Runs each drop at once on a fake window.
struct RunOnFakeWindow final : DropTarget {
  void run_drop(std::vector<NativePath> names) override { drop_run(window, names); }
  testing::FakeWindow window;
};

// drop_wnd_proc in front of a recording procedure: every message, a drop
// too, goes on to it unchanged and its result comes back; a drop's names
// are read and the drop released before its run, here on a fake window.
TEST(DropProcedure, PassesEveryMessageOnAfterTheDrop) {
  WNDCLASSW window_class{};
  window_class.lpfnWndProc = &recording_procedure;
  window_class.hInstance = GetModuleHandleW(nullptr);
  window_class.lpszClassName = L"QuadrellRecorder";
  RegisterClassW(&window_class);
  testing::TempDir dir;
  testing::write_bytes(dir / "a.jpg", jfif_file(1, 1));
  testing::write_bytes(dir / "b.jpg", jfif_file(1, 1));
  const struct {
    UINT message;
    std::vector<std::wstring> dropped;
    std::string log;
  } rows[] = {
      {WM_USER + 7, {}, ""},
      {WM_DROPFILES,
       {testing::native(dir / "b.jpg"), testing::native(dir / "a.jpg")},
       "b.jpg " + dots(54) + " OK\r\na.jpg " + dots(54) +
           " OK\r\n\r\nJpeg files =>  total: 2  fair: 2  update: 0  error: 0"},
  };
  for (const auto& row : rows) {
    HWND target = CreateWindowExW(0, L"QuadrellRecorder", L"", 0, 0, 0, 10, 10, nullptr, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(target, nullptr);
    RunOnFakeWindow fake;
    ASSERT_TRUE(install_drop_wnd_proc(target, fake));
    received.clear();
    const bool dropping = row.message == WM_DROPFILES;
    const WPARAM wparam = dropping ? reinterpret_cast<WPARAM>(make_drop(row.dropped)) : 0x1234;
    bool released_at_first_file = false;
    fake.window.on_next_file = [&] {
      if (fake.window.next_files == 1)
        released_at_first_file = released(reinterpret_cast<HDROP>(wparam));
    };
    EXPECT_EQ(SendMessageW(target, row.message, wparam, 0x5678), kOwnResult);
    EXPECT_EQ(fake.window.text, row.log);
    EXPECT_EQ(released_at_first_file, dropping);
    ASSERT_EQ(received.size(), 1u) << row.message;
    EXPECT_EQ(received[0].message, row.message);
    EXPECT_EQ(received[0].wparam, wparam);
    EXPECT_EQ(received[0].lparam, 0x5678);
    remove_drop_wnd_proc(target);
    DestroyWindow(target);
  }
}

// Only data of a second start's own form becomes a run.
TEST(ForwardedPaths, OnlyOurOwnData) {
  const std::vector<NativePath> paths = {L"C:\\photos", L"D:\\写真\\a.jpg"};
  std::wstring packed = pack_paths(paths);
  COPYDATASTRUCT data{0x51445250, static_cast<DWORD>(packed.size() * sizeof(wchar_t)),
                      packed.data()};
  EXPECT_EQ(forwarded_paths(data), paths);
  COPYDATASTRUCT other_tag = data;
  other_tag.dwData = 1;
  EXPECT_FALSE(forwarded_paths(other_tag).has_value());
  COPYDATASTRUCT odd_size = data;
  odd_size.cbData -= 1;
  EXPECT_FALSE(forwarded_paths(odd_size).has_value());
  COPYDATASTRUCT unterminated = data;
  unterminated.cbData = 2 * sizeof(wchar_t);  // "C:" without its NUL names nothing
  EXPECT_FALSE(forwarded_paths(unterminated).has_value());
}

TEST(StartupFailure, NamesTheStepAndTheReason) {
  const std::wstring text = startup_failure_text(L"ウィンドウの作成", ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_EQ(text.rfind(L"起動できませんでした: ウィンドウの作成\r\n", 0), 0u) << text;
  EXPECT_TRUE(text.ends_with(L"(8)")) << text;
  EXPECT_GT(text.size(), std::wstring(L"起動できませんでした: ウィンドウの作成\r\n(8)").size())
      << "the system's reason stands before the code";
}

// The built program's resources, read from its file.
class ProgramFile : public ::testing::Test {
 protected:
  static std::wstring program() {
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    return (std::filesystem::path(self).parent_path().parent_path() / "ui" / "Quadrell.exe")
        .native();
  }
};

TEST_F(ProgramFile, VersionResourceIsJapaneseAndReads100) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(program().c_str(), &ignored);
  ASSERT_GT(size, 0u);
  std::vector<BYTE> data(size);
  ASSERT_TRUE(GetFileVersionInfoW(program().c_str(), 0, size, data.data()));
  const auto value = [&](const wchar_t* name) {
    wchar_t* text = nullptr;
    UINT length = 0;
    const std::wstring key = std::wstring(L"\\StringFileInfo\\041104b0\\") + name;
    if (!VerQueryValueW(data.data(), key.c_str(), reinterpret_cast<void**>(&text), &length)) {
      return std::wstring(L"(missing)");
    }
    return std::wstring(text);
  };
  EXPECT_EQ(value(L"FileVersion"), L"1.00");
  EXPECT_EQ(value(L"ProductVersion"), L"1.00");
  EXPECT_EQ(value(L"ProductName"), L"Quadrell");
  EXPECT_EQ(value(L"FileDescription"), L"Jpegファイルのアスペクト比を１：１にするツール");
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
  EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
  WORD* translation = nullptr;
  ASSERT_TRUE(VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation",
                             reinterpret_cast<void**>(&translation), &length));
  EXPECT_EQ(translation[0], 0x0411);
}

#pragma pack(push, 2)
struct IconDirectoryEntry {
  BYTE width;
  BYTE height;
  BYTE colours;
  BYTE reserved;
  WORD planes;
  WORD bit_count;
  DWORD bytes;
  WORD id;
};
#pragma pack(pop)

TEST_F(ProgramFile, OneIconInThreeImagesAndTheManifest) {
  HMODULE module = LoadLibraryExW(program().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(module, nullptr);
  HRSRC group = FindResourceW(module, MAKEINTRESOURCEW(IDI_QUADRELL), RT_GROUP_ICON);
  ASSERT_NE(group, nullptr);
  const auto* bytes = static_cast<const BYTE*>(LockResource(LoadResource(module, group)));
  const WORD count = *reinterpret_cast<const WORD*>(bytes + 4);
  ASSERT_EQ(count, 3);
  std::vector<std::tuple<int, int, int>> images;
  for (WORD i = 0; i < count; ++i) {
    IconDirectoryEntry entry;
    std::memcpy(&entry, bytes + 6 + i * sizeof entry, sizeof entry);
    images.emplace_back(entry.width, entry.colours, entry.bit_count);
  }
  EXPECT_EQ(images, (std::vector<std::tuple<int, int, int>>{{32, 2, 1}, {32, 16, 4}, {16, 16, 4}}));
  for (const int size : {16, 32}) {
    HANDLE icon = LoadImageW(module, MAKEINTRESOURCEW(IDI_QUADRELL), IMAGE_ICON, size, size, 0);
    EXPECT_NE(icon, nullptr) << size << " x " << size;
    if (icon != nullptr) DestroyIcon(static_cast<HICON>(icon));
  }

  HRSRC manifest = FindResourceW(module, MAKEINTRESOURCEW(1), RT_MANIFEST);
  ASSERT_NE(manifest, nullptr);
  const std::string text(static_cast<const char*>(LockResource(LoadResource(module, manifest))),
                         SizeofResource(module, manifest));
  for (const char* setting : {"Microsoft.Windows.Common-Controls", "asInvoker", "<dpiAware>true",
                              "<longPathAware>true"}) {
    EXPECT_NE(text.find(setting), std::string::npos) << setting;
  }
  FreeLibrary(module);
}

// Whether the system menu's last item, the one that takes a run back, shows
// greyed as the menu opens.
bool take_back_greyed(const MainWindow& window) {
  HMENU menu = GetSystemMenu(window.handle(), FALSE);
  const auto last = static_cast<UINT>(GetMenuItemCount(menu) - 1);
  SendMessageW(window.handle(), WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(menu),
               MAKELPARAM(0, TRUE));
  return (GetMenuState(menu, last, MF_BYPOSITION) & MF_GRAYED) != 0;
}

// The system menu's last item, as the menu shows it on opening: greyed
// with nothing to take back, enabled with a journal not taken back.
TEST_F(Window, TakeBackItemInTheSystemMenu) {
  HMENU menu = GetSystemMenu(window_.handle(), FALSE);
  ASSERT_NE(menu, nullptr);
  const int last = GetMenuItemCount(menu) - 1;
  wchar_t text[64] = {};
  GetMenuStringW(menu, static_cast<UINT>(last), text, 64, MF_BYPOSITION);
  EXPECT_STREQ(text, L"直前の処理を元に戻す(&U)");
  EXPECT_NE(GetMenuState(menu, static_cast<UINT>(last - 1), MF_BYPOSITION) & MF_SEPARATOR, 0u);
  const auto greyed = [&] { return take_back_greyed(window_); };
  EXPECT_TRUE(greyed()) << "no journals";
  testing::TempDir dir;
  window_.set_journals(KeptJournals(dir.path().native()));
  EXPECT_TRUE(greyed()) << "none kept";
  testing::write_bytes(dir.path() / "1.txt", {});
  EXPECT_FALSE(greyed());
  testing::write_bytes(dir.path() / "2.undone.txt", {});
  EXPECT_FALSE(greyed()) << "an older one not taken back";
  testing::write_bytes(dir.path() / "unrecorded", {});
  EXPECT_TRUE(greyed()) << "a run changed a file without its record";
}

// With journals, a run that changes nothing keeps none and the last 20
// runs that changed a file are kept; where their folder cannot be made, a
// drop runs as without and nothing is offered to take back.
TEST_F(Window, JournalsOfTheLastTwentyRunsThatChangedAFile) {
  const auto folder = dir_ / "Quadrell" / "journal";
  const auto journals = [&] {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  };
  window_.set_journals(KeptJournals(folder.native()));
  testing::write_bytes(dir_ / "fair.jpg", jfif_file(96, 96));
  drop({path("fair.jpg")});
  EXPECT_EQ(journals(), std::vector<std::string>{});
  std::string oldest;
  for (int run = 0; run < 21; ++run) {
    const std::string name = "run" + std::to_string(run) + ".jpg";
    testing::write_bytes(dir_ / name, jfif_file(72, 96));
    drop({path(name)});
    if (run == 0) oldest = journals().at(0);
  }
  const std::vector<std::string> kept = journals();
  EXPECT_EQ(kept.size(), kJournalsKept);
  EXPECT_EQ(std::count(kept.begin(), kept.end(), oldest), 0) << oldest;
  EXPECT_FALSE(take_back_greyed(window_));

  const auto blocked = dir_ / "blocked";
  testing::write_bytes(blocked, {});
  window_.set_journals(KeptJournals(blocked.native()));
  testing::write_bytes(dir_ / "a.jpg", jfif_file(72, 96));
  drop({path("a.jpg")});
  EXPECT_EQ(testing::read_bytes(dir_ / "a.jpg"), jfif_file(96, 96));
  EXPECT_TRUE(take_back_greyed(window_)) << "no journal could be made";
  EXPECT_TRUE(std::filesystem::is_regular_file(blocked));
}

// Numbers one past the highest in the folder, whatever its files are (taken
// back, passed, a folder; planted names that are no number of ours count
// for nothing); the newest offered first; a stale ".undone.txt" replaced;
// no more numbers than kept.
TEST(KeptJournals, NumbersAndTakingBack) {
  testing::TempDir dir;
  const auto folder = dir.path() / "Quadrell" / "journal";
  KeptJournals kept(folder.native());
  const auto name_of = [](const std::optional<std::wstring>& path) {
    return path ? std::filesystem::path(*path).filename().string() : std::string("(none)");
  };
  const auto offered = [&] {
    const auto journal = kept.to_take_back();
    return journal ? utf8_from_wide(journal->name) : std::string("(none)");
  };
  EXPECT_EQ(offered(), "(none)");
  EXPECT_EQ(name_of(kept.new_journal()), "1.txt");
  EXPECT_EQ(name_of(kept.new_journal()), "2.txt");
  EXPECT_EQ(offered(), "2.txt");
  testing::write_bytes(folder / "2.undone.txt", {'x'});
  EXPECT_EQ(kept.mark_taken_back(*kept.to_take_back()), 0u);
  EXPECT_EQ(testing::read_bytes(folder / "2.undone.txt"), testing::Bytes{}) << "stale replaced";
  EXPECT_EQ(offered(), "1.txt");
  const struct {
    const char* planted;
    bool folder;
    const char* next;
  } plants[] = {
      {"3.passed.txt", false, "4.txt"},
      {"0017.txt", false, "5.txt"},
      {"18446744073709551616.txt", false, "6.txt"},  // past 64 bits
      {"9.txt", true, "10.txt"},
      {"18446744073709551614.undone.txt", false, "18446744073709551615.txt"},
      {"notes.txt", false, "(none)"},  // the largest number is taken
  };
  for (const auto& plant : plants) {
    if (plant.folder) {
      std::filesystem::create_directory(folder / plant.planted);
    } else {
      testing::write_bytes(folder / plant.planted, {});
    }
    EXPECT_EQ(name_of(kept.new_journal()), plant.next) << plant.planted;
  }
  EXPECT_EQ(offered(), "18446744073709551615.txt");

  // Passed: renamed, or, held open by another program, for this object's
  // life alone.
  kept.pass(*kept.to_take_back());
  EXPECT_TRUE(std::filesystem::exists(folder / "18446744073709551615.passed.txt"));
  EXPECT_EQ(offered(), "10.txt");
  {
    testing::ExclusiveLock held(folder / "10.txt");
    ASSERT_TRUE(held.held());
    kept.pass(*kept.to_take_back());
  }
  EXPECT_EQ(offered(), "9.txt") << "a folder too, which the undo passes";
  EXPECT_EQ(KeptJournals(folder.native()).to_take_back()->name, L"10.txt") << "after a restart";

  std::filesystem::remove_all(folder);
  for (int i = 0; i < 25; ++i) kept.new_journal();
  testing::write_bytes(folder / "5.undone.txt", {});
  testing::write_bytes(folder / "6.passed.txt", {});
  kept.keep_newest();
  std::vector<std::string> left;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    left.push_back(entry.path().filename().string());
  }
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left.size(), kJournalsKept + 1) << "20 numbers, 6 in two files";
  EXPECT_EQ(left.front(), "10.txt");
  EXPECT_EQ(left.back(), "9.txt");
  EXPECT_EQ(std::count(left.begin(), left.end(), "6.passed.txt"), 1);
  EXPECT_EQ(std::count(left.begin(), left.end(), "5.undone.txt"), 0);
}

// The item's grey across a restart: a file in the folder.
TEST(KeptJournals, UnrecordedRunIsKeptInTheFolder) {
  testing::TempDir dir;
  KeptJournals kept(dir.path().native());
  EXPECT_FALSE(kept.unrecorded_run());
  kept.set_unrecorded_run(true);
  EXPECT_TRUE(KeptJournals(dir.path().native()).unrecorded_run());
  kept.set_unrecorded_run(false);
  EXPECT_FALSE(kept.unrecorded_run());
}

// An undo's own lines in its log: the run it takes back first, records not
// sound named by their line, ten of them, then counted, and the summary
// last; such records keep no journal offered.
TEST_F(Window, UndoNamesUnsoundRecordsTenThenCounted) {
  testing::TempDir dir;
  testing::write_bytes(dir / "a.jpg", testing::jfif_file(72, 96));
  KeptJournals kept((dir.path() / "journal").native());
  {
    testing::FakeWindow log;
    FirstChangeJournal journal([&] { return kept.new_journal(); }, [](const NativePath&) {});
    RunOptions options;
    options.record = &journal;
    drop_run(log, {testing::native(dir / "a.jpg")}, options);
  }
  testing::Bytes journal = testing::read_bytes(dir / "journal/1.txt");
  const auto first_added = std::count(journal.begin(), journal.end(), '\n') + 1;
  for (int i = 0; i < 12; ++i) journal.insert(journal.end(), {'?', '\n'});
  testing::write_bytes(dir / "journal/1.txt", journal);
  window_.start([&kept, taken = *kept.to_take_back()](RunPost& post, const RunStop& stop) {
    take_back(post, kept, taken, stop);
  });
  wait_for_run(window_);
  const std::string log = utf8_text_of(window_.list());
  EXPECT_TRUE(log.starts_with("元に戻す処理: 1.txt（記録の開始 ")) << log;
  EXPECT_NE(log.find("※ 記録の " + std::to_string(first_added + 9) + " 行目は"), std::string::npos)
      << log;
  EXPECT_EQ(log.find("※ 記録の " + std::to_string(first_added + 10) + " 行目は"), std::string::npos)
      << log;
  EXPECT_NE(log.find("※ ほかに 2 行が正しい記録ではないため"), std::string::npos) << log;
  EXPECT_TRUE(log.ends_with("Jpeg files =>  total: 1  fair: 0  update: 1  error: 0")) << log;
  EXPECT_EQ(testing::read_bytes(dir / "a.jpg"), testing::jfif_file(72, 96));
  EXPECT_TRUE(std::filesystem::exists(dir / "journal/1.undone.txt"));
}

}  // namespace
}  // namespace quadrell::ui
