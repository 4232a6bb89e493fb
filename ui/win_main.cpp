#include <windows.h>

#include "ui/main_window.h"
#include "ui/message_loop.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show_command) {
  quadrell::ui::MainWindow window;
  if (!window.create(instance, quadrell::ui::MainWindow::system_dpi())) return 1;
  window.show(show_command);
  return quadrell::ui::run_message_loop(window);
}
