#include "cli/stream_log.h"

#include "engine/log_line.h"
#include "engine/log_name.h"
#include "platform/fs.h"

namespace quadrell {
namespace {

std::string reason(const FileFailure& failure) {
  switch (failure.kind) {
    case FileFailure::Kind::kChanged:
      return "changed by another program since it was read; nothing written";
    case FileFailure::Kind::kTimes:
      return "patched, but its dates could not be put back: " + fs::error_text(failure.error);
    case FileFailure::Kind::kRead:
      if (failure.error == kPastPositions) return "too large: positions past 2 GiB cannot be shown";
      break;
    case FileFailure::Kind::kNamesNothing:
      if (failure.error == kNotRegularFile) return "neither a file nor a folder";
      break;
    case FileFailure::Kind::kPassedOver:
      return "not a JPEG file, passed over";
    case FileFailure::Kind::kNotJpegName:
      return "only names ending in .jpg or .jpeg are processed, passed over";
    case FileFailure::Kind::kList:
      // The walk would not enter what stands in the listed folder's place.
      if (failure.error == kFileReplaced)
        return "replaced by a link or another folder since it was listed; not entered";
      break;
    case FileFailure::Kind::kNotAsRecorded:
      return "changed since the journal was written; left as it is";
    case FileFailure::Kind::kDatesUnknown:
      return "put back by an undo that stopped before its dates, whose date cannot be told "
             "from a later one; left with the date it has";
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

void StreamLog::file_done(const FileOutcome& outcome, const RunCounts& counts) {
  if (json_) {
    const bool told = told_ && told_->path == outcome.shown;
    if (lines_ == Lines::kAll || outcome.result != kFair) {
      JsonFileNotes notes = *json_;
      if (told) notes.reason = told_reason_;
      notes.dates_not_put_back = told && told_->kind == FileFailure::Kind::kTimes;
      add_line(json_file_line(outcome, notes));
    }
    told_.reset();
  } else if (lines_ == Lines::kAll || outcome.result != kFair) {
    add_line(log_line(log_name(outcome.shown), outcome.result));
  }
  if (progress_ != nullptr) progress_->update(counts, folder_);
}

// Set off by an empty line, and written with it.
void StreamLog::run_ended(const RunCounts& counts) {
  add_line(json_ ? json_summary_line(counts, json_->dry_run) : "\n" + summary_line(counts));
}

void StreamLog::listing_folder(const NativePath& folder, const RunCounts& counts) {
  folder_ = folder;
  if (progress_ != nullptr) progress_->update(counts, folder_);
}

// Each line goes out with its line end.
void StreamLog::add_line(std::string_view line) {
  if (write_failure_ != 0) {
    (unwritten_ += line) += '\n';
    return;
  }
  if (gathered_.empty()) first_gathered_ = clock_();
  if (gathers_) {
    (gathered_ += line) += '\n';
  } else {
    (gathered_ += shown_on_terminal(line)) += '\n';
  }
  // Their age is checked between files, in next_file().
  if (!gathers_ || gathered_.size() >= kGatheredBytes) flush();
}

void StreamLog::next_file() {
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

void StreamLog::failed(const FileFailure& failure) {
  if (failure.kind != FileFailure::Kind::kPassedOver &&
      failure.kind != FileFailure::Kind::kNotJpegName) {
    failed_ = true;
  }
  flush();
  if (progress_ != nullptr) progress_->clear();
  const std::string why = reason(failure);
  output_.write_error("quadrell: " + shown_path(failure.path, errors_on_terminal_) + ": " + why +
                      "\n");
  if (!json_) return;
  // A path named that no line counts gets an object of its own; any other
  // failure goes with the line of its file, which follows.
  switch (failure.kind) {
    case FileFailure::Kind::kNamesNothing:
      return add_line(json_notice_line(failure.path, "error", why));
    case FileFailure::Kind::kPassedOver:
    case FileFailure::Kind::kNotJpegName:
      return add_line(json_notice_line(failure.path, "not_jpeg", why));
    default:
      told_ = failure;
      told_reason_ = why;
  }
}

}  // namespace quadrell
