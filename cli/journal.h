#pragma once

#include <deque>
#include <string>
#include <utility>

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
// cannot record is refused, which ends the run there.
class Journal final : public RunListener {
 public:
  // file is open and holds a journal of this format (see open_journal).
  Journal(RunListener& log, fs::JournalFile& file);

  void next_file() override { log_.next_file(); }
  bool may_change(const NativePath& shown, const DensityChange& change,
                  ChangesAhead& ahead) override;
  void file_done(const FileOutcome& outcome, const RunCounts& counts) override {
    log_.file_done(outcome, counts);
  }
  void failed(const FileFailure& failure) override { log_.failed(failure); }
  void listing_folder(const NativePath& folder, const RunCounts& counts) override {
    log_.listing_folder(folder, counts);
  }
  bool stopped() const override { return log_.stopped(); }
  void run_ended(const RunCounts& counts) override { log_.run_ended(counts); }

  // Why the journal could not be written, once it could not; 0 before.
  SystemError write_failure() const { return write_failure_; }
  int syncs() const { return syncs_; }

 private:
  RunListener& log_;
  fs::JournalFile& file_;
  const NativePath current_folder_;
  // Recorded ahead of their changes, in the order they are to come.
  std::deque<std::pair<NativePath, DensityChange>> recorded_;
  SystemError write_failure_ = 0;
  int syncs_ = 0;
};

// What open_journal found: nothing wrong, the system's reason, or a file that
// holds something else than a journal of this format.
struct JournalOpening {
  enum class Problem { kNone, kSystem, kNotAJournal, kNewerFormat };
  Problem problem = Problem::kNone;
  SystemError error = 0;
  int format = 0;  // for kNewerFormat
};

// Opens path to append to: a new or empty file gets the journal's first
// line, one that holds a journal is appended to (behind a line end, should
// its last record have been cut short), any other is left as it is.
JournalOpening open_journal(fs::JournalFile& file);

}  // namespace quadrell
