#pragma once

#include <optional>
#include <string>
#include <vector>

#include "engine/process_path.h"
#include "platform/native_path.h"

namespace quadrell {

// What the command line asks for.
struct CliOptions {
  enum class Action { kRun, kHelp, kVersion, kUsageError };
  Action action = Action::kRun;
  std::string usage_error;  // what was wrong, for kUsageError
  bool quiet = false;
  // --check: a dry run whose exit status says whether a file would change.
  bool check = false;
  // --json: JSON Lines on standard output in place of the log.
  bool json = false;
  // The status line as --progress or --no-progress asks, the last one given;
  // without either, shown when standard error is a terminal and not quiet.
  std::optional<bool> progress;
  RunOptions run;
  std::vector<NativePath> paths;
  NativePath journal;  // where each change is recorded before it is made
  NativePath undo;     // the journal whose changes are taken back
};

// Reads the arguments as getopt_long does: short options may be bundled
// (-rn), a value follows its option (-j 4, -j4, --jobs 4, --jobs=4), a long
// option may be shortened to any prefix that names no other, and "--" ends
// the options. Help wins over everything else, then a usage error.
CliOptions parse_options(const std::vector<NativePath>& arguments);

}  // namespace quadrell
