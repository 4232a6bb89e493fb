#include "engine/process_path.h"

#include <algorithm>
#include <cstdint>
#include <deque>
#include <optional>
#include <unordered_map>
#include <utility>
#include <vector>

#include "engine/density_patch.h"
#include "engine/density_scan.h"
#include "engine/density_types.h"
#include "engine/file_report.h"
#include "engine/log_line.h"
#include "engine/log_name.h"
#include "engine/read_ahead.h"
#include "engine/tree_walk.h"
#include "platform/directory.h"
#include "platform/fs.h"

namespace quadrell {
namespace {

bool ends_with_lower_ascii(const NativePath& name, std::string_view suffix) {
  if (name.size() < suffix.size()) return false;
  const std::size_t start = name.size() - suffix.size();
  for (std::size_t i = 0; i < suffix.size(); ++i) {
    auto c = name[start + i];
    if (c >= 'A' && c <= 'Z') c = static_cast<decltype(c)>(c - 'A' + 'a');
    if (c != static_cast<decltype(c)>(suffix[i])) return false;
  }
  return true;
}

struct IdentityHash {
  std::size_t operator()(const fs::FileIdentity& identity) const {
    return std::hash<std::uint64_t>()(identity.file ^ (identity.volume << 32) ^ identity.birth);
  }
};

// The files of a run's paths, each handled in turn as a run one file at a
// time handles it, while the read-ahead scans the files after it.
class PathRun final : public ChangesAhead, private TreeVisitor {
 public:
  PathRun(RunListener& listener, RunCounts& counts, const RunOptions& options,
          const ReadAheadSeam& seam)
      : listener_(listener),
        counts_(counts),
        options_(options),
        read_ahead_(options.read_ahead, options.queue, seam) {}

  void process(const NativePath& path) {
    const bool typed = options_.form == PathForm::kTyped;
    const auto entry =
        fs::look_up(path, typed ? fs::HiddenNamed::kFound : fs::HiddenNamed::kNotFound);
    if (!entry) return notice_in_order(FileFailure::Kind::kNamesNothing, path, entry.error());
    const NativePath& shown = typed ? path : entry->name;
    if (!entry->is_folder) {
      return process_file({fs::FileRef{entry->path}, shown, true, 0, {}}, entry->name);
    }
    const bool prefixed = typed && !fs::names_current_folder(path);
    tree_ = typed ? nullptr : std::make_shared<const NativePath>(entry->path);
    walk_tree(entry->path, shown, prefixed ? path : NativePath{}, options_.recursive,
              options_.names.exclude, *this);
  }

  void visit(const Visit& each) override {
    read_ahead_.visit_scanned([&](const QueuedFile& file, const ReadAhead::Scan& scan) {
      if (scan.result > 0) each(given_path(file), planned_change(scan.result, scan.detail));
    });
  }

  // Handles every file still queued; a run ends with it.
  void finish() {
    while (!read_ahead_.empty() && !stopped()) handle_oldest();
    if (stopped()) read_ahead_.stop();
  }

 private:
  // name: the file's own, which the patterns match.
  void process_file(QueuedFile file, const NativePath& name) {
    if (!is_jpeg_name(file.shown) && !any_matches(options_.names.include, name)) {
      if (file.named) notice_in_order(FileFailure::Kind::kNotJpegName, file.shown, 0);
      return;
    }
    while (read_ahead_.full() && !stopped()) handle_oldest();
    if (stopped()) {
      read_ahead_.stop();
      return;
    }
    file.patches_before = patches_;
    read_ahead_.queue(std::move(file));
  }

  void listing(const NativePath& shown) override { listener_.listing_folder(shown, counts_); }

  void file(const fs::FileRef& file, const NativePath& shown, const NativePath& name) override {
    process_file({file, shown, false, 0, tree_}, name);
  }

  // A folder that cannot be opened or listed is reported under its own
  // name, after its files' lines, not passed over in silence.
  void unlisted(const NativePath& shown, SystemError error) override {
    finish();
    if (stopped()) return;
    listener_.failed({FileFailure::Kind::kList, shown, error});
    report(shown, kAccessError);
  }

  void handle_oldest() {
    listener_.next_file();
    std::optional<ReadAhead::Taken> next = read_ahead_.take();
    if (!next) return;  // stopped: what is queued is not handled
    ReadAhead::Taken& taken = *next;
    // Scanned before the run patched the same file under this or another
    // name: the file is scanned again, as the run would scan it now. A scan
    // ahead that found no descriptor left is made again now.
    if (taken.scan.ahead &&
        (patched_since(taken.file.patches_before, taken.scan.detail.identity) ||
         (taken.scan.result == kAccessError && fs::out_of_descriptors(taken.scan.detail.error)))) {
      taken.scan = scan_here(taken.file);
    }
    handle(taken.file, taken.scan);
  }

