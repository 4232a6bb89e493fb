#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "cli/cli_output.h"
#include "cli/json_lines.h"
#include "cli/progress_line.h"
#include "engine/run_report.h"

namespace quadrell {

// The log of a command-line run, written to standard output as it grows,
// whole lines at a time, so that standard error, written only between whole
// lines, never lands inside one. On a terminal each line is written as its
// file is done. Into a file or a pipe the lines are gathered into writes of
// up to kGatheredBytes, each out within kGatheredFor of its first line and
// before anything goes to standard error; flush() writes out the rest at
// the run's end. Memory does not grow with the log. Quiet, the lines of fair
// files are left out. The progress line shows the folder being listed. Every failure gets one line
// on standard error with the system's reason. When the log cannot be written the run stops before
// it touches another file, and the text that was lost, every line of a file
// handled included, is kept for the final message. Names written to a
// terminal show its controls as "?" (shown_on_terminal).
class StreamLog final : public RunListener {
 public:
  enum class Lines { kAll, kChangesAndErrors };
  using Clock = std::chrono::steady_clock::time_point (*)();

  // With progress, the run's status line is drawn on standard error and
  // cleared before each line and each message. The clock times the
  // gathered lines.
  explicit StreamLog(CliOutput& output, Lines lines = Lines::kAll, ProgressLine* progress = nullptr,
                     Clock clock = &std::chrono::steady_clock::now)
      : output_(output),
        lines_(lines),
        progress_(progress),
        clock_(clock),
        gathers_(!output.out_is_terminal()),
        errors_on_terminal_(output.error_terminal_columns() > 0) {}

  static constexpr std::size_t kGatheredBytes = 16 * 1024;
  static constexpr std::chrono::milliseconds kGatheredFor{100};

  // Between files: gathered lines that waited long enough are written.
  void next_file() override;
  void file_done(const FileOutcome& outcome, const RunCounts& counts) override;
  void failed(const FileFailure& failure) override;
  void listing_folder(const NativePath& folder, const RunCounts& counts) override;
  bool stopped() const override { return write_failure_ != 0; }
  void run_ended(const RunCounts& counts) override;

  // Writes one JSON object a line (cli/json_lines.h) in place of the log's
  // lines, the failures still explained on standard error. dry_run: no
  // file is written; dates_asked: a change puts the file's dates back.
  void write_json(bool dry_run, bool dates_asked) {
    json_ = JsonFileNotes{.dates_asked = dates_asked, .dry_run = dry_run};
  }

  // Writes the lines gathered so far.
  void flush();

  // Whether any failure was reported, the log's own included; a file passed
  // over is none.
  bool failed() const { return failed_ || write_failure_ != 0; }
  SystemError write_failure() const { return write_failure_; }
  // What could not be written, from the first failed write on.
  const std::string& unwritten() const { return unwritten_; }

 private:
  void add_line(std::string_view line);

  CliOutput& output_;
  const Lines lines_;
  ProgressLine* const progress_;
  const Clock clock_;
  const bool gathers_;  // standard output is no terminal
  const bool errors_on_terminal_;
  std::string gathered_;
  std::chrono::steady_clock::time_point first_gathered_;
  NativePath folder_;  // the folder last listed, as shown
  bool failed_ = false;
  std::optional<JsonFileNotes> json_;  // with --json: what every object notes
  // The failure told before its file's line, which its object holds.
  std::optional<FileFailure> told_;
  std::string told_reason_;
  SystemError write_failure_ = 0;
  std::string unwritten_;
};

// Shown text (lines, names) as it goes to a terminal, or as it is.
std::string shown_text(std::string text, bool on_terminal);

// A path on standard error as the log shows names: a control character
// cannot end the line or start another, nor, on a terminal, act on it.
std::string shown_path(const NativePath& path, bool on_terminal);

}  // namespace quadrell
