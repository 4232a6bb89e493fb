#include "engine/undo.h"

#include <algorithm>
#include <string>
#include <type_traits>
#include <unordered_map>

#include "engine/density_patch.h"
#include "engine/density_scan.h"
#include "engine/file_report.h"
#include "engine/journal.h"
#include "engine/journal_record.h"
#include "platform/fs.h"

namespace quadrell {
namespace {

constexpr std::size_t kReadBlock = 64 * 1024;
// How many changes one sync records an undo's intent for: the undo finds
// which need a write only as it comes to them, and an intent costs a line.
constexpr std::size_t kIntendedAtOnce = 8192;
// How much earlier than the record of an undo's intent a file system may
// date that undo's write: its clock runs coarse, and FAT keeps even seconds.
constexpr std::int64_t kWriteDatedEarly = 2 * fs::kFileTimeSecond;

// A change the journal records, with what later lines add of it. The text
// stays in the file: memory grows by this much a record, not by its path.
struct Entry {
  std::int64_t offset = 0;
  std::uint32_t length = 0;
  std::uint32_t check = 0;
  bool left_known = false;
  bool undoing = false;
  bool settled = false;
  std::int64_t left = 0;        // last write as the change left it
  std::int64_t undoing_at = 0;  // when the last undo that began on it did
};

// The journal's records, read a block at a time.
class Reading {
 public:
  Reading(int format, UndoSummary& summary) : format_(format), summary_(summary) {}

  bool read(fs::JournalFile& journal, std::int64_t offset, std::vector<Entry>& entries) {
    std::string block;
    std::string line;
    bool overlong = false;
    std::int64_t line_start = offset;
    for (;;) {
      if (!journal.read_at(offset, kReadBlock, block)) return false;
      if (block.empty()) break;
      std::string_view rest = block;
      const std::int64_t block_start = offset;
      offset += static_cast<std::int64_t>(block.size());
      while (!rest.empty()) {
        const std::size_t end = rest.find('\n');
        const std::string_view piece = rest.substr(0, end);
        if (!overlong && line.size() + piece.size() > kLongestRecord) {
          overlong = true;
          line.clear();
        }
        if (!overlong) line += piece;
        if (end == std::string_view::npos) break;
        take(line, line_start, overlong, true, entries);
        line_start = block_start + static_cast<std::int64_t>(block.size() - rest.size() + end + 1);
        line.clear();
        overlong = false;
        rest.remove_prefix(end + 1);
      }
    }
    if (!line.empty() || overlong) take(line, line_start, overlong, false, entries);
    return true;
  }

 private:
  void take(std::string_view line, std::int64_t start, bool overlong, bool ended,
            std::vector<Entry>& entries) {
    ++line_number_;
    JournalRecord record;
    if (line.ends_with(kCutMark.front())) {
      ++summary_.cut_records;  // closed by the run after the one that was cut short
      return;
    }
    if (overlong || !parse_record(line, format_, record)) {
      if (ended) {
        summary_.unsound_lines.push_back(line_number_);
      } else {
        ++summary_.cut_records;
      }
      return;
    }
    if (record.kind == JournalRecord::Kind::kChange) {
      latest_[record.change] = entries.size();
      entries.push_back({start, static_cast<std::uint32_t>(line.size()), record.change});
      return;
    }
    // A line about a change that no sound line records is of no use.
    const auto found = latest_.find(record.change);
    if (found == latest_.end()) return;
    Entry& entry = entries[found->second];
    switch (record.kind) {
      case JournalRecord::Kind::kLeft:
        if (!entry.left_known) entry.left = record.time;
        entry.left_known = true;
        break;
      case JournalRecord::Kind::kUndoing:
        entry.undoing = true;
        entry.settled = false;
        entry.undoing_at = record.time;
        break;
      case JournalRecord::Kind::kSettled:
        entry.settled = true;
        break;
      case JournalRecord::Kind::kChange:
        break;
    }
  }

  const int format_;
  UndoSummary& summary_;
  std::uint64_t line_number_ = 1;  // the first line names the journal
  std::unordered_map<std::uint32_t, std::size_t> latest_;
};

struct NothingAhead final : ChangesAhead {
  void visit(const Visit&) override {}
};

// A dry run's file, open for reading only.
class ReadOnlyTarget final : public PatchTarget {
 public:
  explicit ReadOnlyTarget(const fs::FileRef& file) : input_(file) {}
  bool is_open() const { return input_.is_open(); }
  SystemError error() const override { return input_.error(); }
  fs::FileIdentity identity() const { return input_.identity(); }
  std::int64_t size() const { return input_.size(); }
  fs::FileTimes times() const { return input_.times(); }
  std::int64_t read_at(std::int64_t offset, std::uint8_t* data, std::size_t size) override {
    return input_.read_at(offset, data, size);
  }
  std::int64_t write_at(std::int64_t, const std::uint8_t*, std::size_t) override { return -1; }

