#include "cli/run_cli.h"

// UTF-16 arguments, so that every name reaches the run as typed.
int wmain(int argc, wchar_t** argv) {
  std::vector<quadrell::NativePath> arguments(argv + 1, argv + argc);
  quadrell::ConsoleOutput output;
  return quadrell::run_cli(arguments, output);
}
