#include "cli/run_cli.h"

int main(int argc, char** argv) {
  std::vector<quadrell::NativePath> arguments(argv + 1, argv + argc);
  quadrell::ConsoleOutput output;
  return quadrell::run_cli(arguments, output);
}
