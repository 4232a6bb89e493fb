#include <gtest/gtest.h>
#include <windows.h>

#include <shlobj.h>

#include <filesystem>
#include <string>
#include <vector>

#include "drop/drop_window_proc.h"
#include "engine/process_path.h"
#include "platform/win_path.h"
#include "tests/fake_window.h"
#include "tests/test_files.h"
#include "tests/window_text.h"
#include "ui/main_window.h"

namespace quadrell {
namespace {

using testing::dots;

using testing::jfif_file;

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

// The main window with drop_wnd_proc installed on its log box.
class DropOnWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(window_.create(GetModuleHandleW(nullptr), 96));
    ASSERT_TRUE(install_drop_wnd_proc(window_.list(), window_));
  }
  void TearDown() override { remove_drop_wnd_proc(window_.list()); }

  // The log once the drop's run has ended on its thread.
  std::string drop(const std::vector<std::wstring>& paths) {
    HDROP handle = make_drop(paths);
    SendMessageW(window_.list(), WM_DROPFILES, reinterpret_cast<WPARAM>(handle), 0);
    EXPECT_TRUE(released(handle));
    // A quit message that an earlier window left is passed over too.
    while (window_.running()) {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, INFINITE, QS_ALLINPUT);
      MSG message;
      while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    }
    return testing::utf8_text_of(window_.list());
  }

  std::wstring path(const char* name) const { return testing::native(dir_ / name); }

  testing::TempDir dir_;
  ui::MainWindow window_;
};

TEST_F(DropOnWindow, LongNameThenShorterName) {
  testing::write_bytes(dir_ / "a-rather-long-file-name.jpg", jfif_file(3, 3));
  testing::write_bytes(dir_ / "b.jpg", jfif_file(3, 3));
  EXPECT_EQ(drop({path("a-rather-long-file-name.jpg"), path("b.jpg")}),
            "a-rather-long-file-name.jpg " + dots(10) + " OK\r\nb.jpg " + dots(54) +
                " OK\r\n\r\nJpeg files =>  total: 2  fair: 2  update: 0  error: 0");
}

// Cut to 255 characters, the name would be another file's: it must be read
// whole and that other file left alone.
TEST_F(DropOnWindow, NameLongerThan260CharactersIsReadWhole) {
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

TEST_F(DropOnWindow, NoJpegGivesAnEmptyLineAndTheZeroSummary) {
  testing::write_bytes(dir_ / "notes.txt", jfif_file(1, 2));
  window_.show_help();
  EXPECT_EQ(drop({path("notes.txt"), path("missing.jpg")}),
            "\r\nJpeg files =>  total: 0  fair: 0  update: 0  error: 0");
}

TEST_F(DropOnWindow, DropNamingNothingIsReleasedAndTheLogKept) {
  testing::set_text_of(window_.list(), "kept");
  EXPECT_EQ(drop({}), "kept");
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

class DropOnRecorder : public ::testing::Test {
 protected:
  void SetUp() override {
    WNDCLASSW window_class{};
    window_class.lpfnWndProc = &recording_procedure;
    window_class.hInstance = GetModuleHandleW(nullptr);
    window_class.lpszClassName = L"QuadrellRecorder";
    RegisterClassW(&window_class);
    target_ = CreateWindowExW(0, L"QuadrellRecorder", L"", 0, 0, 0, 10, 10, nullptr, nullptr,
                              GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(target_, nullptr);
    received.clear();
    ASSERT_TRUE(install_drop_wnd_proc(target_, run_on_fake_));
  }
  void TearDown() override {
    remove_drop_wnd_proc(target_);
    DestroyWindow(target_);
  }
  HWND target_ = nullptr;
  RunOnFakeWindow run_on_fake_;
  testing::FakeWindow& fake_ = run_on_fake_.window;
};

TEST_F(DropOnRecorder, OtherMessagesPassUnchanged) {
  EXPECT_EQ(SendMessageW(target_, WM_USER + 7, 0x1234, 0x5678), kOwnResult);
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0].message, static_cast<UINT>(WM_USER + 7));
  EXPECT_EQ(received[0].wparam, 0x1234u);
  EXPECT_EQ(received[0].lparam, 0x5678);
  EXPECT_EQ(fake_.text, "");
}

TEST_F(DropOnRecorder, NamesAreReadAndTheDropReleasedBeforeTheRun) {
  testing::TempDir dir;
  testing::write_bytes(dir / "a.jpg", jfif_file(1, 1));
  testing::write_bytes(dir / "b.jpg", jfif_file(1, 1));
  HDROP handle = make_drop({testing::native(dir / "b.jpg"), testing::native(dir / "a.jpg")});
  bool released_at_first_file = false;
  fake_.on_next_file = [&] {
    if (fake_.next_files == 1) released_at_first_file = released(handle);
  };
  EXPECT_EQ(SendMessageW(target_, WM_DROPFILES, reinterpret_cast<WPARAM>(handle), 99), kOwnResult);
  EXPECT_TRUE(released_at_first_file);
  EXPECT_EQ(fake_.text, "b.jpg " + dots(54) + " OK\r\na.jpg " + dots(54) +
                            " OK\r\n\r\nJpeg files =>  total: 2  fair: 2  update: 0  error: 0");
  ASSERT_EQ(received.size(), 1u) << "the drop goes on after the run";
  EXPECT_EQ(received[0].wparam, reinterpret_cast<WPARAM>(handle));
  EXPECT_EQ(received[0].lparam, 99);
}

}  // namespace
}  // namespace quadrell
