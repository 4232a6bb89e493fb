#include <windows.h>

#include <string>

#include "ui/main_window.h"
#include "ui/message_loop.h"
#include "ui/startup.h"

using namespace quadrell::ui;

// A second instance is turned away before it creates anything, so it never
// shows a window and never touches the marker.
int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show_command) {
  const SingleInstance single_instance;
  if (single_instance.already_running()) {
    show_already_running();
    return 0;
  }
  MainWindow window;
  if (!window.create(instance, MainWindow::system_dpi())) {
    show_startup_failure(L"ウィンドウの作成", GetLastError());
    return 1;
  }
  std::wstring marker_path;
  const wchar_t* failed_step = nullptr;
  if (!start_up(window, marker_path, failed_step)) {
    show_startup_failure(failed_step, GetLastError());
    return 1;
  }
  window.set_shutdown([&window, &marker_path] { shut_down(window, marker_path); });
  window.show(show_command);
  return run_message_loop(window);
}
