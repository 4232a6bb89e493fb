#include <windows.h>

#include <string>

#include "platform/harden_process.h"
#include "ui/forwarded_paths.h"
#include "ui/kept_journals.h"
#include "ui/main_window.h"
#include "ui/message_loop.h"
#include "ui/startup.h"

using namespace quadrell::ui;

// A second instance is turned away before it creates anything, so it never
// shows a window and never touches the marker; paths it was started with go
// to the running instance instead.
int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show_command) {
  quadrell::harden_process();
  const std::vector<quadrell::NativePath> paths = command_line_paths();
  const SingleInstance single_instance;
  if (single_instance.already_running()) {
    if (paths.empty() || !forward_to_running_instance(paths)) show_already_running();
    return 0;
  }
  // Before the window, whose shutdown uses it: destroyed after it.
  std::wstring marker_path;
  MainWindow window;
  if (!window.create(instance, MainWindow::system_dpi())) {
    show_startup_failure(L"ウィンドウの作成", GetLastError());
    return 1;
  }
  const wchar_t* failed_step = nullptr;
  if (!start_up(window, marker_path, failed_step)) {
    show_startup_failure(failed_step, GetLastError());
    return 1;
  }
  window.set_shutdown([&window, &marker_path] { shut_down(window, marker_path); });
  if (auto folder = KeptJournals::default_folder()) window.set_journals(KeptJournals(*folder));
  window.show(show_command);
  if (!paths.empty()) window.queue_run(paths);
  return run_message_loop(window);
}
