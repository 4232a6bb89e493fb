#include "cli/stream_log.h"

#include "engine/log_name.h"
#include "platform/fs.h"

namespace quadrell {
namespace {

std::string with_line_ends(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out += text[i];
  }
  return out;
}

std::string reason(const FileFailure& failure) {
  switch (failure.kind) {
    case FileFailure::Kind::kChanged:
      return "changed by another program since it was read; nothing written";
    case FileFailure::Kind::kTimes:
      return "patched, but its dates could not be put back: " + fs::error_text(failure.error);
    case FileFailure::Kind::kRead:
      // The one read failure without a system error: past the 2 GiB the
      // 32-bit positions of the log can count.
      if (failure.error == 0) return "too large: positions past 2 GiB cannot be shown";
      break;
    case FileFailure::Kind::kNamesNothing:
      if (failure.error == 0) return "neither a file nor a folder";
      break;
    case FileFailure::Kind::kPassedOver:
      return "not a JPEG file, passed over";
    case FileFailure::Kind::kNotJpegName:
      return "only names ending in .jpg or .jpeg are processed, passed over";
    case FileFailure::Kind::kList:
      // The one folder failure without a system error: the walk would not
      // enter what stands in the listed folder's place.
      if (failure.error == 0)
        return "replaced by a link or another folder since it was listed; not entered";
      break;
    case FileFailure::Kind::kWrite:
      break;
  }
  return fs::error_text(failure.error);
}

}  // namespace

std::string shown_path(const NativePath& path) { return log_name(path).text; }

// The engine puts a CR LF before each line but the first; here each line
// takes its end with it, so the CR LF before a line was written already.
void StreamLog::append_to_log(std::string_view text) {
  if (text.empty()) return;
  if (!empty_ && text.starts_with("\r\n")) text.remove_prefix(2);
  empty_ = false;
  // A fair file's line is the only one that ends in " OK".
  if (lines_ == Lines::kChangesAndErrors && text.ends_with(" OK")) return;
  const std::string lines = with_line_ends(text) + "\n";
  if (write_failure_ != 0) {
    unwritten_ += lines;
    return;
  }
  if (progress_ != nullptr) progress_->before_log_line();
  write_failure_ = output_.write_out(lines);
  if (write_failure_ != 0) unwritten_ = lines;
}

void StreamLog::report_failure(const FileFailure& failure) {
  if (failure.kind != FileFailure::Kind::kPassedOver &&
      failure.kind != FileFailure::Kind::kNotJpegName) {
    failed_ = true;
  }
  if (progress_ != nullptr) progress_->clear();
  output_.write_error("quadrell: " + shown_path(failure.path) + ": " + reason(failure) + "\n");
}

}  // namespace quadrell
