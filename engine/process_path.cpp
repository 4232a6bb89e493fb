#include "engine/process_path.h"

#include <algorithm>
#include <cstdint>
#include <deque>
#include <optional>
#include <utility>
#include <vector>

#include "engine/density_patch.h"
#include "engine/density_scan.h"
#include "engine/density_types.h"
#include "engine/log_line.h"
#include "engine/log_name.h"
#include "engine/read_ahead.h"
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

// A file to handle: what opens it, the name the log shows, the path the
// failure reports show where that is not the name shown (empty: it is),
// and whether it was named itself rather than found in a folder.
struct Candidate {
  fs::FileRef file;
  NativePath shown;
  NativePath reported_path;
  bool named = false;

  const NativePath& reported() const { return reported_path.empty() ? shown : reported_path; }
};

// The files of a run's paths, each handled in turn as a run one file at a
// time handles it, while the read-ahead scans the files after it.
class PathRun {
 public:
  PathRun(LogWindow& window, RunCounts& counts, const RunOptions& options)
      : window_(window),
        counts_(counts),
        options_(options),
        read_ahead_(options.read_ahead, options.slow_scan, options.trace) {}

  void process(const NativePath& path) {
    SystemError error = 0;
    const auto entry =
        fs::look_up(path, typed() ? fs::HiddenNamed::kFound : fs::HiddenNamed::kNotFound, &error);
    if (!entry) {
      if (typed()) report_in_order(FileFailure::Kind::kNamesNothing, path, error);
      return;
    }
    if (!typed()) {
      if (entry->is_folder) {
        process_tree(entry->path, entry->name, {});
      } else {
        process_candidate({fs::FileRef{entry->path}, entry->name, entry->path, true});
      }
    } else if (entry->is_folder) {
      process_tree(entry->path, path, fs::names_current_folder(path) ? NativePath{} : path);
    } else {
      process_candidate({fs::FileRef{entry->path}, path, {}, true});
    }
  }

  // Handles every file still queued; a run ends with it.
  void finish() {
    while (!waiting_.empty() && !stopped()) handle_oldest();
    if (stopped()) read_ahead_.stop();
  }

 private:
  struct Waiting {
    Candidate candidate;
    std::uint64_t patches_before;  // how many files the run had patched when it was queued
  };

  void process_candidate(Candidate candidate) {
    if (!is_jpeg_name(candidate.shown)) {
      if (candidate.named && typed()) {
        report_in_order(FileFailure::Kind::kNotJpegName, candidate.reported(), 0);
      }
      return;
    }
    while (read_ahead_.full() && !stopped()) handle_oldest();
    if (stopped()) {
      read_ahead_.stop();
      return;
    }
    read_ahead_.queue(candidate.file);
    waiting_.push_back({std::move(candidate), patches_});
  }

  // One folder of a tree being walked: its subfolders still to enter, how
  // long the shown prefix of its files is, and how long its own shown name
  // at the start of that prefix (the top's is top_shown_). Only the deepest levels keep
  // their folder open (fs::kFoldersKeptOpen); the others are opened again
  // from their child as the walk climbs back, checked by their identity.
  struct Level {
    std::optional<fs::FolderRef> folder;
    fs::FileIdentity identity;
    std::vector<fs::Subfolder> subfolders;
    std::size_t next = 0;
    std::size_t prefix_size = 0;
    std::size_t shown_size = 0;
  };

  // The files of the folder at path, then with recursion those of each
  // subfolder, depth first, each subfolder opened from its parent: a link
  // put in a subfolder's place is never entered. shown is the folder's name
  // in the log, prefix what its files' names begin with. One shown prefix is
  // kept for the whole walk, so that memory grows with the depth, not with
  // its square, and the walk keeps its own stack, not the thread's.
  void process_tree(const NativePath& path, const NativePath& shown, const NativePath& prefix) {
    if (stopped()) return;
    prefix_ = prefix;
    top_shown_ = shown;
    SystemError error = 0;
    const auto top = fs::open_folder(path, &error);
    if (!top) return report_folder(shown, error);
    std::vector<Level> levels;
    list_folder(*top, shown, levels);
    while (!levels.empty() && !stopped()) {
      Level& level = levels.back();
      if (level.next == level.subfolders.size()) {
        climb_back(levels);
        continue;
      }
      const fs::Subfolder& subfolder = level.subfolders[level.next++];
      prefix_.resize(level.prefix_size);
      const NativePath sub_shown = fs::child_path(prefix_, subfolder.name);
      prefix_ = fs::child_path(sub_shown, {});
      const auto opened = fs::open_subfolder(*level.folder, subfolder, &error);
      if (!opened) {
        report_folder(sub_shown, error);
        continue;
      }
      list_folder(*opened, sub_shown, levels);
    }
  }