 private:
  fs::InputFile input_;
};

// Whether the file holds detail's densities where position says, after the
// JFIF identifier, without writing.
bool holds(PatchTarget& target, ScanResult position, const ScanDetail& detail) {
  PatchOutcome outcome;
  write_if_unchanged(target, position, detail, outcome, [] { return false; });
  return outcome.refused;
}

class Undo {
 public:
  Undo(fs::JournalFile& journal, int format, std::vector<Entry>& entries, RunListener& listener,
       WriteMode mode, const RunStop* stop, UndoSummary& summary)
      : journal_(journal),
        format_(format),
        entries_(entries),
        listener_(listener),
        mode_(mode),
        stop_(stop),
        summary_(summary),
        intended_from_(entries.size()) {}

  void run() {
    JournalRecord record;
    std::string_view line;
    for (std::size_t i = entries_.size(); i-- > 0 && !stopped();) {
      listener_.next_file();
      if (!record_of(entries_[i], line)) {
        summary_.read_error = journal_.error();
        summary_.changed_while_read = summary_.read_error == 0;  // cut short since
        break;
      }
      if (!parse_record(line, format_, record)) {
        summary_.changed_while_read = true;
        break;
      }
      take_back(i, record);
    }
    if (!settled_.empty() && summary_.progress_error == 0) record_progress(false);
    listener_.run_ended(summary_.counts);
  }

 private:
  bool stopped() const {
    return refused_ || summary_.progress_error != 0 || (stop_ != nullptr && stop_->requested()) ||
           listener_.stopped();
  }

  // The line of entry, read with those before it a block at a time, as
  // they are taken back in turn.
  bool record_of(const Entry& entry, std::string_view& line) {
    const std::int64_t end = entry.offset + entry.length;
    if (entry.offset < block_start_ || end > block_start_ + std::int64_t(block_.size())) {
      block_start_ = std::min(entry.offset, std::max<std::int64_t>(0, end - kReadBlock));
      if (!journal_.read_at(block_start_, static_cast<std::size_t>(end - block_start_), block_)) {
        return false;
      }
    }
    if (end > block_start_ + std::int64_t(block_.size())) return false;
    line = std::string_view(block_).substr(static_cast<std::size_t>(entry.offset - block_start_),
                                           entry.length);
    return true;
  }

  // Whether the next change taken back is format 2's, with its progress
  // recorded in the journal.
  bool records_progress() const { return format_ >= 2 && mode_ == WriteMode::kWrite; }

  void take_back(std::size_t index, const JournalRecord& record) {
    const fs::FileRef file{record.path};
    if (mode_ == WriteMode::kDryRun) {
      ReadOnlyTarget target(file);
      return take_back(index, record, target);
    }
    // One opening reads, checks and writes: the file checked is the one
    // written. One that cannot be opened to write is still read, so that a
    // read-only file as before is fair.
    fs::PatchFile target(file, KeepTimes::kNo);
    if (target.is_open()) return take_back(index, record, target);
    ReadOnlyTarget reading(file);
    unwritable_ = target.error();
    take_back(index, record, reading);
    unwritable_ = 0;
  }

  // What a file that would need a write gets in a dry run, or when it
  // cannot be opened to write.
  void without_write(const NativePath& path, ScanResult position) {
    if (mode_ == WriteMode::kDryRun)
      return report_file(listener_, summary_.counts, {path, position});
    listener_.failed({FileFailure::Kind::kWrite, path, unwritable_});
    report_file(listener_, summary_.counts, {path, kAccessError});
  }

  // Target is the file open to write (fs::PatchFile), or to read alone
  // (ReadOnlyTarget: a dry run, or a file that cannot be written).
  template <typename Target>
  void take_back(std::size_t index, const JournalRecord& record, Target& target) {
    const Entry& entry = entries_[index];
    const DensityChange& change = record.density;
    const NativePath& path = record.path;
    if (!target.is_open()) {
      listener_.failed({FileFailure::Kind::kRead, path, target.error()});
      return report_file(listener_, summary_.counts, {path, kAccessError});
    }
    ScanDetail now;
    now.identity = target.identity();
    now.size = target.size();
    now.times = target.times();
    const ScanResult scanned = scan_open_file(target, now);
    if (scanned == kAccessError) {
      listener_.failed({FileFailure::Kind::kRead, path, target.error()});
      return report_file(listener_, summary_.counts, {path, kAccessError});
    }
    const std::size_t at = change.at_x ? 0 : 2;
    const PatchValue held{now.densities[at], now.densities[at + 1]};
    // Format 1 recorded neither birth nor size.
    const bool same = format_ < 2 ? now.identity.volume == change.identity.volume &&
                                        now.identity.file == change.identity.file
                                  : now.identity == change.identity && now.size == change.size;
    if (!same || scanned < kFair || (held != change.before && held != change.after)) {
      return not_as_recorded(index, path);
    }
    ScanDetail back = now;  // the densities as the file holds them now
    back.value = change.before;
    back.at_x = change.at_x;
    if (held == change.before) return already_back(index, record, now, back, target);
    if (entry.left_known && now.times.last_write != entry.left) return not_as_recorded(index, path);
    if constexpr (std::is_same_v<Target, ReadOnlyTarget>) {
      if (!holds(target, change.position, back)) return not_as_recorded(index, path);
      without_write(path, change.position);
    } else {
      if (!intend(index)) return;
      if (!entry.left_known) ++summary_.weakly_checked;
      put_back(index, record, back, target);
    }
  }

