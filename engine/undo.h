#pragma once

#include <cstdint>
#include <vector>

#include "engine/process_path.h"
#include "engine/run_report.h"
#include "platform/journal_file.h"

namespace quadrell {

// What an undo found beside its files' outcomes.
struct UndoSummary {
  RunCounts counts;
  // Last lines of runs cut short while being written: their changes were
  // never made.
  int cut_records = 0;
  // Any other line that holds no sound record, by its number in the file.
  std::vector<std::uint64_t> unsound_lines;
  // Files put back whose last-write time after their change is not in the
  // journal (a run that ended before it wrote it, or format 1): checked by
  // their identity, size and bytes alone.
  int weakly_checked = 0;
  // The journal could not be read; the undo stopped there.
  SystemError read_error = 0;
  // A record read again as its turn came was no longer the one read first.
  bool changed_while_read = false;
  // The undo's progress could not be added to the journal: it stopped
  // before the next file.
  SystemError progress_error = 0;
};

// Takes back the changes a journal records, newest first, each with the
// checked patch. journal holds a journal of format (its first line ends at
// records); it was opened to add to unless the run is dry.
//
// A file is put back only when it is, by all the journal knows, the file as
// the change left it: the same identity and size, the bytes after the change
// where the record says (the JFIF identifier before them) and the last-write
// time the change left it with. It gets the bytes before and its recorded
// times; its line is the ordinary Change line under the recorded path. A
// file that holds the bytes before with its recorded last-write time is
// fair; so is one whose dates another program moved since. Any other is
// left as it is, an access error.
//
// An undo can be finished: before it writes a file it records that it is
// about to (for many changes at once, with one sync),
// and once done with a file that it is settled. A later undo that finds a
// file holding the bytes before, not settled, whose last write came after
// that record, gets its dates put back. A dry run changes nothing.
UndoSummary undo_journal(fs::JournalFile& journal, int format, std::int64_t records,
                         RunListener& listener, WriteMode mode, const RunStop* stop);

}  // namespace quadrell
