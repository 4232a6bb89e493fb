#include "cli/interrupts.h"
#include "cli/run_cli.h"

int main(int argc, char** argv) {
  const quadrell::RunStop& stop = quadrell::catch_interrupts();
  std::vector<quadrell::NativePath> arguments(argv + 1, argv + argc);
  quadrell::ConsoleOutput output;
  const int status = quadrell::run_cli(arguments, output, &stop);
  if (status == quadrell::kExitInterrupted) quadrell::end_as_interrupted();
  return status;
}