  // The bytes before stand in the file already: fair, unless an undo of
  // ours was cut off between its write and the dates.
  template <typename Target>
  void already_back(std::size_t index, const JournalRecord& record, const ScanDetail& now,
                    const ScanDetail& back, Target& target) {
    const Entry& entry = entries_[index];
    const DensityChange& change = record.density;
    const bool cut_off = now.times.last_write != change.times.last_write && entry.undoing &&
                         !entry.settled &&
                         now.times.last_write >= entry.undoing_at - kWriteDatedEarly;
    if (!holds(target, change.position, back)) return not_as_recorded(index, record.path);
    if (!cut_off) {
      settle(index);
      return report_file(listener_, summary_.counts, {record.path, kFair});
    }
    if constexpr (std::is_same_v<Target, ReadOnlyTarget>) {
      without_write(record.path, change.position);
    } else {
      if (!intend(index)) return;
      target.put_back_times(change.times);
      const fs::PatchFile::Closing closing = target.close(true);
      if (closing.times == fs::TimesRestored::kYes) {
        settle(index);
      } else {
        listener_.failed({FileFailure::Kind::kTimes, record.path, closing.times_error});
      }
      report_file(listener_, summary_.counts, {record.path, change.position});
    }
  }

  void put_back(std::size_t index, const JournalRecord& record, const ScanDetail& back,
                fs::PatchFile& target) {
    const DensityChange& change = record.density;
    PatchOutcome outcome;
    outcome.identity = target.identity();
    outcome.change = planned_change(change.position, back);
    NothingAhead nothing_ahead;
    target.put_back_times(change.times);
    const bool touched = write_if_unchanged(target, change.position, back, outcome, [&] {
      return listener_.may_change(record.path, outcome.change, nothing_ahead);
    });
    close_patch(target, touched, outcome);
    if (outcome.refused) {
      refused_ = true;  // the listener can record no more: the undo ends
      return;
    }
    if (outcome.changed) return not_as_recorded(index, record.path);
    if (outcome.written && outcome.times == fs::TimesRestored::kYes) settle(index);
    report_patch(listener_, summary_.counts, record.path, change.position, outcome,
                 FileFailure::Kind::kNotAsRecorded);
  }

  void not_as_recorded(std::size_t index, const NativePath& path) {
    settle(index);
    listener_.failed({FileFailure::Kind::kNotAsRecorded, path, 0});
    report_file(listener_, summary_.counts, {path, kAccessError});
  }

  // Before the file at index is written: the intent of this undo for it
  // and the next changes to take back, on the storage with one sync.
  bool intend(std::size_t index) {
    if (!records_progress() || index >= intended_from_) return true;
    const std::size_t from = index + 1 > kIntendedAtOnce ? index + 1 - kIntendedAtOnce : 0;
    const std::int64_t began = fs::now_as_file_time();
    for (std::size_t i = index + 1; i-- > from;) {
      if (!entries_[i].settled) settled_ += undoing_line(entries_[i].check, began);
    }
    intended_from_ = from;
    return record_progress(true);
  }

  void settle(std::size_t index) {
    if (!records_progress() || entries_[index].settled) return;
    settled_ += settled_line(entries_[index].check);
    // Found as they should be, many files in a row write nothing else.
    if (settled_.size() >= kReadBlock) record_progress(false);
  }

  bool record_progress(bool durably) {
    const bool written = durably ? journal_.append_durably(settled_) : journal_.append(settled_);
    settled_.clear();
    if (!written) summary_.progress_error = journal_.error() != 0 ? journal_.error() : 1;
    return written;
  }

  fs::JournalFile& journal_;
  const int format_;
  std::vector<Entry>& entries_;
  RunListener& listener_;
  const WriteMode mode_;
  const RunStop* const stop_;
  UndoSummary& summary_;
  std::size_t intended_from_;  // the changes from here on have their intent recorded
  std::string settled_;        // progress records not yet added to the journal
  std::string block_;          // of the journal, from block_start_
  std::int64_t block_start_ = 0;
  bool refused_ = false;
  SystemError unwritable_ = 0;  // why the file in hand could not be opened to write
};

}  // namespace

UndoSummary undo_journal(fs::JournalFile& journal, int format, std::int64_t records,
                         RunListener& listener, WriteMode mode, const RunStop* stop) {
  UndoSummary summary;
  std::vector<Entry> entries;
  if (!Reading(format, summary).read(journal, records, entries)) {
    summary.read_error = journal.error();
    listener.run_ended(summary.counts);
    return summary;
  }
  Undo(journal, format, entries, listener, mode, stop, summary).run();
  return summary;
}

}  // namespace quadrell
