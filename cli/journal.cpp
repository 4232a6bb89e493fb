#include "cli/journal.h"

#include <algorithm>

#include "cli/journal_record.h"

namespace quadrell {

Journal::Journal(RunListener& log, fs::JournalFile& file)
    : log_(log), file_(file), current_folder_(fs::current_folder()) {}

bool Journal::may_change(const NativePath& shown, const DensityChange& change,
                         ChangesAhead& ahead) {
  if (write_failure_ != 0) return false;
  const auto recorded = std::find_if(recorded_.begin(), recorded_.end(), [&](const auto& entry) {
    return entry.second == change && entry.first == shown;
  });
  // Those before it were foreseen and came out otherwise.
  if (recorded != recorded_.end()) {
    recorded_.erase(recorded_.begin(), recorded + 1);
    return true;
  }
  recorded_.clear();
  std::string records = record_line(fs::absolute_path_in(current_folder_, shown), change);
  ahead.visit([&](const NativePath& later, const DensityChange& foreseen) {
    records += record_line(fs::absolute_path_in(current_folder_, later), foreseen);
    recorded_.emplace_back(later, foreseen);
  });
  if (!file_.append_durably(records)) {
    write_failure_ = file_.error() != 0 ? file_.error() : 1;
    return false;
  }
  ++syncs_;
  return true;
}

JournalOpening open_journal(fs::JournalFile& file) {
  if (!file.is_open()) return {JournalOpening::Problem::kSystem, file.error()};
  const std::int64_t size = file.size();
  std::string start;
  if (size < 0 || !file.read_at(0, 64, start))
    return {JournalOpening::Problem::kSystem, file.error()};
  if (size == 0) {
    if (file.append_durably(journal_header())) return {};
    return {JournalOpening::Problem::kSystem, file.error()};
  }
  const int format = journal_format(start.substr(0, start.find('\n')));
  if (format == 0 || start.find('\n') == std::string::npos) {
    return {JournalOpening::Problem::kNotAJournal};
  }
  if (format > kJournalFormat) return {JournalOpening::Problem::kNewerFormat, 0, format};
  std::string last;
  if (!file.read_at(size - 1, 1, last)) return {JournalOpening::Problem::kSystem, file.error()};
  if (last != "\n" && !file.append_durably("\n")) {
    return {JournalOpening::Problem::kSystem, file.error()};
  }
  return {};
}

}  // namespace quadrell
