#include "engine/journal.h"

#include <algorithm>

#include "engine/journal_record.h"

namespace quadrell {

Journal::Journal(RunListener& log, fs::JournalFile& file)
    : log_(log), file_(file), current_folder_(fs::current_folder()) {}

bool Journal::write(std::string_view text, bool durably) {
  if (durably ? file_.append_durably(text) : file_.append(text)) return true;
  write_failure_ = file_.error() != 0 ? file_.error() : 1;
  return false;
}

bool Journal::may_change(const NativePath& path, const DensityChange& change, ChangesAhead& ahead) {
  if (write_failure_ != 0) return false;
  const auto recorded = std::find_if(
      recorded_.begin(), recorded_.end(),
      [&](const Recorded& entry) { return entry.change == change && entry.path == path; });
  // Those before it were foreseen and came out otherwise.
  if (recorded != recorded_.end()) {
    approved_ = recorded->check;
    recorded_.erase(recorded_.begin(), recorded + 1);
    return true;
  }
  recorded_.clear();
  std::string records = std::move(left_);
  left_.clear();
  records += change_line(fs::absolute_path_in(current_folder_, path), change, approved_);
  ahead.visit([&](const NativePath& later, const DensityChange& foreseen) {
    std::uint32_t check = 0;
    records += change_line(fs::absolute_path_in(current_folder_, later), foreseen, check);
    recorded_.push_back({later, foreseen, check});
  });
  return write(records, true);
}

void Journal::file_done(const FileOutcome& outcome, const RunCounts& counts) {
  if (outcome.change != nullptr && outcome.left != nullptr) {
    left_ += left_line(approved_, outcome.left->last_write);
  }
  log_.file_done(outcome, counts);
}

void Journal::run_ended(const RunCounts& counts) {
  if (!left_.empty() && write_failure_ == 0) write(left_, false);
  left_.clear();
  log_.run_ended(counts);
}

JournalOpening::Problem refusal_of(const fs::JournalFile& file) {
  if (file.not_regular()) return JournalOpening::Problem::kNotRegular;
  if (file.is_open() && file.is_standard_stream()) return JournalOpening::Problem::kStandardStream;
  return JournalOpening::Problem::kNone;
}

namespace {

JournalOpening check_or_begin(fs::JournalFile& file) {
  const std::int64_t size = file.size();
  std::string start;
  if (size < 0 || !file.read_at(0, 64, start)) {
    return {JournalOpening::Problem::kSystem, file.error()};
  }
  if (size == 0) {
    if (file.append_durably(journal_header()) && (!file.created() || file.sync_folder())) {
      return {};
    }
    return {JournalOpening::Problem::kSystem, file.error()};
  }
  const int format = journal_format(start.substr(0, start.find('\n')));
  if (format == 0 || start.find('\n') == std::string::npos) {
    return {JournalOpening::Problem::kNotAJournal};
  }
  if (format != kJournalFormat) return {JournalOpening::Problem::kOtherFormat, 0, format};
  std::string last;
  if (!file.read_at(size - 1, 1, last)) return {JournalOpening::Problem::kSystem, file.error()};
  if (last != "\n" && !file.append_durably(kCutMark)) {
    return {JournalOpening::Problem::kSystem, file.error()};
  }
  return {};
}

}  // namespace

JournalOpening open_undo_journal(const NativePath& path, WriteMode mode, UndoJournal& journal) {
  fs::JournalFile& file = journal.file.emplace(path, fs::JournalAccess::kRead);
  if (const auto refusal = refusal_of(file); refusal != JournalOpening::Problem::kNone) {
    return {refusal};
  }
  std::string start;
  if (!file.is_open() || !file.read_at(0, kJournalName.size() + 8, start)) {
    return {JournalOpening::Problem::kSystem, file.error()};
  }
  const std::size_t end = start.find('\n');
  journal.format = journal_format(std::string_view(start).substr(0, end));
  if (journal.format == 0) return {JournalOpening::Problem::kNotAJournal};
  if (journal.format > kJournalFormat) {
    return {JournalOpening::Problem::kOtherFormat, 0, journal.format};
  }
  journal.records = static_cast<std::int64_t>(end == std::string::npos ? start.size() : end + 1);
  // The undo records its progress in the journal it takes back.
  if (mode == WriteMode::kWrite && journal.format >= 2) {
    fs::JournalFile& adding = journal.file.emplace(path, fs::JournalAccess::kAdd);
    if (!adding.is_open()) return {JournalOpening::Problem::kSystem, adding.error()};
  }
  return {};
}

JournalOpening open_journal(fs::JournalFile& file) {
  if (const auto refusal = refusal_of(file); refusal != JournalOpening::Problem::kNone) {
    return {refusal};
  }
  if (!file.is_open()) return {JournalOpening::Problem::kSystem, file.error()};
  if (!file.lock()) return {JournalOpening::Problem::kSystem, file.error()};
  const JournalOpening opening = check_or_begin(file);
  file.unlock();
  return opening;
}

}  // namespace quadrell
