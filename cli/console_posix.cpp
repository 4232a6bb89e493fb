#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>

#include "cli/cli_output.h"

namespace quadrell {
namespace {

// Written through at once: a line shows as soon as its file is done, and a
// line that cannot be written is known before the next file is touched. An
// output left non-blocking by the caller is waited for, not given up on.
SystemError write_all(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t written = ::write(fd, text.data(), text.size());
    if (written > 0) {
      text.remove_prefix(static_cast<std::size_t>(written));
    } else if (written < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      pollfd ready{fd, POLLOUT, 0};
      ::poll(&ready, 1, -1);
    } else if (written < 0 && errno != EINTR) {
      return static_cast<SystemError>(errno);
    } else if (written == 0) {
      return EIO;
    }
  }
  return 0;
}

}  // namespace

SystemError ConsoleOutput::write_out(std::string_view text) {
  return write_all(STDOUT_FILENO, text);
}

void ConsoleOutput::write_error(std::string_view text) { write_all(STDERR_FILENO, text); }

bool ConsoleOutput::out_is_terminal() const { return ::isatty(STDOUT_FILENO) == 1; }

int ConsoleOutput::error_terminal_columns() const {
  if (::isatty(STDERR_FILENO) != 1) return 0;
  winsize size{};
  return ::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 ? size.ws_col : 80;
}

}  // namespace quadrell
