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
    case Problem::kInUse:
      output.write_error("quadrell: " + shown +
                         ": in use by another quadrell, which adds to it; nothing was changed\n");
      return kExitFileError;
    case Problem::kNotAJournal:
      why = "not a quadrell journal";
      break;
    case Problem::kOtherFormat:
      why = opening.format > kJournalFormat
                ? "a journal of format " + std::to_string(opening.format) +
                      ", newer than this quadrell's (" + std::to_string(kJournalFormat) + ")"
                : "a journal of format " + std::to_string(opening.format) +
                      ", older than this quadrell's (" + std::to_string(kJournalFormat) +
                      "), which it no longer reads";
      break;
    case Problem::kNone:
      return kExitSuccess;
  }
  output.write_error("quadrell: " + shown + ": " + why + "; nothing was changed\n");
  return kExitUsage;
}

}  // namespace

std::optional<int> open_run_journal(const NativePath& path, const std::string& shown,
                                    CliOutput& output, std::optional<fs::JournalFile>& file,
                                    std::int64_t& end) {
  const JournalOpening opening = open_journal(path, file);
  end = opening.end;
  if (opening.problem == JournalOpening::Problem::kNone) return std::nullopt;
  return refuse(output, shown, opening);
}

std::optional<int> refuse_one_journal_for_both(const NativePath& undo, const NativePath& journal,
                                               const std::string& shown, CliOutput& output) {
  const Result<fs::FileIdentity> taken_back = fs::identity_at(undo);
  const Result<fs::FileIdentity> recording = fs::identity_at(journal);
  if (!taken_back || !recording || *taken_back != *recording) return std::nullopt;
  output.write_error("quadrell: " + shown +
                     ": the journal taken back cannot record the undo too: name another "
                     "--journal FILE; nothing was changed\n");
  return kExitUsage;
}

std::optional<int> open_undo_journal(const NativePath& path, const std::string& shown,
                                     WriteMode mode, CliOutput& output, UndoJournal& journal) {
  const JournalOpening opening = quadrell::open_undo_journal(path, mode, journal);
  if (opening.problem == JournalOpening::Problem::kNone) return std::nullopt;
  return refuse(output, shown, opening);
}

bool tell_undo(const UndoSummary& summary, const std::string& shown, CliOutput& output) {
  for (const std::uint64_t line : summary.unsound_lines) {
    output.write_error("quadrell: " + shown + ": line " + std::to_string(line) +
                       " holds no sound record (edited, or joined to another line), passed "
                       "over\n");
  }
  if (summary.unsound_count > summary.unsound_lines.size()) {
    output.write_error(
        "quadrell: " + shown + ": " +
        counted(summary.unsound_count - summary.unsound_lines.size(), "more line", "more lines") +
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
    output.write_error("quadrell: " + shown + ": " +
                       counted(summary.weakly_checked, "file", "files") +
                       " put back by identity, size and bytes alone: the run ended before the "
                       "journal held the last-write time its change left\n");
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
  return summary.unsound_count == 0 && summary.read_error == 0 && !summary.changed_while_read &&
         summary.progress_error == 0;
}

}  // namespace quadrell