  static ReadAhead::Scan scan_here(const QueuedFile& file) {
    ReadAhead::Scan scan;
    scan.result = scan_density(file.file, scan.detail);
    return scan;
  }

  // The file's path as the run was given it, whatever the log shows.
  NativePath given_path(const QueuedFile& file) const {
    if (file.tree) return fs::child_path(*file.tree, file.shown);
    return options_.form == PathForm::kTyped ? file.shown : file.file.path;
  }

  void handle(const QueuedFile& file, const ReadAhead::Scan& scan) {
    ScanResult result = scan.result;
    if (result < kAccessError) {
      // At its place already: every file before it is handled.
      if (file.named) listener_.failed({FileFailure::Kind::kPassedOver, file.shown, 0});
      return;
    }
    if (result == kAccessError) {
      listener_.failed({FileFailure::Kind::kRead, file.shown, scan.detail.error});
      return report(file.shown, result);
    }
    if (result == kFair || options_.mode == WriteMode::kDryRun) {
      return report(file.shown, result, &scan.detail);
    }
    const PatchResult patch = patch_density(
        file.file, result, scan.detail, options_.keep_dates ? KeepTimes::kYes : KeepTimes::kNo,
        [&](const DensityChange& change) {
          return !options_.record || options_.record->may_change(given_path(file), change, *this);
        },
        options_.record ? TimesLeft::kRead : TimesLeft::kUnread);
    // Changed since it was scanned ahead: decided on a scan made now.
    if (patch.outcome == PatchOutcome::kChanged && scan.ahead) {
      return handle(file, scan_here(file));
    }
    if (patch.outcome == PatchOutcome::kRefused) {
      refused_ = true;
      return;
    }
    if (options_.record) {
      options_.record->change_done(written(patch.outcome) ? &patch.change : nullptr,
                                   patch.left ? &*patch.left : nullptr);
    }
    if (written(patch.outcome)) note_patched(patch.identity);
    report_patch(listener_, counts_, file.shown, result, patch, FileFailure::Kind::kChanged,
                 &scan.detail);
  }

  bool stopped() const override {
    return refused_ || (options_.stop != nullptr && options_.stop->requested()) ||
           listener_.stopped();
  }

  // A notice of a path typed, which is no file's line, goes after the lines
  // of the files queued before it. The window, which takes dropped paths,
  // shows none, so they cost its read-ahead nothing.
  void notice_in_order(FileFailure::Kind kind, const NativePath& path, SystemError error) {
    if (options_.form == PathForm::kDropped) return;
    finish();
    if (!stopped()) listener_.failed({kind, path, error});
  }

  // The files patched while a queued file waited: no more than the files
  // queued before it, so only the last ones are kept, each file by the
  // number of its latest patch, so that a look-up costs the same for a
  // queue of 1,024 as of 16.
  void note_patched(const fs::FileIdentity& identity) {
    recent_patches_.push_back({++patches_, identity});
    latest_patch_[identity] = patches_;
    if (recent_patches_.size() > read_ahead_.window()) {
      const auto& [number, oldest] = recent_patches_.front();
      const auto latest = latest_patch_.find(oldest);
      if (latest->second == number) latest_patch_.erase(latest);
      recent_patches_.pop_front();
    }
  }

  bool patched_since(std::uint64_t patches_before, const fs::FileIdentity& identity) const {
    const auto latest = latest_patch_.find(identity);
    return latest != latest_patch_.end() && latest->second > patches_before;
  }

  void report(const NativePath& shown, ScanResult result, const ScanDetail* scanned = nullptr) {
    report_file(listener_, counts_, {shown, result, nullptr, nullptr, scanned});
  }

  RunListener& listener_;
  RunCounts& counts_;
  const RunOptions options_;
  // Its path, where the log shows names alone.
  std::shared_ptr<const NativePath> tree_;
  std::uint64_t patches_ = 0;
  std::deque<std::pair<std::uint64_t, fs::FileIdentity>> recent_patches_;
  std::unordered_map<fs::FileIdentity, std::uint64_t, IdentityHash> latest_patch_;
  bool refused_ = false;  // the listener refused a change: the run ends
  ReadAhead read_ahead_;  // last: its workers end before what they may use
};

}  // namespace

RunCounts drop_run(RunListener& listener, const std::vector<NativePath>& paths,
                   const RunOptions& options) {
  RunCounts counts;
  process_paths(listener, paths, counts, options);
  if (options.record) options.record->run_done();
  listener.run_ended(counts);
  return counts;
}

bool is_jpeg_name(const NativePath& name) {
  return ends_with_lower_ascii(name, ".jpg") || ends_with_lower_ascii(name, ".jpeg");
}

void process_paths(RunListener& listener, const std::vector<NativePath>& paths, RunCounts& counts,
                   const RunOptions& options, const ReadAheadSeam& seam) {
  PathRun run(listener, counts, options, seam);
  for (const NativePath& path : paths) run.process(path);
  run.finish();
}

}  // namespace quadrell
