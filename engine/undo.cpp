#include "engine/undo.h"

#include <algorithm>
#include <deque>
#include <string>
#include <type_traits>

#include "engine/density_patch.h"
#include "engine/density_scan.h"
#include "engine/file_report.h"
#include "engine/journal.h"
#include "engine/journal_record.h"
#include "platform/fs.h"

namespace quadrell {
namespace {

constexpr std::size_t kReadBlock = 64 * 1024;

using Kind = JournalRecord::Kind;

// A change the journal records, with what later lines add of it. The text
// stays in the file: memory grows by this much a record, not by its path.
struct Entry {
  std::int64_t offset = 0;  // of its line: the change's name
  std::uint32_t length = 0;
  // The kinds of line found about it, a bit each: kUnmade, foreseen and
  // never made, has nothing to take back; kWriting, an undo began to.
  std::uint8_t lines = 0;
  fs::FileTime left{};   // last write as the change left it
  fs::FileTime wrote{};  // last write as an undo's write left it

  bool has(Kind kind) const { return (lines >> static_cast<int>(kind) & 1) != 0; }
  void add(Kind kind) { lines |= static_cast<std::uint8_t>(1 << static_cast<int>(kind)); }
};

// In the order of their lines, which is that of their offsets.
using Entries = std::deque<Entry>;

Entry* entry_at(Entries& entries, std::int64_t offset) {
  const auto found =
      std::lower_bound(entries.begin(), entries.end(), offset,
                       [](const Entry& entry, std::int64_t value) { return entry.offset < value; });
  return found != entries.end() && found->offset == offset ? &*found : nullptr;
}

// The journal's records, read a block at a time.
struct Reading {
  // False, with the reason in the summary, when a read fails.
  bool read(fs::JournalFile& journal, std::int64_t offset, Entries& entries) {
    std::string line;
    bool overlong = false;
    std::int64_t line_start = offset;
    for (;;) {
      const Result<std::string> read = journal.read_at(offset, kReadBlock);
      if (!read) {
        summary_.read_error = read.error();
        return false;
      }
      const std::string& block = *read;
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

  void take(std::string_view line, std::int64_t start, bool overlong, bool ended,
            Entries& entries) {
    ++line_number_;
    if (line.ends_with(kCutMark.front())) {
      ++summary_.cut_records;  // closed by the opening after the one that was cut short
      return;
    }
    JournalRecord record;
    if (overlong || !parse_record(line, record)) {
      if (!ended) {
        ++summary_.cut_records;  // the last line, cut short
        return;
      }
      return unsound();
    }
    if (record.kind == Kind::kChange) {
      entries.push_back({start, static_cast<std::uint32_t>(line.size())});
      return;
    }
    Entry* entry = entry_at(entries, record.change);
    if (entry == nullptr) return unsound();  // about no change recorded before it
    entry->add(record.kind);
    if (record.kind == Kind::kLeft) entry->left = record.time;
    if (record.kind == Kind::kWrote) entry->wrote = record.time;
  }

  void unsound() {
    if (summary_.unsound_lines.size() < kUnsoundLinesNamed) {
      summary_.unsound_lines.push_back(line_number_);
    }
    ++summary_.unsound_count;
  }

  UndoSummary& summary_;
  std::uint64_t line_number_ = 1;  // the first line names the journal
};

struct NothingAhead final : ChangesAhead {
  void visit(const Visit&) override {}
};

// Whether the file holds detail's densities where position says, after the
// JFIF identifier.
bool holds(ByteSource& target, ScanResult position, const ScanDetail& detail) {
  const Result<bool> holding = unchanged(target, position, detail);
  return holding && *holding;
}

// The birth time, where both the record and the file system keep one.
bool same_birth(const fs::FileIdentity& a, const fs::FileIdentity& b) {
  return a.birth == 0 || b.birth == 0 || a.birth == b.birth;
}

// What the undo does with a file (rules 5 to 7 in journal.h).
enum class Verdict {
  kPutBack,       // as the run left it: the bytes and dates before go back
  kFinish,        // as this journal's undo wrote it, dates not yet back
  kDatesUnknown,  // written back by an undo stopped before it could say so
  kAsBefore,      // fair: the bytes before stand in the file
  kLeftAlone,     // anything else
};

// The file as it is now, as far as the verdict goes.
struct FileNow {
  fs::FileIdentity identity;
  std::int64_t size = 0;
  fs::FileTime last_write;
  bool holds_before = false;
  bool holds_after = false;
};

Verdict judge(const Entry& entry, const DensityChange& change, const FileNow& now) {
  if (entry.has(Kind::kSettled)) return now.holds_before ? Verdict::kAsBefore : Verdict::kLeftAlone;
  // A device or inode number need not survive a disk coming back, nor a
  // remount: where the journal holds the last-write time the change left,
  // that time, the size and the bytes are the file.
  const bool same_file = now.size == change.size && same_birth(now.identity, change.identity);
  if (now.holds_after && same_file &&
      (entry.has(Kind::kLeft) ? now.last_write == entry.left : now.identity == change.identity)) {
    return Verdict::kPutBack;
  }
  if (now.holds_before && same_file && entry.has(Kind::kWrote) && now.last_write == entry.wrote) {
    return Verdict::kFinish;
  }
  if (now.holds_before && entry.has(Kind::kWriting) && now.last_write != change.times.last_write) {
    return Verdict::kDatesUnknown;
  }
  return now.holds_before ? Verdict::kAsBefore : Verdict::kLeftAlone;
}

// One undo of a journal (undo_journal).
struct Undo {
  void run() {
    JournalRecord record;
    std::string_view line;
    for (std::size_t i = entries_.size(); i-- > 0 && !stopped();) {
      if (entries_[i].has(Kind::kUnmade)) continue;
      listener_.next_file();
      if (!record_of(entries_[i], line)) {
        summary_.changed_while_read = summary_.read_error == 0;  // cut short since
        break;
      }
      if (!parse_record(line, record) || record.kind != Kind::kChange) {
        summary_.changed_while_read = true;
        break;
      }
      take_back(entries_[i], record);
    }
    add_progress({});
    summary_.unsettled = static_cast<std::uint64_t>(std::count_if(
        entries_.begin(), entries_.end(),
        [](const Entry& e) { return !e.has(Kind::kSettled) && !e.has(Kind::kUnmade); }));
    if (record_ != nullptr) record_->run_done();
    listener_.run_ended(summary_.counts);
  }

  bool stopped() const {
    return refused_ || summary_.progress_error != 0 || (stop_ != nullptr && stop_->requested()) ||
           listener_.stopped();
  }

  // The line of entry, read with those before it a block at a time, as
  // they are taken back in turn; false when a read fails (its reason in the
  // summary) or the journal ends first.
  bool record_of(const Entry& entry, std::string_view& line) {
    const std::int64_t end = entry.offset + entry.length;
    if (entry.offset < block_start_ || end > block_start_ + std::int64_t(block_.size())) {
      block_start_ = std::min(entry.offset, std::max<std::int64_t>(0, end - kReadBlock));
      Result<std::string> read =
          journal_.read_at(block_start_, static_cast<std::size_t>(end - block_start_));
      if (!read) {
        summary_.read_error = read.error();
        return false;
      }
      block_ = std::move(*read);
    }
    if (end > block_start_ + std::int64_t(block_.size())) return false;
    line = std::string_view(block_).substr(static_cast<std::size_t>(entry.offset - block_start_),
                                           entry.length);
    return true;
  }

  void take_back(Entry& entry, const JournalRecord& record) {
    const fs::FileRef file{record.path};
    SystemError unwritable = 0;
    // One opening reads, checks and writes: the file judged is the one
    // written. One that cannot be opened to write is still read, so that a
    // read-only file as before is fair.
    if (mode_ == WriteMode::kWrite) {
      Result<fs::PatchFile> target = fs::PatchFile::open(file, KeepTimes::kNo);
      if (target) return take_back(entry, record, *target, 0);
      unwritable = target.error();
    }
    Result<fs::InputFile> reading = fs::InputFile::open(file);
    if (!reading) return unreadable(record.path, reading.error());
    take_back(entry, record, *reading, unwritable);
  }

  void unreadable(const NativePath& path, SystemError error) {
    listener_.failed({FileFailure::Kind::kRead, path, error});
    report_file(listener_, summary_.counts, {path, kAccessError});
  }

  // Target is the file open to write (fs::PatchFile), or to read alone
  // (fs::InputFile: a dry run, or a file that cannot be written, and why).
  template <typename Target>
  void take_back(Entry& entry, const JournalRecord& record, Target& target,
                 SystemError unwritable) {
    const DensityChange& change = record.density;
    const NativePath& path = record.path;
    ScanDetail now;
    now.identity = target.identity();
    now.size = target.size();
    now.times = target.times();
    const ScanResult scanned = scan_open_file(target, now);
    if (scanned == kAccessError) return unreadable(path, now.error);
    ScanDetail back = now;  // the densities as the file holds them, the value before
    back.value = change.before;
    back.at_x = change.at_x;
    const std::size_t at = change.at_x ? 0 : 2;
    const PatchValue held{now.densities[at], now.densities[at + 1]};
    const bool in_place = scanned >= kFair && holds(target, change.position, back);
    const Verdict verdict =
        judge(entry, change,
              {now.identity, now.size, now.times.last_write, in_place && held == change.before,
               in_place && held == change.after});
    switch (verdict) {
      case Verdict::kAsBefore:
        settle(entry);
        return report_file(listener_, summary_.counts, {path, kFair});
      case Verdict::kLeftAlone:
      case Verdict::kDatesUnknown:
        settle(entry);
        listener_.failed({verdict == Verdict::kLeftAlone ? FileFailure::Kind::kNotAsRecorded
                                                         : FileFailure::Kind::kDatesUnknown,
                          path, 0});
        return report_file(listener_, summary_.counts, {path, kAccessError});
      case Verdict::kPutBack:
      case Verdict::kFinish:
        break;
    }
    if constexpr (std::is_same_v<Target, fs::InputFile>) {
      if (mode_ == WriteMode::kDryRun) {
        return report_file(listener_, summary_.counts, {path, change.position});
      }
      listener_.failed({FileFailure::Kind::kWrite, path, unwritable});
      report_file(listener_, summary_.counts, {path, kAccessError});
    } else if (verdict == Verdict::kPutBack) {
      put_back(entry, record, back, target);
    } else {
      finish(entry, record, target);
    }
  }

  // Rule 6: the intent before the write, the write's last-write time after
  // it, before the dates are set.
  void put_back(Entry& entry, const JournalRecord& record, const ScanDetail& back,
                fs::PatchFile& target) {
    const DensityChange& change = record.density;
    PatchResult result;
    result.identity = target.identity();
    result.change = planned_change(change.position, back);
    NothingAhead nothing_ahead;
    const bool touched = write_if_unchanged(target, change.position, back, result, [&] {
      return (record_ == nullptr ||
              record_->may_change(record.path, result.change, nothing_ahead)) &&
             add_progress(writing_line(entry.offset));
    });
    // The times the change found go back; the write's own last-write time is
    // recorded before they are set.
    close_patch(target, touched,
                {KeepTimes::kNo, TimesLeft::kUnread, &change.times,
                 [&](const fs::FileTime& time) { add_progress(wrote_line(entry.offset, time)); }},
                result);
    if (result.outcome == PatchOutcome::kRefused) {
      refused_ = true;  // the record can take no more, or the journal: the undo ends
      return;
    }
    if (written(result.outcome)) {
      if (!entry.has(Kind::kLeft)) ++summary_.weakly_checked;
      dated(entry, result);
    }
    if (record_ != nullptr) {
      record_->change_done(written(result.outcome) ? &result.change : nullptr,
                           result.left ? &*result.left : nullptr);
    }
    report_patch(listener_, summary_.counts, record.path, change.position, result,
                 FileFailure::Kind::kNotAsRecorded);
  }

  void finish(Entry& entry, const JournalRecord& record, fs::PatchFile& target) {
    PatchResult result;
    result.outcome = PatchOutcome::kWritten;  // by the undo that stopped
    close_patch(target, true, {KeepTimes::kNo, TimesLeft::kUnread, &record.density.times, {}},
                result);
    dated(entry, result);
    if (result.outcome != PatchOutcome::kWritten) {
      listener_.failed({FileFailure::Kind::kTimes, record.path, result.error});
    }
    report_file(listener_, summary_.counts, {record.path, record.density.position});
  }

  // After the dates of a file written back were set: settled, or, where
  // they could not be, the time it is left with on record, so that the
  // next undo tries again.
  void dated(Entry& entry, const PatchResult& result) {
    if (result.outcome == PatchOutcome::kWritten) return settle(entry);
    if (result.left && !(entry.has(Kind::kWrote) && entry.wrote == result.left->last_write)) {
      add_progress(wrote_line(entry.offset, result.left->last_write));
    }
  }

  // Rule 7: gathered, and written with the next line or at the end, as a
  // settled line lost costs only a second judgement.
  void settle(Entry& entry) {
    if (mode_ == WriteMode::kDryRun || entry.has(Kind::kSettled)) return;
    entry.add(Kind::kSettled);
    settled_ += settled_line(entry.offset);
    if (settled_.size() >= kReadBlock) add_progress({});
  }

  // line, behind the settled lines gathered, at once and unsynced: a killed
  // undo loses none of it.
  bool add_progress(std::string_view line) {
    if (summary_.progress_error != 0) return false;
    if (settled_.empty() && line.empty()) return true;
    settled_ += line;
    const Result<> added = journal_.append(settled_);
    settled_.clear();
    summary_.progress_error = added.error();
    return summary_.progress_error == 0;
  }

  fs::JournalFile& journal_;
  Entries& entries_;
  RunListener& listener_;
  ChangeRecord* const record_;
  const WriteMode mode_;
  const RunStop* const stop_;
  UndoSummary& summary_;
  std::string settled_{};  // settled lines not yet added to the journal
  std::string block_{};    // of the journal, from block_start_
  std::int64_t block_start_ = 0;
  bool refused_ = false;
};

}  // namespace

UndoSummary undo_journal(fs::JournalFile& journal, std::int64_t records, RunListener& listener,
                         WriteMode mode, const RunStop* stop, ChangeRecord* record) {
  UndoSummary summary;
  Entries entries;
  if (!Reading{summary}.read(journal, records, entries)) {
    listener.run_ended(summary.counts);
    return summary;
  }
  Undo{journal, entries, listener, record, mode, stop, summary}.run();
  return summary;
}

}  // namespace quadrell
