#include "cli/run_cli.h"

#include <optional>
#include <string>

#include "cli/options.h"
#include "cli/stream_log.h"
#include "engine/log_name.h"
#include "engine/process_path.h"
#include "platform/directory.h"
#include "platform/fs.h"
#include "res/version.h"

namespace quadrell {
namespace {

constexpr std::string_view kUsage =
    "usage: quadrell [-hnpqr] [-j N] [--[no-]progress] [--] PATH...\n";

constexpr std::string_view kHelp =
    "\n"
    "Makes the two pixel densities in the JFIF header of JPEG files equal: the\n"
    "smaller is overwritten with the larger, two bytes in place, nothing else.\n"
    "A PATH is a JPEG file (.jpg, .jpeg) or a folder, whose JPEG files are\n"
    "processed; each shows as typed. Prints one line per JPEG file, then an\n"
    "empty line and a summary line; failures are explained on standard error.\n"
    "\n"
    "  -p, --keep-dates  give each changed file its time stamps back\n"
    "  -n, --dry-run     report what would change and change nothing\n"
    "  -r, --recursive   process subfolders too, to any depth (not hidden ones,\n"
    "                    not links to folders)\n"
    "  -q, --quiet       show only the lines of changed files and access errors\n"
    "  -j, --jobs N      read up to N files ahead of the one being handled\n"
    "                    (default 16; 1: one file at a time)\n"
    "      --progress    show a status line on standard error, even when quiet\n"
    "                    or not a terminal (shown on a terminal after a second)\n"
    "      --no-progress show none\n"
    "  -h, --help        show this help\n"
    "      --version     show the version\n"
    "  --                end of options: what follows is a PATH\n"
    "\n"
    "Exit status: 0 when every file was handled, 1 when a file could not be\n"
    "read or written, its dates could not be put back, a PATH named no file\n"
    "or folder, or the output could not be written; 2 for a usage error.\n"
    "\n"
    "Ctrl-C stops the run after the file in hand: it is patched, its dates are\n"
    "put back and its line is written; no other file is touched. The summary\n"
    "line follows, then the program ends as interrupted. A second Ctrl-C ends\n"
    "it at once.\n";

// After the version and the copyright, as GNU programs say it.
constexpr std::string_view kLicense =
    "License MIT: <https://opensource.org/licenses/MIT>.\n"
    "This is free software: you are free to change and redistribute it.\n"
    "There is NO WARRANTY, to the extent permitted by law.\n";

// What help and version print must reach standard output, as any output.
int print(CliOutput& output, const std::string& text) {
  const SystemError error = output.write_out(text);
  if (error == 0) return kExitSuccess;
  output.write_error("quadrell: standard output: " + fs::error_text(error) + "\n");
  return kExitFileError;
}

bool shows_progress(const CliOptions& options, const CliOutput& output) {
  switch (options.progress) {
    case CliOptions::Progress::kOn:
      return true;
    case CliOptions::Progress::kOff:
      return false;
    case CliOptions::Progress::kAuto:
      break;
  }
  return !options.quiet && output.error_terminal_columns() > 0;
}

}  // namespace

int run_cli(const std::vector<NativePath>& arguments, CliOutput& output, const RunStop* stop) {
  CliOptions options = parse_options(arguments);
  const bool errors_on_terminal = output.error_terminal_columns() > 0;
  switch (options.action) {
    case CliOptions::Action::kHelp:
      return print(output, std::string(kUsage) + std::string(kHelp));
    case CliOptions::Action::kVersion:
      return print(output, "quadrell " QUADRELL_VERSION_TEXT "\n" QUADRELL_COPYRIGHT "\n" +
                               std::string(kLicense));
    case CliOptions::Action::kUsageError:
      if (!options.usage_error.empty()) {
        output.write_error(
            "quadrell: " +
            shown_text(log_name_from_bytes(options.usage_error).text, errors_on_terminal) + "\n");
      }
      output.write_error(std::string(kUsage) + "Try 'quadrell --help' for more information.\n");
      return kExitUsage;
    case CliOptions::Action::kRun:
      break;
  }

  std::optional<ProgressLine> progress;
  if (shows_progress(options, output)) {
    progress.emplace(output, output.error_terminal_columns(), output.out_is_terminal());
  }
  StreamLog log(output,
                options.quiet ? StreamLog::Lines::kChangesAndErrors : StreamLog::Lines::kAll,
                progress ? &*progress : nullptr);
  options.paths = fs::expand_wildcards(options.paths);
  options.run.stop = stop;
  options.run.form = PathForm::kTyped;
  const RunCounts counts = drop_run(log, options.paths, options.run);
  log.flush();
  if (progress) progress->clear();
  if (log.write_failure() != 0) {
    output.write_error("quadrell: standard output: " + fs::error_text(log.write_failure()) +
                       "; the run stopped there. What could not be written:\n" +
                       shown_text(log.unwritten(), errors_on_terminal));
  }
  if (options.run.mode == WriteMode::kDryRun) {
    output.write_error("quadrell: dry run: no file was changed\n");
  }
  if (stop != nullptr && stop->requested()) {
    output.write_error(
        "quadrell: interrupted: the run stopped after the file in hand; no file missing from "
        "the log was changed\n");
    return kExitInterrupted;
  }
  return counts.error == 0 && !log.failed() ? kExitSuccess : kExitFileError;
}

}  // namespace quadrell
