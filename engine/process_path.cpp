#include "engine/process_path.h"

#include "engine/density_types.h"
#include "engine/directory.h"
#include "engine/fs.h"
#include "engine/log_line.h"
#include "engine/log_name.h"
#include "engine/patch_density.h"
#include "engine/scan_density.h"

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

class PathRun {
 public:
  PathRun(LogWindow& window, RunCounts& counts, WriteMode mode)
      : window_(window), counts_(counts), mode_(mode) {}

  void process_candidate(const fs::FileRef& file, const NativePath& name) {
    if (!is_jpeg_name(name)) return;
    window_.repaint();
    ScanDetail detail;
    ScanResult result = scan_density(file, detail);
    if (result < kAccessError) return;
    if (result > 0 && !write(file, result, detail)) result = kAccessError;
    report(log_name(name), result);
  }

  // A folder that cannot be listed is reported, not passed over in silence.
  void report_unlisted_folder(const NativePath& name) { report(log_name(name), kAccessError); }

 private:
  bool write(const fs::FileRef& file, ScanResult position, const ScanDetail& detail) {
    if (mode_ == WriteMode::kDryRun) return fs::PatchFile(file, KeepTimes::kNo).is_open();
    return patch_density(file, position, detail,
                         window_.keep_dates() ? KeepTimes::kYes : KeepTimes::kNo)
        .written;
  }

  void report(const LogName& name, ScanResult result) {
    ++(result > 0 ? counts_.update : result == kFair ? counts_.fair : counts_.error);
    ++counts_.total;
    append_log_line(window_, log_line(name, result));
    window_.scroll_log_to_end();
  }

  LogWindow& window_;
  RunCounts& counts_;
  const WriteMode mode_;
};

}  // namespace

bool is_jpeg_name(const NativePath& name) {
  return ends_with_lower_ascii(name, ".jpg") || ends_with_lower_ascii(name, ".jpeg");
}

void process_path(LogWindow& window, const NativePath& path, RunCounts& counts, WriteMode mode) {
  const auto entry = fs::look_up(path);
  if (!entry) return;
  PathRun run(window, counts, mode);
  if (!entry->is_folder) {
    run.process_candidate(fs::FileRef{entry->path}, entry->name);
  } else if (!fs::list_plain_files(entry->path,
                                   [&](const fs::FileRef& file, const NativePath& name) {
                                     run.process_candidate(file, name);
                                   })) {
    run.report_unlisted_folder(entry->name);
  }
}

}  // namespace quadrell
