// Drives a running Quadrell.exe for scripts (make screenshot):
//   quadrell_remote wait | help | check | frame | text | drop PATH... | close
// Exit status 0 when the command did what it says.
#include <cstdio>
#include <string>
#include <vector>

#include "platform/wide_text.h"
#include "tests/remote/remote_window.h"

int wmain(int argc, wchar_t** argv) {
  using quadrell::remote::RemoteWindow;
  if (argc < 2) return 2;
  const std::wstring command = argv[1];
  const RemoteWindow window = RemoteWindow::find(0, 30000);
  if (!window.found()) return 1;
  if (command == L"wait") return 0;
  if (command == L"help") {
    window.click_help();
    return 0;
  }
  if (command == L"check") {
    window.click_check_box();
    return 0;
  }
  if (command == L"frame") {
    const RECT frame = window.frame();
    std::printf("%ld %ld %ld %ld\n", frame.left, frame.top, frame.right - frame.left,
                frame.bottom - frame.top);
    return 0;
  }
  if (command == L"text") {
    const std::string text = quadrell::utf8_from_wide(window.log_text());
    std::fwrite(text.data(), 1, text.size(), stdout);
    return 0;
  }
  if (command == L"drop") {
    return window.drop(std::vector<std::wstring>(argv + 2, argv + argc), 600000) ? 0 : 1;
  }
  if (command == L"close") return window.close(10000) ? 0 : 1;
  return 2;
}
