#include "cli/stream_log.h"

#include "engine/log_name.h"
#include "platform/fs.h"

namespace quadrell {
namespace {

// Appends text with each CR LF as LF, and a LF at its end.
void append_with_line_ends(std::string& out, std::string_view text) {
  for (std::size_t end; (end = text.find("\r\n")) != std::string_view::npos;) {
    out += text.substr(0, end);
    text.remove_prefix(end + 1);
  }
  out += text;
  out += '\n';
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

std::string shown_text(std::string text, bool on_terminal) {
  return on_terminal ? shown_on_terminal(text) : text;
}

std::string shown_path(const NativePath& path, bool on_terminal) {
  return shown_text(log_name(path).text, on_terminal);
}

// The engine puts a CR LF before each line but the first; here each line
// takes its end with it, so the CR LF before a line was written already.
void StreamLog::append_to_log(std::string_view text) {
  if (text.empty()) return;
  if (!empty_ && text.starts_with("\r\n")) text.remove_prefix(2);
  empty_ = false;
  // A fair file's line is the only one that ends in " OK".
  if (lines_ == Lines::kChangesAndErrors && text.ends_with(" OK")) return;
  if (write_failure_ != 0) {
    append_with_line_ends(unwritten_, text);
    return;
  }
  if (gathered_.empty()) first_gathered_ = clock_();
  if (gathers_) {
    append_with_line_ends(gathered_, text);
  } else {
    std::string lines;
    append_with_line_ends(lines, text);
    gathered_ += shown_on_terminal(lines);
  }
  // Their age is checked between files, in repaint().
  if (!gathers_ || gathered_.size() >= kGatheredBytes) flush();
}

void StreamLog::repaint() {
  if (!gathered_.empty() && clock_() - first_gathered_ >= kGatheredFor) {
    flush();
  }
}

void StreamLog::flush() {
  if (gathered_.empty() || write_failure_ != 0) return;
  if (progress_ != nullptr) progress_->before_log_line();
  write_failure_ = output_.write_out(gathered_);
  if (write_failure_ != 0) unwritten_ = gathered_;
  gathered_.clear();
}

void StreamLog::report_failure(const FileFailure& failure) {
  if (failure.kind != FileFailure::Kind::kPassedOver &&
      failure.kind != FileFailure::Kind::kNotJpegName) {
    failed_ = true;
  }
  flush();
  if (progress_ != nullptr) progress_->clear();
  output_.write_error("quadrell: " + shown_path(failure.path, errors_on_terminal_) + ": " +
                      reason(failure) + "\n");
}

}  // namespace quadrell
