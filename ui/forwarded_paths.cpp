#include "ui/forwarded_paths.h"

#include <stdlib.h>

#include "platform/directory.h"
#include "ui/main_window.h"

namespace quadrell::ui {
namespace {

constexpr ULONG_PTR kPathsTag = 0x51445250;  // "QDRP"

// The first instance may hold its mutex a moment before its window exists.
constexpr int kFindAttempts = 50;
constexpr DWORD kFindPause = 100;

}  // namespace

// The C runtime's own split of the command line, so that SHELL32 is not
// needed for it.
std::vector<NativePath> command_line_paths() {
  std::vector<NativePath> paths;
  for (int i = 1; i < __argc; ++i) {
    if (__wargv[i][0] != L'\0') paths.push_back(fs::absolute_path(__wargv[i]));
  }
  return paths;
}

std::wstring pack_paths(const std::vector<NativePath>& paths) {
  std::wstring packed;
  for (const NativePath& path : paths) {
    packed += path;
    packed += L'\0';
  }
  return packed;
}

std::optional<std::vector<NativePath>> forwarded_paths(const COPYDATASTRUCT& data) {
  if (data.dwData != kPathsTag || data.cbData % sizeof(wchar_t) != 0) return std::nullopt;
  const std::wstring_view packed(static_cast<const wchar_t*>(data.lpData),
                                 data.cbData / sizeof(wchar_t));
  std::vector<NativePath> paths;
  std::size_t start = 0;
  for (std::size_t end; (end = packed.find(L'\0', start)) != std::wstring_view::npos;
       start = end + 1) {
    if (end > start) paths.emplace_back(packed.substr(start, end - start));
  }
  if (paths.empty()) return std::nullopt;
  return paths;
}

bool forward_to_running_instance(const std::vector<NativePath>& paths) {
  const std::wstring packed = pack_paths(paths);
  COPYDATASTRUCT data{kPathsTag, static_cast<DWORD>(packed.size() * sizeof(wchar_t)),
                      const_cast<wchar_t*>(packed.data())};
  for (int attempt = 0; attempt < kFindAttempts; ++attempt) {
    if (HWND running = FindWindowW(MainWindow::kWindowClass, nullptr)) {
      return SendMessageW(running, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data)) == TRUE;
    }
    Sleep(kFindPause);
  }
  return false;
}

}  // namespace quadrell::ui
