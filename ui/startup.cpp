#include "ui/startup.h"

#include "drop/drop_window_proc.h"
#include "drop/shell_drop.h"
#include "platform/fs.h"
#include "platform/wide_text.h"
#include "ui/settings_marker.h"
#include "ui/texts.h"

namespace quadrell::ui {

// One instance per logon session: "Local\" is the session's own namespace.
SingleInstance::SingleInstance()
    : mutex_(CreateMutexW(nullptr, FALSE, L"Local\\Quadrell.SingleInstance")) {
  const DWORD error = GetLastError();
  already_running_ = error == ERROR_ALREADY_EXISTS || error == ERROR_ACCESS_DENIED;
}

void show_already_running() { MessageBoxW(nullptr, kAlreadyRunning, kProgramTitle, MB_OK); }

std::wstring startup_failure_text(const wchar_t* step, DWORD error) {
  return std::wstring(L"起動できませんでした: ") + step + L"\r\n" +
         wide_from_utf8(fs::error_text(error)) + L" (" + std::to_wstring(error) + L")";
}

void show_startup_failure(const wchar_t* step, DWORD error) {
  MessageBoxW(nullptr, startup_failure_text(step, error).c_str(), kProgramTitle,
              MB_OK | MB_ICONERROR);
}

bool start_up(MainWindow& window, std::wstring& marker_path, const wchar_t*& failed_step) {
  const auto fail = [&](const wchar_t* step) {
    failed_step = step;
    return false;
  };
  const auto executable = executable_path();
  if (!executable) return fail(L"実行ファイルの場所の取得");
  marker_path = marker_path_for(*executable);
  if (marker_state(marker_path) == MarkerState::kPresent) window.set_keep_dates(true);
  if (!shell_drop().loaded()) return fail(L"SHELL32 の読み込み");
  shell_drop().accept_files(window.list(), TRUE);
  if (!install_drop_wnd_proc(window.list(), window)) return fail(L"ドロップの受け付け");
  return true;
}

void shut_down(MainWindow& window, const std::wstring& marker_path) {
  remove_drop_wnd_proc(window.list());
  save_setting(marker_path, window.keep_dates());
}

}  // namespace quadrell::ui
