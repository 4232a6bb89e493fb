#include "engine/first_change_journal.h"

#include <utility>

namespace quadrell {

void FirstChangeJournal::begin() {
  begun_ = true;
  const std::optional<NativePath> path = new_path_();
  if (!path) return;
  const JournalOpening opening = open_journal(*path, file_);
  if (opening.problem != JournalOpening::Problem::kNone) return;
  path_ = path;
  journal_.emplace(*file_, opening.end);
  made_(*path);
}

bool FirstChangeJournal::may_change(const NativePath& path, const DensityChange& change,
                                    ChangesAhead& ahead) {
  if (!begun_) begin();
  if (journal_ && journal_->may_change(path, change, ahead)) return true;
  // Written no further: the rest of the run goes on as it would without.
  journal_.reset();
  if (!std::exchange(unrecorded_, true)) before_unrecorded_();
  return true;
}

}  // namespace quadrell
