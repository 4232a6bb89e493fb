#pragma once

#include <vector>

#include "cli/cli_output.h"
#include "platform/native_path.h"

namespace quadrell {

enum ExitStatus { kExitSuccess = 0, kExitFileError = 1, kExitUsage = 2 };

// quadrell [-hnpr] [--] PATH... : one drop of the PATHs in the order given.
// Writes the log text to standard output, failures to standard error, and
// returns the exit status.
int run_cli(const std::vector<NativePath>& arguments, CliOutput& output);

}  // namespace quadrell
