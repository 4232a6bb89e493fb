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
class FirstChangeJournal final : public ChangeRecord {
 public:
  // new_path names the journal to make (nothing: it cannot be had); made is
  // told once the journal holds its first line; unrecorded right before the
  // first change made without its record, so that a kill cannot lose it.
  FirstChangeJournal(
      std::function<std::optional<NativePath>()> new_path,
      std::function<void(const NativePath&)> made, std::function<void()> unrecorded = [] {})
      : new_path_(std::move(new_path)),
        made_(std::move(made)),
        before_unrecorded_(std::move(unrecorded)) {}

  bool may_change(const NativePath& path, const DensityChange& change,
                  ChangesAhead& ahead) override;
  void change_done(const DensityChange* written, const fs::FileTimes* left) override {
    if (journal_) journal_->change_done(written, left);
  }
  void run_done() override {
    if (journal_) journal_->run_done();
  }

  // The journal made, if any.
  const std::optional<NativePath>& path() const { return path_; }
  // Whether a file was changed without its record.
  bool unrecorded() const { return unrecorded_; }

 private:
  void begin();

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
