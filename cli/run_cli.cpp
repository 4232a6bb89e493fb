#include "cli/run_cli.h"

#include <string>

#include "cli/stream_log.h"
#include "drop/drop_run.h"
#include "engine/directory.h"
#include "res/version.h"

namespace quadrell {
namespace {

constexpr std::string_view kUsage = "usage: quadrell [--keep-dates] [--dry-run] PATH...\n";

constexpr std::string_view kHelp =
    "\n"
    "Makes the two pixel densities in the JFIF header of JPEG files equal: the\n"
    "smaller is overwritten with the larger, two bytes in place, nothing else.\n"
    "A PATH is a JPEG file (.jpg, .jpeg) or a folder, whose JPEG files are\n"
    "processed (not those in its subfolders). Prints one line per JPEG file,\n"
    "then an empty line and a summary line.\n"
    "\n"
    "  --keep-dates  give each changed file its time stamps back\n"
    "  --dry-run     report what would change and change nothing\n"
    "  --help        show this help\n"
    "  --version     show the version\n"
    "\n"
    "Exit status: 0 when every file was handled, 1 when a file could not be\n"
    "read or written or a PATH named no file or folder, 2 for a usage error.\n";

struct Options {
  bool keep_dates = false;
  WriteMode mode = WriteMode::kWrite;
  std::vector<NativePath> paths;
};

}  // namespace

int run_cli(const std::vector<NativePath>& arguments, CliOutput& output) {
  Options options;
  bool options_ended = false;
  for (const NativePath& argument : arguments) {
    const std::string text = utf8_from_native(argument);
    if (options_ended || text.empty() || text[0] != '-' || text == "-") {
      options.paths.push_back(argument);
    } else if (text == "--") {
      options_ended = true;
    } else if (text == "--keep-dates") {
      options.keep_dates = true;
    } else if (text == "--dry-run") {
      options.mode = WriteMode::kDryRun;
    } else if (text == "--help") {
      output.write_out(std::string(kUsage) + std::string(kHelp));
      return kExitSuccess;
    } else if (text == "--version") {
      output.write_out("quadrell " QUADRELL_VERSION_TEXT "\n");
      return kExitSuccess;
    } else {
      output.write_error("quadrell: unknown option " + text + "\n" + std::string(kUsage));
      return kExitUsage;
    }
  }
  if (options.paths.empty()) {
    output.write_error(std::string(kUsage));
    return kExitUsage;
  }

  // A drop always delivers full paths.
  bool every_path_found = true;
  for (NativePath& path : options.paths) {
    path = fs::absolute_path(path);
    if (!fs::look_up(path)) {
      output.write_error("quadrell: no file or folder to process: " + utf8_from_native(path) +
                         "\n");
      every_path_found = false;
    }
  }

  StreamLog log(output, options.keep_dates);
  const RunCounts counts = drop_run(log, options.paths, options.mode);
  output.write_out("\n");
  return counts.error == 0 && every_path_found ? kExitSuccess : kExitFileError;
}

}  // namespace quadrell
