#include "cli/run_cli.h"
#include "platform/harden_process.h"

// UTF-16 arguments, so that every name reaches the run as typed.
int wmain(int argc, wchar_t** argv) {
  quadrell::harden_process();
  std::vector<quadrell::NativePath> arguments(argv + 1, argv + argc);
  quadrell::ConsoleOutput output;
  return quadrell::run_cli(arguments, output);
}
