#include "cli/undo.h"

#include <vector>

#include "cli/journal_record.h"
#include "engine/density_patch.h"
#include "engine/density_scan.h"
#include "platform/fs.h"

namespace quadrell {
namespace {

struct NothingAhead final : ChangesAhead {
  void visit(const Visit&) override {}
};

// The check of a dry run, on a file open for reading only.
class ReadOnlyTarget final : public PatchTarget {
 public:
  explicit ReadOnlyTarget(const fs::FileRef& file) : input_(file) {}
  SystemError error() const override { return input_.error(); }
  std::int64_t read_at(std::int64_t offset, std::uint8_t* data, std::size_t size) override {
    return input_.read_at(offset, data, size);
  }
  std::int64_t write_at(std::int64_t, const std::uint8_t*, std::size_t) override { return -1; }

 private:
  fs::InputFile input_;
};

class Undo {
 public:
  Undo(RunListener& listener, WriteMode mode, const RunStop* stop)
      : listener_(listener), mode_(mode), stop_(stop) {}

  const RunCounts& counts() const { return counts_; }

  bool stopped() const {
    return refused_ || (stop_ != nullptr && stop_->requested()) || listener_.stopped();
  }

  void take_back(const JournalRecord& record) {
    listener_.next_file();
    const DensityChange& change = record.change;
    const fs::FileRef file{record.path};
    ScanDetail now;
    const ScanResult scanned = scan_density(file, now);
    if (scanned == kAccessError) {
      listener_.failed({FileFailure::Kind::kRead, record.path, now.error});
      return report(record.path, kAccessError);
    }
    if (now.identity != change.identity) return not_as_recorded(record.path);
    const std::size_t at = change.at_x ? 0 : 2;
    const PatchValue held{now.densities[at], now.densities[at + 1]};
    if (scanned < kFair || (held != change.before && held != change.after)) {
      return not_as_recorded(record.path);
    }
    ScanDetail back = now;  // the densities as the file holds them now
    back.value = change.before;
    back.at_x = change.at_x;
    if (held == change.before || mode_ == WriteMode::kDryRun) {
      // Only read: whether the bytes stand where the record says.
      ReadOnlyTarget target(file);
      PatchOutcome outcome;
      write_if_unchanged(target, change.position, back, outcome, [] { return false; });
      if (!outcome.refused) return not_as_recorded(record.path);
      return report(record.path, held == change.before ? kFair : change.position);
    }
    put_back(record, back);
  }

 private:
  void put_back(const JournalRecord& record, const ScanDetail& back) {
    const DensityChange& change = record.change;
    bool another_file = false;
    NothingAhead nothing_ahead;
    const PatchOutcome outcome = patch_density(
        fs::FileRef{record.path}, change.position, back, KeepTimes::kNo,
        [&](const DensityChange& undoing) {
          another_file = undoing.identity != change.identity;
          return !another_file && listener_.may_change(record.path, undoing, nothing_ahead);
        },
        &change.times);
    if (outcome.refused && !another_file) {
      refused_ = true;  // the listener can record no more: the run ends
      return;
    }
    if (outcome.changed || outcome.refused) return not_as_recorded(record.path);
    if (!outcome.written) {
      listener_.failed({FileFailure::Kind::kWrite, record.path, outcome.error});
      return report(record.path, kAccessError);
    }
    if (outcome.times == fs::TimesRestored::kNo) {
      listener_.failed({FileFailure::Kind::kTimes, record.path, outcome.times_error});
    }
    report(record.path, change.position, &outcome.change);
  }

  void not_as_recorded(const NativePath& path) {
    listener_.failed({FileFailure::Kind::kNotAsRecorded, path, 0});
    report(path, kAccessError);
  }

  void report(const NativePath& shown, ScanResult result, const DensityChange* done = nullptr) {
    ++(result > 0 ? counts_.update : result == kFair ? counts_.fair : counts_.error);
    ++counts_.total;
    listener_.file_done({shown, result, done}, counts_);
  }

  RunListener& listener_;
  const WriteMode mode_;
  const RunStop* const stop_;
  bool refused_ = false;
  RunCounts counts_;
};

}  // namespace

RunCounts undo_changes(std::string_view records, RunListener& listener, WriteMode mode,
                       const RunStop* stop, int& cut_records) {
  std::vector<std::string_view> lines;
  for (std::size_t end; !records.empty(); records.remove_prefix(end + 1)) {
    end = records.find('\n');
    if (end == std::string_view::npos) {
      ++cut_records;  // the last, cut short
      break;
    }
    lines.push_back(records.substr(0, end));
  }
  Undo undo(listener, mode, stop);
  JournalRecord record;
  for (auto line = lines.rbegin(); line != lines.rend() && !undo.stopped(); ++line) {
    if (parse_record(*line, record)) {
      undo.take_back(record);
    } else {
      ++cut_records;
    }
  }
  listener.run_ended(undo.counts());
  return undo.counts();
}

}  // namespace quadrell
