#include "cli/interrupts.h"
#include "cli/run_cli.h"
#include "platform/harden_process.h"

// UTF-16 arguments, so that every name reaches the run as typed.
int wmain(int argc, wchar_t** argv) {
  quadrell::harden_process();
  const quadrell::RunStop& stop = quadrell::catch_interrupts();
  std::vector<quadrell::NativePath> arguments(argv + 1, argv + argc);
  quadrell::ConsoleOutput output;
  const int status = quadrell::run_cli(arguments, output, &stop);
  if (status == quadrell::kExitInterrupted) quadrell::end_as_interrupted();
  return status;
}
