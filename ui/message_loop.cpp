#include "ui/message_loop.h"

namespace quadrell::ui {

bool handle_dialog_keys(const MainWindow& window, MSG& message) {
  if (message.message == WM_KEYDOWN && message.hwnd == window.list()) {
    const bool control = GetKeyState(VK_CONTROL) < 0;
    if (message.wParam == 'A' && control) {
      SendMessageW(window.list(), EM_SETSEL, 0, -1);
      return true;
    }
    // A multi-line edit control asks for every key, Tab included, and would
    // keep the focus; the log box is read-only, so Tab moves on.
    if (message.wParam == VK_TAB && !control) {
      const bool back = GetKeyState(VK_SHIFT) < 0;
      SetFocus(GetNextDlgTabItem(window.handle(), window.list(), back));
      return true;
    }
  }
  return IsDialogMessageW(window.handle(), &message) != FALSE;
}

int run_message_loop(const MainWindow& window) {
  MSG message{};
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (window.handle() != nullptr && handle_dialog_keys(window, message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return static_cast<int>(message.wParam);
}

}  // namespace quadrell::ui
