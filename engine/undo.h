#pragma once

#include <cstdint>
#include <vector>

#include "engine/process_path.h"
#include "engine/run_report.h"
#include "platform/journal_file.h"

namespace quadrell {

// How many lines that hold no sound record an undo names by number; the
// rest it counts.
inline constexpr std::size_t kUnsoundLinesNamed = 10;

// What an undo found beside its files' outcomes.
struct UndoSummary {
  RunCounts counts;
  // Last lines of runs cut short while being written: their changes were
  // never made.
  int cut_records = 0;
  // Lines that hold no sound record: the first kUnsoundLinesNamed by their
  // number in the file, and how many in all.
  std::vector<std::uint64_t> unsound_lines;
  std::uint64_t unsound_count = 0;
  // Files put back whose last-write time after their change is not in the
  // journal (a run killed before it wrote it): checked by their identity,
  // size and bytes alone.
  int weakly_checked = 0;
  // Changes this undo left for a later one: a file it could not open, read
  // or write (in use), one whose dates it could not set, one it did not
  // reach. The run is taken back once none is left.
  std::uint64_t unsettled = 0;
  // The journal could not be read; the undo stopped there.
  SystemError read_error = 0;
  // A record read again as its turn came was no longer the one read first.
  bool changed_while_read = false;
  // The undo's progress could not be added to the journal: it stopped
  // before the next file.
  SystemError progress_error = 0;
};

// Takes back the changes a journal records, newest first (see the rules in
// journal.h). journal holds a journal whose records begin at records; it was
// opened to add to and locked unless the run is dry. A dry run changes
// nothing and tells what each file would get. record, when given, records
// each change before it is made.
UndoSummary undo_journal(fs::JournalFile& journal, std::int64_t records, RunListener& listener,
                         WriteMode mode, const RunStop* stop, ChangeRecord* record = nullptr);

}  // namespace quadrell
