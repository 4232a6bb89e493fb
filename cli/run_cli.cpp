#include "cli/run_cli.h"

#include <optional>
#include <string>

#include "cli/journal_cli.h"
#include "cli/options.h"
#include "cli/stream_log.h"
#include "engine/journal.h"
#include "engine/log_name.h"
#include "engine/process_path.h"
#include "platform/directory.h"
#include "platform/fs.h"
#include "platform/journal_file.h"
#include "res/version.h"

namespace quadrell {
namespace {

constexpr std::string_view kUsage =
    "usage: quadrell [-hnpqrV] [-j N] [--check] [--json] [--[no-]progress]\n"
    "                [--exclude PATTERN] [--include PATTERN] [--journal FILE] [--] PATH...\n"
    "       quadrell [-nq] [-j N] [--check] [--json] [--[no-]progress] [--journal FILE]\n"
    "                --undo FILE\n";

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
    "      --check       change nothing, as -n, and exit with 3 when a file would\n"
    "                    change (with --undo: be taken back), 0 when none would\n"
    "      --json        write JSON Lines in place of the log: one object per\n"
    "                    file with its outcome, densities and unit, then a\n"
    "                    summary object (see the manual page)\n"
    "      --exclude PATTERN\n"
    "                    pass over the files and folders whose name matches the\n"
    "                    shell PATTERN (* ? [...]) inside the folders processed;\n"
    "                    a PATH named is still processed; repeatable\n"
    "      --include PATTERN\n"
    "                    process files whose name matches PATTERN too, as\n"
    "                    --include '*.jfif'; the header still decides what is a\n"
    "                    JPEG file; repeatable\n"
    "  -j, --jobs N      read up to N files ahead of the one being handled\n"
    "                    (default: 64, once reads wait on the storage;\n"
    "                    1: one file at a time)\n"
    "      --progress    show a status line on standard error, even when quiet\n"
    "                    or not a terminal (shown on a terminal after a second)\n"
    "      --no-progress show none\n"
    "      --journal FILE\n"
    "                    record each change in FILE before it is made (created\n"
    "                    if missing, added to, never emptied; a dry run writes\n"
    "                    none)\n"
    "      --undo FILE   take back the changes recorded in FILE, newest first: a\n"
    "                    file as the change left it (size, birth, bytes and\n"
    "                    modification time) gets its bytes and dates back, one\n"
    "                    changed since is left as it is; a killed undo is\n"
    "                    finished by the next\n"
    "  -h, --help        show this help\n"
    "  -V, --version     show the version\n"
    "  --                end of options: what follows is a PATH\n"
    "\n"
    "Exit status: 0 when every file was handled, 1 when a file could not be\n"
    "read or written, its dates could not be put back, a PATH named no file\n"
    "or folder, the output or the journal could not be written, a line of the\n"
    "journal held no sound record, or a file to take back was changed since;\n"
    "2 for a usage error, or a FILE that is no regular file, is where standard\n"
    "output goes, or holds no journal this quadrell takes; 3 with --check when a\n"
    "file would change and nothing failed.\n"
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

// Help, the version or a usage error: the answer, with no run.
std::optional<int> answer_without_run(const CliOptions& options, CliOutput& output) {
  switch (options.action) {
    case CliOptions::Action::kHelp:
      return print(output, std::string(kUsage) + std::string(kHelp));
    case CliOptions::Action::kVersion:
      return print(output, "quadrell " QUADRELL_VERSION_TEXT "\n" QUADRELL_COPYRIGHT "\n" +
                               std::string(kLicense));
    case CliOptions::Action::kUsageError:
      output.write_error(
          "quadrell: " +
          shown_text(log_name(options.usage_error).text, output.error_terminal_columns() > 0) +
          "\n");
      output.write_error(std::string(kUsage) + "Try 'quadrell --help' for more information.\n");
      return kExitUsage;
    case CliOptions::Action::kRun:
      break;
  }
  return std::nullopt;
}

// The journal to take back, when the run is an undo: nothing, or the exit
// status of a refusal. The journal it takes back cannot record the undo
// too, by whatever names it is told.
std::optional<int> open_undo(const CliOptions& options, const std::string& undo_path,
                             const std::string& journal_path, CliOutput& output,
                             UndoJournal& undo) {
  if (options.undo.empty()) return std::nullopt;
  const Result<fs::FileIdentity> taken_back = fs::identity_at(options.undo);
  const Result<fs::FileIdentity> recording = fs::identity_at(options.journal);
  if (taken_back && recording && *taken_back == *recording) {
    output.write_error("quadrell: " + journal_path +
                       ": the journal taken back cannot record the undo too: name another "
                       "--journal FILE; nothing was changed\n");
    return kExitUsage;
  }
  return refused(open_undo_journal(options.undo, options.run.mode, undo), undo_path, output);
}

// The journal named, which records each change of a run that writes: a
// dry run opens none, and creates none. Nothing, or the exit status of a
// refusal.
std::optional<int> record_in_journal(CliOptions& options, const std::string& shown,
                                     CliOutput& output, std::optional<fs::JournalFile>& file,
                                     std::optional<Journal>& journal) {
  if (options.journal.empty() || options.run.mode != WriteMode::kWrite) return std::nullopt;
  const JournalOpening opening = open_journal(options.journal, file);
  if (const auto status = refused(opening, shown, output)) return status;
  options.run.record = &journal.emplace(*file, opening.end);
  options.run.queue = kRecordedAtOnce;
  return std::nullopt;
}

// The end of a run on standard error, once its log is out, and its exit
// status; failed: a file, the log, the journal or the undo failed.
int end_of_run(const CliOptions& options, const RunCounts& counts, bool failed, CliOutput& output,
               const RunStop* stop) {
  if (options.run.mode == WriteMode::kDryRun) {
    output.write_error("quadrell: dry run: no file was changed\n");
  }
  if (stop != nullptr && stop->requested()) {
    output.write_error(
        "quadrell: interrupted: the run stopped after the file in hand; no file missing from "
        "the log was changed\n");
    return kExitInterrupted;
  }
  if (counts.error != 0 || failed) return kExitFileError;
  return options.check && counts.update > 0 ? kExitWouldChange : kExitSuccess;
}

}  // namespace

int run_cli(const std::vector<NativePath>& arguments, CliOutput& output, const RunStop* stop) {
  CliOptions options = parse_options(arguments);
  const bool errors_on_terminal = output.error_terminal_columns() > 0;
  if (const auto status = answer_without_run(options, output)) return *status;
  UndoJournal undo;
  const std::string undo_path = shown_path(options.undo, errors_on_terminal);
  const std::string journal_path = shown_path(options.journal, errors_on_terminal);
  if (const auto status = open_undo(options, undo_path, journal_path, output, undo)) {
    return *status;
  }

  std::optional<ProgressLine> progress;
  if (options.progress.value_or(!options.quiet && output.error_terminal_columns() > 0)) {
    progress.emplace(output, output.error_terminal_columns(), output.out_is_terminal());
  }
  StreamLog log(output,
                options.quiet ? StreamLog::Lines::kChangesAndErrors : StreamLog::Lines::kAll,
                progress ? &*progress : nullptr);
  if (options.json) {
    log.write_json(options.run.mode == WriteMode::kDryRun,
                   options.run.keep_dates || !options.undo.empty());
  }
  std::optional<fs::JournalFile> journal_file;
  std::optional<Journal> journal;
  if (const auto status = record_in_journal(options, journal_path, output, journal_file, journal)) {
    return *status;
  }
  RunCounts counts;
  std::optional<UndoSummary> undone;
  if (!options.undo.empty()) {
    undone =
        undo_journal(*undo.file, undo.records, log, options.run.mode, stop, options.run.record);
    counts = undone->counts;
  } else {
    options.paths = fs::expand_wildcards(options.paths);
    options.run.stop = stop;
    options.run.form = PathForm::kTyped;
    counts = drop_run(log, options.paths, options.run);
  }
  log.flush();
  if (progress) progress->clear();
  if (log.write_failure() != 0) {
    output.write_error("quadrell: standard output: " + fs::error_text(log.write_failure()) +
                       "; the run stopped there. What could not be written:\n" +
                       shown_text(log.unwritten(), errors_on_terminal));
  }
  const SystemError journal_failure = journal ? journal->write_failure() : 0;
  if (journal_failure != 0) {
    output.write_error("quadrell: " + journal_path + ": " + fs::error_text(journal_failure) +
                       "; the run stopped before changing another file, and every file "
                       "changed is recorded\n");
  }
  const bool undo_sound = !undone || tell_undo(*undone, undo_path, output);
  return end_of_run(options, counts, log.failed() || journal_failure != 0 || !undo_sound, output,
                    stop);
}

}  // namespace quadrell
