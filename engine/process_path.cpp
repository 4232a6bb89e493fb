#include "engine/process_path.h"

#include <vector>

#include "engine/density_patch.h"
#include "engine/density_scan.h"
#include "engine/density_types.h"
#include "engine/log_line.h"
#include "engine/log_name.h"
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

// A file to handle: what opens it, the name the log shows (its path relative
// to the dropped folder) and its full path for the failure reports.
struct Candidate {
  fs::FileRef file;
  NativePath shown;
  NativePath full_path;
};

class PathRun {
 public:
  PathRun(LogWindow& window, RunCounts& counts, const RunOptions& options)
      : window_(window), counts_(counts), options_(options) {}

  void process_candidate(const Candidate& candidate) {
    if (!is_jpeg_name(candidate.shown) || stopped()) return;
    window_.repaint();
    ScanDetail detail;
    ScanResult result = scan_density(candidate.file, detail);
    if (result < kAccessError) return;
    if (result == kAccessError) {
      report_failure(FileFailure::Kind::kRead, candidate.full_path, detail.error);
    } else if (result > 0 && !write(candidate, result, detail)) {
      result = kAccessError;
    }
    report(candidate.shown, result);
  }

  // The files of folder, then with recursion those of each subfolder. shown
  // is the folder's name in the log, prefix what its files' names begin with.
  void process_folder(const NativePath& folder, const NativePath& shown, const NativePath& prefix) {
    if (stopped()) return;
    std::vector<NativePath> subfolders;
    SystemError error = 0;
    const bool listed = fs::list_plain_files(
        folder,
        [&](const fs::FileRef& file, const NativePath& name) {
          process_candidate({file, fs::child_path(prefix, name), fs::child_path(folder, name)});
        },
        options_.recursive ? &subfolders : nullptr, &error);
    if (!listed && !stopped()) {
      // A folder that cannot be listed is reported, not passed over in silence.
      report_failure(FileFailure::Kind::kList, folder, error);
      report(shown, kAccessError);
    }
    for (const NativePath& name : subfolders) {
      const NativePath sub_shown = fs::child_path(prefix, name);
      process_folder(fs::child_path(folder, name), sub_shown, fs::child_path(sub_shown, {}));
    }
  }

 private:
  bool stopped() const { return options_.observer != nullptr && options_.observer->run_stopped(); }

  void report_failure(FileFailure::Kind kind, const NativePath& path, SystemError error) {
    if (options_.observer != nullptr) options_.observer->report_failure({kind, path, error});
  }

  bool write(const Candidate& candidate, ScanResult position, const ScanDetail& detail) {
    if (options_.mode == WriteMode::kDryRun) {
      const fs::PatchFile file(candidate.file, KeepTimes::kNo);
      if (!file.is_open()) {
        report_failure(FileFailure::Kind::kWrite, candidate.full_path, file.error());
      }
      return file.is_open();
    }
    const PatchOutcome outcome = patch_density(
        candidate.file, position, detail, window_.keep_dates() ? KeepTimes::kYes : KeepTimes::kNo);
    if (outcome.changed) {
      report_failure(FileFailure::Kind::kChanged, candidate.full_path, 0);
    } else if (!outcome.written) {
      report_failure(FileFailure::Kind::kWrite, candidate.full_path, outcome.error);
    } else if (outcome.times == fs::TimesRestored::kNo) {
      report_failure(FileFailure::Kind::kTimes, candidate.full_path, outcome.times_error);
    }
    return outcome.written;
  }

  void report(const NativePath& shown, ScanResult result) {
    ++(result > 0 ? counts_.update : result == kFair ? counts_.fair : counts_.error);
    ++counts_.total;
    append_log_line(window_, log_line(log_name(shown), result));
    window_.scroll_log_to_end();
  }

  LogWindow& window_;
  RunCounts& counts_;
  const RunOptions& options_;
};

}  // namespace

bool is_jpeg_name(const NativePath& name) {
  return ends_with_lower_ascii(name, ".jpg") || ends_with_lower_ascii(name, ".jpeg");
}

void process_path(LogWindow& window, const NativePath& path, RunCounts& counts,
                  const RunOptions& options) {
  const auto entry = fs::look_up(path);
  if (!entry) return;
  PathRun run(window, counts, options);
  if (entry->is_folder) {
    run.process_folder(entry->path, entry->name, {});
  } else {
    run.process_candidate({fs::FileRef{entry->path}, entry->name, entry->path});
  }
}

}  // namespace quadrell
