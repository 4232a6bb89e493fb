#pragma once

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

// The journal of a run: one more listener, in front of the run's log, to
// which it passes everything on. Before a change is made its record is on
// the storage: asked for one it has not recorded yet, it records it and
// every change the scans foresee behind it, with one sync. A change it
// cannot record is refused, which ends the run there. Once a change is
// made, the times it left the file with are recorded too, with the next
// sync or at the run's end, at no sync of their own.
class Journal final : public RunListener {
 public:
  // file is open and holds a journal of this format (see open_journal).
  Journal(RunListener& log, fs::JournalFile& file);

  void next_file() override { log_.next_file(); }
  bool may_change(const NativePath& path, const DensityChange& change,
                  ChangesAhead& ahead) override;
  void file_done(const FileOutcome& outcome, const RunCounts& counts) override;
  void failed(const FileFailure& failure) override { log_.failed(failure); }
  void listing_folder(const NativePath& folder, const RunCounts& counts) override {
    log_.listing_folder(folder, counts);
  }
  bool stopped() const override { return log_.stopped(); }
  void run_ended(const RunCounts& counts) override;

  // Why the journal could not be written, once it could not; 0 before.
  SystemError write_failure() const { return write_failure_; }

 private:
  struct Recorded {
    NativePath path;
    DensityChange change;
    std::uint32_t check;
  };
  bool write(std::string_view text, bool durably);

  RunListener& log_;
  fs::JournalFile& file_;
  const NativePath current_folder_;
  // Recorded ahead of their changes, in the order they are to come.
  std::deque<Recorded> recorded_;
  std::uint32_t approved_ = 0;  // the check of the change last let through
  std::string left_;            // records of changes made, not yet written
  SystemError write_failure_ = 0;
};

// What open_journal found: nothing wrong, the system's reason, or a file that
// holds something else than a journal to add to.
struct JournalOpening {
  enum class Problem { kNone, kSystem, kNotRegular, kStandardStream, kNotAJournal, kOtherFormat };
  Problem problem = Problem::kNone;
  SystemError error = 0;
  int format = 0;  // for kOtherFormat
};

// Makes the file opened to add to a journal of this format: a new or empty
// file gets the journal's first line (a new one its name in the folder on
// the storage too), one that holds such a journal is added to (behind a cut
// mark, should its last record have been cut short), any other is left as it
// is. Two runs at once write one first line.
JournalOpening open_journal(fs::JournalFile& file);

// Why a journal could not be opened, should it be no regular file or the
// file standard output goes to; kNone otherwise, and for a file not opened.
JournalOpening::Problem refusal_of(const fs::JournalFile& file);

// A journal to take back: open (to add the undo's progress to, unless the
// run is dry), its format, and where its records begin.
struct UndoJournal {
  std::optional<fs::JournalFile> file;
  int format = 0;
  std::int64_t records = 0;
};

// Opens the journal at path for an undo, and reads its first line before
// anything else: a file that holds no journal, or one of a newer format, is
// refused.
JournalOpening open_undo_journal(const NativePath& path, WriteMode mode, UndoJournal& journal);

}  // namespace quadrell