  // Queues the folder's files; with recursion, its subfolders go on levels.
  void list_folder(const fs::FolderRef& folder, const NativePath& shown,
                   std::vector<Level>& levels) {
    if (stopped()) return;
    folder_being_read_ = shown;
    if (options_.observer != nullptr) options_.observer->run_progress(counts_, folder_being_read_);
    std::vector<fs::Subfolder> subfolders;
    SystemError error = 0;
    const bool listed = fs::list_plain_files(
        folder,
        [&](const fs::FileRef& file, const NativePath& name) {
          process_candidate({file, fs::child_path(prefix_, name), {}});
        },
        options_.recursive ? &subfolders : nullptr, &error);
    if (!listed) report_folder(shown, error);
    if (!options_.recursive) return;
    levels.push_back(
        {folder, fs::identity_of(folder), std::move(subfolders), 0, prefix_.size(), shown.size()});
    if (levels.size() > fs::kFoldersKeptOpen)
      levels[levels.size() - fs::kFoldersKeptOpen - 1].folder.reset();
  }

  // Leaves the deepest level. The level above gets its folder back from
  // the one left, if it had let go of it: a folder moved away meanwhile
  // gets the access-error line, and its other subfolders are not entered.
  void climb_back(std::vector<Level>& levels) {
    Level child = std::move(levels.back());
    levels.pop_back();
    if (levels.empty() || levels.back().folder) return;
    Level& parent = levels.back();
    SystemError error = 0;
    if (child.folder) parent.folder = fs::open_parent(*child.folder, parent.identity, &error);
    if (parent.folder || parent.next == parent.subfolders.size()) return;
    parent.next = parent.subfolders.size();
    report_folder(levels.size() == 1 ? top_shown_ : prefix_.substr(0, parent.shown_size), error);
  }

  // A folder that cannot be opened or listed is reported under its own
  // name, after its files' lines, not passed over in silence.
  void report_folder(const NativePath& shown, SystemError error) {
    finish();
    if (stopped()) return;
    report_failure(FileFailure::Kind::kList, shown, error);
    report(shown, kAccessError);
  }

  void handle_oldest() {
    const Waiting waiting = std::move(waiting_.front());
    waiting_.pop_front();
    window_.repaint();
    ReadAhead::Scan scan = read_ahead_.take();
    // Scanned before the run patched the same file under this or another
    // name: the file is scanned again, as the run would scan it now. A scan
    // ahead that found no descriptor left is made again now.
    if (scan.ahead &&
        (patched_since(waiting.patches_before, scan.detail.identity) ||
         (scan.result == kAccessError && fs::out_of_descriptors(scan.detail.error)))) {
      scan = scan_here(waiting.candidate);
    }
    handle(waiting.candidate, scan);
  }

  static ReadAhead::Scan scan_here(const Candidate& candidate) {
    ReadAhead::Scan scan;
    scan.result = scan_density(candidate.file, scan.detail);
    return scan;
  }

  void handle(const Candidate& candidate, const ReadAhead::Scan& scan) {
    ScanResult result = scan.result;
    if (result < kAccessError) {
      // At its place already: every file before it is handled.
      if (candidate.named && typed()) {
        report_failure(FileFailure::Kind::kPassedOver, candidate.reported(), 0);
      }
      return;
    }
    if (result == kAccessError) {
      report_failure(FileFailure::Kind::kRead, candidate.reported(), scan.detail.error);
    } else if (result > 0) {
      const Written written = write(candidate, result, scan);
      // Changed since it was scanned ahead: decided on a scan made now.
      if (written == Written::kScanAgain) return handle(candidate, scan_here(candidate));
      if (written == Written::kNo) result = kAccessError;
    }
    report(candidate.shown, result);
  }

