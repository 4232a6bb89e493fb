#include "cli/journal_cli.h"

#include "cli/run_cli.h"
#include "engine/journal.h"
#include "engine/journal_record.h"

namespace quadrell {
namespace {

// A number of things, with its noun as one or many.
std::string counted(std::size_t count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

// Why a journal is refused, and the exit status that follows.
int refuse(CliOutput& output, const std::string& shown, const JournalOpening& opening) {
  using Problem = JournalOpening::Problem;
  std::string why;
  switch (opening.problem) {
    case Problem::kSystem:
      output.write_error("quadrell: " + shown + ": " + fs::error_text(opening.error) +
                         "; nothing was changed\n");
      return kExitFileError;
    case Problem::kNotRegular:
      why = "not a regular file";
      break;
    case Problem::kStandardStream:
      why = "standard output or standard error goes to this file";
      break;
    case Problem::kNotAJournal:
      why = "not a quadrell journal";
      break;
    case Problem::kOtherFormat:
      why = opening.format > kJournalFormat
                ? "a journal of format " + std::to_string(opening.format) +
                      ", newer than this quadrell's (" + std::to_string(kJournalFormat) + ")"
                : "a journal of format " + std::to_string(opening.format) +
                      ", which this quadrell takes back but no longer adds to: name a new FILE";
      break;
    case Problem::kNone:
      return kExitSuccess;
  }
  output.write_error("quadrell: " + shown + ": " + why + "; nothing was changed\n");
  return kExitUsage;
}

}  // namespace

std::optional<int> open_run_journal(const NativePath& path, const std::string& shown,
                                    CliOutput& output, std::optional<fs::JournalFile>& file) {
  const JournalOpening opening = open_journal(file.emplace(path, fs::JournalAccess::kCreateOrAdd));
  if (opening.problem == JournalOpening::Problem::kNone) return std::nullopt;
  return refuse(output, shown, opening);
}

std::optional<int> open_undo_journal(const NativePath& path, const std::string& shown,
                                     WriteMode mode, CliOutput& output, UndoJournal& journal) {
  const JournalOpening opening = quadrell::open_undo_journal(path, mode, journal);
  if (opening.problem == JournalOpening::Problem::kNone) return std::nullopt;
  return refuse(output, shown, opening);
}

bool tell_undo(const UndoSummary& summary, const std::string& shown, int format,
               CliOutput& output) {
  constexpr std::size_t kLinesNamed = 10;
  const auto& unsound = summary.unsound_lines;
  for (std::size_t i = 0; i < unsound.size() && i < kLinesNamed; ++i) {
    output.write_error("quadrell: " + shown + ": line " + std::to_string(unsound[i]) +
                       " holds no sound record (edited, or joined to another line), passed "
                       "over\n");
  }
  if (unsound.size() > kLinesNamed) {
    output.write_error("quadrell: " + shown + ": " +
                       counted(unsound.size() - kLinesNamed, "more line", "more lines") +
                       " hold no sound record, passed over\n");
  }
  if (summary.cut_records != 0) {
    const bool one = summary.cut_records == 1;
    output.write_error(
        "quadrell: " + shown + ": " + counted(summary.cut_records, "record", "records") +
        " cut short (" + (one ? "a run ended while writing it" : "runs ended while writing them") +
        "), passed over: " + (one ? "its change was" : "their changes were") + " never made\n");
  }
  if (summary.weakly_checked != 0) {
    output.write_error(
        "quadrell: " + shown + ": " + counted(summary.weakly_checked, "file", "files") +
        " put back by identity, size and bytes alone: " +
        (format < 2 ? "a journal of format 1 holds" : "the run ended before the journal held") +
        " no last-write time after the change\n");
  }
  if (summary.read_error != 0) {
    output.write_error("quadrell: " + shown + ": " + fs::error_text(summary.read_error) +
                       "; the undo stopped there\n");
  }
  if (summary.changed_while_read) {
    output.write_error("quadrell: " + shown +
                       ": changed while the undo read it; the undo stopped there\n");
  }
  if (summary.progress_error != 0) {
    output.write_error("quadrell: " + shown + ": " + fs::error_text(summary.progress_error) +
                       "; the undo could not record its progress, and stopped before the next "
                       "file\n");
  }
  return unsound.empty() && summary.read_error == 0 && !summary.changed_while_read &&
         summary.progress_error == 0;
}

}  // namespace quadrell
