#pragma once

// The journal of a run, and how an undo takes it back. Its rules:
//
//  1. A change's record is on the storage before the change is made
//     (Journal::may_change): the record of the change in hand and of those
//     the scans foresee behind it, with one sync.
//  2. A change is recorded once: may_change records only what it holds no
//     record of; a foreseen change that comes with other times (a read moved
//     the last access) is the same change (same_change). One foreseen that
//     the run does not make gets an unmade line, and the undo passes it by.
//  3. Every line about a change names it by the offset of the change's line
//     in the journal, which no other line can share (Journal::end_; the
//     undo's Reading).
//  4. One writer: a journal is added to by one opening at a time, a run's or
//     an undo's, held from the opening to the close (open_journal,
//     open_undo_journal; an undo is refused its own journal to add to). Every
//     opening that adds closes a last record cut short with kCutMark first.
//  5. The undo judges each file once, newest change first, then acts on the
//     verdict (undo.cpp, judge): as the run left it (the bytes after, its
//     size and birth, and the last-write time the change left; where the
//     journal lacks that time, its identity) is put back; as this journal's
//     undo wrote it (the bytes before and the last-write time rule 6 put on
//     record) gets its dates; the bytes before with another date after an
//     undo began to write it is told as such; the bytes before are fair;
//     anything else is left as it is. A dry run tells the verdict.
//  6. An undo records that it is writing a file back, writes it, then
//     records the last-write time its write left, as the file system reads
//     it back (wrote), then sets the dates: only a file that still has that
//     very time was last written by the undo, whatever any clock says
//     (Undo::put_back). Dates that could not be set leave the time the file
//     has then on record, for the next undo to try again.
//  7. A change is settled when an undo put it back with its dates, found it
//     as before or left it alone; a settled change is never written again.
//     A file the undo could not open, write or date stays unsettled for the
//     next undo (Undo::settle).
//  8. Only the records of rule 1 are synced. The lines after them go out at
//     once, unsynced, which a killed process never loses; settled lines
//     alone wait for the next line, as one lost costs a second judgement.
//     A power cut can lose the last of them: a change's left (its undo then
//     checks the identity, size and bytes alone), an undo's wrote (a file
//     whose bytes went back before its dates did keeps the undo's date).
//  9. Times are seconds and nanoseconds apart (fs::FileTime), written and
//     compared exactly. A file system that keeps coarse times (FAT's two
//     seconds) cannot tell a write from another in the same tick.

#include <cstdint>
#include <deque>
#include <optional>
#include <string>

#include "engine/process_path.h"
#include "engine/run_report.h"
#include "platform/journal_file.h"

namespace quadrell {

// How many files a journaled run queues ahead of the one in hand (see
// RunOptions::queue): the changes one sync records at most.
inline constexpr std::size_t kRecordedAtOnce = 1024;

// The journal of a run (rules 1 to 3).
class Journal final : public ChangeRecord {
 public:
  // file is open, locked and holds a journal of this format, end bytes long
  // (see open_journal).
  Journal(fs::JournalFile& file, std::int64_t end);

  bool may_change(const NativePath& path, const DensityChange& change,
                  ChangesAhead& ahead) override;
  void change_done(const DensityChange* written, const fs::FileTimes* left) override;
  void run_done() override;

  // Why the journal could not be written, once it could not; 0 before.
  SystemError write_failure() const { return write_failure_; }

 private:
  struct Recorded {
    NativePath path;
    DensityChange change;
    std::int64_t offset;
  };
  bool write(std::string text, bool durably);
  // The record of a change, at the journal's end once what is added before
  // it is.
  std::int64_t add(std::string& records, const NativePath& path, const DensityChange& change);

  fs::JournalFile& file_;
  const NativePath current_folder_;
  std::int64_t end_;  // where the next line goes
  // Recorded ahead of their changes, in the order they are to come.
  std::deque<Recorded> recorded_;
  std::optional<std::int64_t> approved_;  // the change let through for the file in hand
  SystemError write_failure_ = 0;
};

// What open_journal found: nothing wrong, the system's reason, or a file that
// holds something else than a journal to add to.
struct JournalOpening {
  enum class Problem {
    kNone,
    kSystem,
    kNotRegular,
    kStandardStream,
    kInUse,  // another run or undo adds to it
    kNotAJournal,
    kOtherFormat,
  };
  Problem problem = Problem::kNone;
  SystemError error = 0;
  int format = 0;        // for kOtherFormat
  std::int64_t end = 0;  // the journal's size, once opened
};

// Opens the file at path to add to a journal of this format, created when
// missing, into file, and locks it: a new or empty file gets the journal's
// first line (a new one its name in the folder on the storage too), one
// that holds such a journal is added to (behind a cut mark, should its last
// record have been cut short), any other is left as it is.
JournalOpening open_journal(const NativePath& path, std::optional<fs::JournalFile>& file);

// A journal to take back: open (to add the undo's progress to, and locked,
// unless the run is dry), and where its records begin.
struct UndoJournal {
  std::optional<fs::JournalFile> file;
  std::int64_t records = 0;
};

// Opens the journal at path for an undo, and reads its first line before
// anything else: a file that holds no journal, or one of another format, is
// refused.
JournalOpening open_undo_journal(const NativePath& path, WriteMode mode, UndoJournal& journal);

}  // namespace quadrell
