#include "engine/process_path.h"

#include "engine/density_types.h"
#include "engine/directory.h"
#include "engine/fs.h"
#include "engine/log_line.h"
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
  PathRun(LogWindow& window, std::int32_t& fair, std::int32_t& update, std::int32_t& error,
          WriteMode mode)
      : window_(window), fair_(fair), update_(update), error_(error), mode_(mode) {}

  void process_candidate(const NativePath& path, const NativePath& name) {
    if (!is_jpeg_name(name)) return;
    window_.repaint();
    PatchValue value{};
    ScanResult result = scan_density(path, value);
    if (result < kAccessError) return;
    if (result > 0 && !write(path, result, value)) result = kAccessError;
    report(fs::log_name(name), result);
  }

  // A folder that cannot be listed is reported, not passed over in silence.
  void report_unlisted_folder(const NativePath& name) { report(fs::log_name(name), kAccessError); }

  std::int32_t lines() const { return lines_; }

 private:
  bool write(const NativePath& path, ScanResult position, const PatchValue& value) {
    if (mode_ == WriteMode::kDryRun) return fs::can_open_for_writing(path);
    return patch_density(path, position, value,
                         window_.keep_dates() ? KeepTimes::kYes : KeepTimes::kNo);
  }

  void report(const LogName& name, ScanResult result) {
    ++(result > 0 ? update_ : result == kFair ? fair_ : error_);
    ++lines_;
    append_log_line(window_, log_line(name, result));
    window_.scroll_log_to_end();
  }

  LogWindow& window_;
  std::int32_t& fair_;
  std::int32_t& update_;
  std::int32_t& error_;
  const WriteMode mode_;
  std::int32_t lines_ = 0;
};

}  // namespace

bool is_jpeg_name(const NativePath& name) {
  return ends_with_lower_ascii(name, ".jpg") || ends_with_lower_ascii(name, ".jpeg");
}

std::int32_t process_path(LogWindow& window, const NativePath& path, std::int32_t& fair,
                          std::int32_t& update, std::int32_t& error, WriteMode mode) {
  const auto entry = fs::look_up(path);
  if (!entry) return 0;
  PathRun run(window, fair, update, error, mode);
  if (!entry->is_folder) {
    run.process_candidate(entry->path, entry->name);
  } else if (!fs::list_plain_files(entry->path, [&](const NativePath& name) {
               run.process_candidate(fs::child_path(entry->path, name), name);
             })) {
    run.report_unlisted_folder(entry->name);
  }
  return run.lines();
}

}  // namespace quadrell
