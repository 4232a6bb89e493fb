#pragma once

#include <functional>
#include <optional>

#include "engine/journal.h"
#include "engine/run_report.h"
#include "platform/journal_file.h"

namespace quadrell {

// The journal of a window's run: made as the run is about to change its
// first file, so that a run that changes nothing leaves no journal. When it
// cannot be made or written, the run goes on as a run without a journal
// does, and cannot be taken back: every later change is made unrecorded.
class FirstChangeJournal final : public RunListener {
 public:
  // new_path names the journal to make (nothing: it cannot be had); made is
  // told once the journal holds its first line; unrecorded right before the
  // first change made without its record, so that a kill cannot lose it.
  FirstChangeJournal(
      RunListener& log, std::function<std::optional<NativePath>()> new_path,
      std::function<void(const NativePath&)> made, std::function<void()> unrecorded = [] {})
      : log_(log),
        new_path_(std::move(new_path)),
        made_(std::move(made)),
        before_unrecorded_(std::move(unrecorded)) {}

  void next_file() override { log_.next_file(); }
  bool may_change(const NativePath& path, const DensityChange& change,
                  ChangesAhead& ahead) override;
  void file_done(const FileOutcome& outcome, const RunCounts& counts) override {
    listener().file_done(outcome, counts);
  }
  void failed(const FileFailure& failure) override { log_.failed(failure); }
  void listing_folder(const NativePath& folder, const RunCounts& counts) override {
    log_.listing_folder(folder, counts);
  }
  bool stopped() const override { return log_.stopped(); }
  void run_ended(const RunCounts& counts) override { listener().run_ended(counts); }

  // The journal made, if any.
  const std::optional<NativePath>& path() const { return path_; }
  // Whether a file was changed without its record.
  bool unrecorded() const { return unrecorded_; }

 private:
  RunListener& listener() { return journal_ ? static_cast<RunListener&>(*journal_) : log_; }
  void begin();

  RunListener& log_;
  std::function<std::optional<NativePath>()> new_path_;
  std::function<void(const NativePath&)> made_;
  std::function<void()> before_unrecorded_;
  bool begun_ = false;
  bool unrecorded_ = false;
  std::optional<NativePath> path_;
  std::optional<fs::JournalFile> file_;
  std::optional<Journal> journal_;  // after the file it writes
};

}  // namespace quadrell
