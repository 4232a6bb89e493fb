#pragma once

#include <vector>

#include "cli/cli_output.h"
#include "engine/run_stop.h"
#include "platform/native_path.h"

namespace quadrell {

// kExitWouldChange: --check found a file to change (or to take back), and
// nothing failed. kExitInterrupted: the run stopped as stop asked, and the
// program is to end as an interrupted one (end_as_interrupted), with the
// status of its signal.
enum ExitStatus {
  kExitSuccess = 0,
  kExitFileError = 1,
  kExitUsage = 2,
  kExitWouldChange = 3,
  kExitInterrupted = 130
};

// quadrell [-hnpqrV] [-j N] [--check] [--json] [--[no-]progress] [--exclude PATTERN]
// [--include PATTERN] [--journal FILE] [--] PATH... :
// one drop of the PATHs in the order given, until stop is requested; with
// --undo FILE instead of PATHs, the changes FILE records taken back. Writes the log text to
// standard output, failures to standard error, and returns the exit status.
int run_cli(const std::vector<NativePath>& arguments, CliOutput& output,
            const RunStop* stop = nullptr);

}  // namespace quadrell
