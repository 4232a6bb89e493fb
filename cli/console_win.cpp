#include <windows.h>

#include <string>

#include "cli/cli_output.h"
#include "platform/wide_text.h"

namespace quadrell {
namespace {

std::string with_crlf(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 8);
  for (const char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

// A console gets UTF-16 through WriteConsoleW, so that the text shows
// whatever the console's code page; a file or a pipe gets UTF-8. Returns 0,
// or the system's reason when the text could not be written whole.
SystemError write_to(DWORD handle_id, std::string_view text) {
  HANDLE handle = GetStdHandle(handle_id);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return ERROR_INVALID_HANDLE;
  const std::string crlf = with_crlf(text);
  DWORD mode = 0;
  DWORD written = 0;
  if (GetConsoleMode(handle, &mode)) {
    const std::wstring wide = wide_from_utf8(crlf);
    if (!WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr)) {
      return GetLastError();
    }
    return written == wide.size() ? 0 : ERROR_WRITE_FAULT;
  }
  if (!WriteFile(handle, crlf.data(), static_cast<DWORD>(crlf.size()), &written, nullptr)) {
    return GetLastError();
  }
  return written == crlf.size() ? 0 : ERROR_WRITE_FAULT;
}

}  // namespace

SystemError ConsoleOutput::write_out(std::string_view text) {
  return write_to(STD_OUTPUT_HANDLE, text);
}

void ConsoleOutput::write_error(std::string_view text) { write_to(STD_ERROR_HANDLE, text); }

bool ConsoleOutput::out_is_terminal() const {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != FALSE;
}

int ConsoleOutput::error_terminal_columns() const {
  CONSOLE_SCREEN_BUFFER_INFO screen{};
  if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &screen)) return 0;
  const int columns = screen.srWindow.Right - screen.srWindow.Left + 1;
  return columns > 0 ? columns : 80;
}

}  // namespace quadrell
