#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "cli/cli_output.h"

namespace quadrell {

// Flushed at once: a line shows as soon as its file is done, and a line that
// cannot be written is known before the next file is touched.
SystemError ConsoleOutput::write_out(std::string_view text) {
  if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0) {
    return errno != 0 ? static_cast<SystemError>(errno) : EIO;
  }
  return 0;
}

void ConsoleOutput::write_error(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stderr);
}

bool ConsoleOutput::out_is_terminal() const { return ::isatty(STDOUT_FILENO) == 1; }

int ConsoleOutput::error_terminal_columns() const {
  if (::isatty(STDERR_FILENO) != 1) return 0;
  winsize size{};
  return ::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 ? size.ws_col : 80;
}

}  // namespace quadrell
