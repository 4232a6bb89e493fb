#include "cli/journal_cli.h"

#include "cli/run_cli.h"
#include "engine/journal_record.h"

namespace quadrell {
namespace {

// A number of things, with its noun as one or many.
std::string counted(std::size_t count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

}  // namespace

std::optional<int> refused(const JournalOpening& opening, const std::string& shown,
                           CliOutput& output) {
  using Problem = JournalOpening::Problem;
  const std::string format = std::to_string(opening.format);
  const std::string ours = std::to_string(kJournalFormat);
  std::string why;
  switch (opening.problem) {
    case Problem::kNone:
      return std::nullopt;
    case Problem::kSystem:
      why = fs::error_text(opening.error);
      break;
    case Problem::kNotRegular:
      why = "not a regular file";
      break;
    case Problem::kStandardStream:
      why = "standard output or standard error goes to this file";
      break;
    case Problem::kInUse:
      why = "in use by another quadrell, which adds to it";
      break;
    case Problem::kNotAJournal:
      why = "not a quadrell journal";
      break;
    case Problem::kOtherFormat:
      why = opening.format > kJournalFormat
                ? "a journal of format " + format + ", newer than this quadrell's (" + ours + ")"
                : "a journal of format " + format + ", older than this quadrell's (" + ours +
                      "), which it no longer reads";
      break;
  }
  output.write_error("quadrell: " + shown + ": " + why + "; nothing was changed\n");
  // The system's failures, and a journal busy now, are no usage error.
  const bool usage = opening.problem != Problem::kSystem && opening.problem != Problem::kInUse;
  return usage ? kExitUsage : kExitFileError;
}

bool tell_undo(const UndoSummary& summary, const std::string& shown, CliOutput& output) {
  const auto tell = [&](const std::string& text) {
    output.write_error("quadrell: " + shown + ": " + text + "\n");
  };
  for (const std::uint64_t line : summary.unsound_lines) {
    tell("line " + std::to_string(line) +
         " holds no sound record (edited, or joined to another line), passed over");
  }
  if (summary.unsound_count > summary.unsound_lines.size()) {
    tell(counted(summary.unsound_count - summary.unsound_lines.size(), "more line", "more lines") +
         " hold no sound record, passed over");
  }
  if (summary.cut_records != 0) {
    const bool one = summary.cut_records == 1;
    tell(counted(summary.cut_records, "record", "records") + " cut short (" +
         (one ? "a run ended while writing it" : "runs ended while writing them") +
         "), passed over: " + (one ? "its change was" : "their changes were") + " never made");
  }
  if (summary.weakly_checked != 0) {
    tell(counted(summary.weakly_checked, "file", "files") +
         " put back by identity, size and bytes alone: the run ended before the journal held "
         "the last-write time its change left");
  }
  if (summary.read_error != 0) {
    tell(fs::error_text(summary.read_error) + "; the undo stopped there");
  }
  if (summary.changed_while_read) tell("changed while the undo read it; the undo stopped there");
  if (summary.progress_error != 0) {
    tell(fs::error_text(summary.progress_error) +
         "; the undo could not record its progress, and stopped before the next file");
  }
  return summary.unsound_count == 0 && summary.read_error == 0 && !summary.changed_while_read &&
         summary.progress_error == 0;
}

}  // namespace quadrell
