#include <cstdio>

#include "cli/cli_output.h"

namespace quadrell {

// Flushed at once: a line shows as soon as its file is done.
void ConsoleOutput::write_out(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

void ConsoleOutput::write_error(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stderr);
}

}  // namespace quadrell