  bool stopped() const {
    return (options_.stop != nullptr && options_.stop->requested()) ||
           (options_.observer != nullptr && options_.observer->run_stopped());
  }
  bool typed() const { return options_.form == PathForm::kTyped; }

  // A report that is no file's line goes after the lines of the files
  // queued before it.
  void report_in_order(FileFailure::Kind kind, const NativePath& path, SystemError error) {
    finish();
    if (!stopped()) report_failure(kind, path, error);
  }

  void report_failure(FileFailure::Kind kind, const NativePath& path, SystemError error) {
    if (options_.observer != nullptr) options_.observer->report_failure({kind, path, error});
  }

  enum class Written { kYes, kNo, kScanAgain };

  Written write(const Candidate& candidate, ScanResult position, const ReadAhead::Scan& scan) {
    if (options_.mode == WriteMode::kDryRun) return Written::kYes;
    const PatchOutcome outcome =
        patch_density(candidate.file, position, scan.detail,
                      window_.keep_dates() ? KeepTimes::kYes : KeepTimes::kNo);
    if (outcome.changed && scan.ahead) return Written::kScanAgain;
    if (outcome.changed) {
      report_failure(FileFailure::Kind::kChanged, candidate.reported(), 0);
    } else if (!outcome.written) {
      report_failure(FileFailure::Kind::kWrite, candidate.reported(), outcome.error);
    } else if (outcome.times == fs::TimesRestored::kNo) {
      report_failure(FileFailure::Kind::kTimes, candidate.reported(), outcome.times_error);
    }
    if (outcome.written) note_patched(outcome.identity);
    return outcome.written ? Written::kYes : Written::kNo;
  }

  // The files patched while a queued file waited: no more than the files
  // queued before it, so only the last ones are kept.
  void note_patched(const fs::FileIdentity& identity) {
    recent_patches_.push_back({++patches_, identity});
    if (recent_patches_.size() > static_cast<std::size_t>(options_.read_ahead)) {
      recent_patches_.pop_front();
    }
  }

  bool patched_since(std::uint64_t patches_before, const fs::FileIdentity& identity) const {
    return std::any_of(recent_patches_.begin(), recent_patches_.end(), [&](const auto& patch) {
      return patch.first > patches_before && patch.second == identity;
    });
  }

  void report(const NativePath& shown, ScanResult result) {
    ++(result > 0 ? counts_.update : result == kFair ? counts_.fair : counts_.error);
    ++counts_.total;
    append_log_line(window_, log_line(log_name(shown), result));
    window_.scroll_log_to_end();
    if (options_.observer != nullptr) options_.observer->run_progress(counts_, folder_being_read_);
  }

  LogWindow& window_;
  RunCounts& counts_;
  const RunOptions& options_;
  std::deque<Waiting> waiting_;   // the files queued in the read-ahead, in order
  NativePath folder_being_read_;  // the folder last listed, as shown
  NativePath prefix_;             // what the names of the files being listed begin with
  NativePath top_shown_;          // the name of the tree being walked
  std::uint64_t patches_ = 0;
  std::deque<std::pair<std::uint64_t, fs::FileIdentity>> recent_patches_;
  ReadAhead read_ahead_;  // last: its workers end before what they may use
};

}  // namespace

bool is_jpeg_name(const NativePath& name) {
  return ends_with_lower_ascii(name, ".jpg") || ends_with_lower_ascii(name, ".jpeg");
}

void process_path(LogWindow& window, const NativePath& path, RunCounts& counts,
                  const RunOptions& options) {
  process_paths(window, {path}, counts, options);
}

void process_paths(LogWindow& window, const std::vector<NativePath>& paths, RunCounts& counts,
                   const RunOptions& options) {
  PathRun run(window, counts, options);
  for (const NativePath& path : paths) run.process(path);
  run.finish();
}

}  // namespace quadrell
