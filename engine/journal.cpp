#include "engine/journal.h"

#include <algorithm>

#include "engine/journal_record.h"

namespace quadrell {
namespace {

// The change foreseen and the change made: the same but for the times,
// which a read between the scan and the write may have moved.
bool same_change(const DensityChange& a, const DensityChange& b) {
  return a.position == b.position && a.at_x == b.at_x && a.before == b.before &&
         a.after == b.after && a.identity == b.identity && a.size == b.size;
}

// The file at path opened as access says, held, and locked: problem kNone
// once the lock is had.
JournalOpening open_locked(const NativePath& path, fs::JournalAccess access,
                           std::optional<fs::JournalFile>& held) {
  Result<fs::JournalFile> file = fs::JournalFile::open(path, access);
  if (!file && file.error() == kNotRegularFile) return {JournalOpening::Problem::kNotRegular};
  if (!file) return {JournalOpening::Problem::kSystem, file.error()};
  if (file->is_standard_stream()) return {JournalOpening::Problem::kStandardStream};
  const Result<bool> lock = held.emplace(std::move(*file)).lock();
  if (!lock) return {JournalOpening::Problem::kSystem, lock.error()};
  if (!*lock) return {JournalOpening::Problem::kInUse};
  return {};
}

// Rule 4: the last line ended before anything is added behind it: a sound
// record that lacks only its line end gets it, any other the cut mark.
JournalOpening close_cut_record(fs::JournalFile& file, std::int64_t size) {
  const std::int64_t from = std::max<std::int64_t>(0, size - std::int64_t{kLongestRecord} - 1);
  const Result<std::string> last = file.read_at(from, static_cast<std::size_t>(size - from));
  if (!last) return {JournalOpening::Problem::kSystem, last.error()};
  if (last->ends_with('\n')) return {.end = size};
  JournalRecord record;
  const std::size_t start = last->rfind('\n');
  const std::string_view line =
      std::string_view(*last).substr(start == std::string::npos ? 0 : start + 1);
  const std::string_view end = parse_record(line, record) ? "\n" : kCutMark;
  const Result<> closed = file.append_durably(end);
  if (!closed) return {JournalOpening::Problem::kSystem, closed.error()};
  return {.end = size + static_cast<std::int64_t>(end.size())};
}

// The format the file's first line names, read from its start, with the
// line's length; problem kNone when it is this one.
JournalOpening first_line(fs::JournalFile& file, std::size_t& length) {
  const Result<std::string> start = file.read_at(0, kJournalName.size() + 12);
  if (!start) return {JournalOpening::Problem::kSystem, start.error()};
  const std::size_t end = start->find('\n');
  const int format = journal_format(std::string_view(*start).substr(0, end));
  if (format == 0 || end == std::string::npos) return {JournalOpening::Problem::kNotAJournal};
  if (format != kJournalFormat) return {JournalOpening::Problem::kOtherFormat, 0, format};
  length = end + 1;
  return {};
}

}  // namespace

Journal::Journal(fs::JournalFile& file, std::int64_t end)
    : file_(file), current_folder_(fs::current_folder()), end_(end) {}

bool Journal::write(std::string text, bool durably) {
  const Result<> written = durably ? file_.append_durably(text) : file_.append(text);
  write_failure_ = written.error();  // none before: no write follows a failed one
  if (written) end_ += static_cast<std::int64_t>(text.size());
  return write_failure_ == 0;
}

std::int64_t Journal::add(std::string& records, const NativePath& path,
                          const DensityChange& change) {
  const std::int64_t offset = end_ + static_cast<std::int64_t>(records.size());
  records += change_line(fs::absolute_path_in(current_folder_, path), change);
  return offset;
}

bool Journal::may_change(const NativePath& path, const DensityChange& change, ChangesAhead& ahead) {
  if (write_failure_ != 0) return false;
  const auto recorded = [&](const NativePath& p, const DensityChange& c) {
    return std::find_if(recorded_.begin(), recorded_.end(), [&](const Recorded& entry) {
      return entry.path == p && same_change(entry.change, c);
    });
  };
  if (const auto found = recorded(path, change); found != recorded_.end()) {
    // Those before it were foreseen and came out otherwise.
    std::string unmade;
    for (auto skipped = recorded_.begin(); skipped != found; ++skipped) {
      unmade += unmade_line(skipped->offset);
    }
    approved_ = found->offset;
    recorded_.erase(recorded_.begin(), found + 1);
    return unmade.empty() || write(std::move(unmade), false);
  }
  std::string records;
  approved_ = add(records, path, change);
  ahead.visit([&](const NativePath& later, const DensityChange& foreseen) {
    if ((later == path && same_change(foreseen, change)) ||
        recorded(later, foreseen) != recorded_.end()) {
      return;
    }
    recorded_.push_back({later, foreseen, add(records, later, foreseen)});
  });
  return write(std::move(records), true);
}

// Rule 8: each at once, so that a killed run loses none.
void Journal::change_done(const DensityChange* written, const fs::FileTimes* left) {
  if (approved_ && write_failure_ == 0) {
    if (written == nullptr) {
      write(unmade_line(*approved_), false);
    } else if (left != nullptr) {
      write(left_line(*approved_, left->last_write), false);
    }
  }
  approved_.reset();
}

void Journal::run_done() {
  std::string unmade;
  for (const Recorded& foreseen : recorded_) unmade += unmade_line(foreseen.offset);
  recorded_.clear();
  if (!unmade.empty() && write_failure_ == 0) write(std::move(unmade), false);
}

JournalOpening open_undo_journal(const NativePath& path, WriteMode mode, UndoJournal& journal) {
  const bool adds = mode == WriteMode::kWrite;
  if (const JournalOpening lock = open_locked(
          path, adds ? fs::JournalAccess::kAdd : fs::JournalAccess::kRead, journal.file);
      lock.problem != JournalOpening::Problem::kNone) {
    return lock;
  }
  fs::JournalFile& file = *journal.file;
  std::size_t length = 0;
  if (const JournalOpening first = first_line(file, length);
      first.problem != JournalOpening::Problem::kNone) {
    return first;
  }
  journal.records = static_cast<std::int64_t>(length);
  if (!adds) return {};
  const Result<std::int64_t> size = file.size();
  if (!size) return {JournalOpening::Problem::kSystem, size.error()};
  return close_cut_record(file, *size);
}

JournalOpening open_journal(const NativePath& path, std::optional<fs::JournalFile>& held) {
  if (const JournalOpening lock = open_locked(path, fs::JournalAccess::kCreateOrAdd, held);
      lock.problem != JournalOpening::Problem::kNone) {
    return lock;
  }
  fs::JournalFile& file = *held;
  const Result<std::int64_t> size = file.size();
  if (!size) return {JournalOpening::Problem::kSystem, size.error()};
  if (*size == 0) {
    const std::string header = journal_header();
    Result<> written = file.append_durably(header);
    if (written) written = file.sync_name();
    if (!written) return {JournalOpening::Problem::kSystem, written.error()};
    return {.end = static_cast<std::int64_t>(header.size())};
  }
  std::size_t length = 0;
  if (const JournalOpening first = first_line(file, length);
      first.problem != JournalOpening::Problem::kNone) {
    return first;
  }
  return close_cut_record(file, *size);
}

}  // namespace quadrell
