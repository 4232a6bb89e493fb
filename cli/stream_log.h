#pragma once

#include "cli/cli_output.h"
#include "engine/log_window.h"

namespace quadrell {

// The log of a command-line run, written to the output as it grows, each
// CR LF as a line end. No text is kept: memory does not grow with the log.
class StreamLog final : public LogWindow {
 public:
  StreamLog(CliOutput& output, bool keep_dates) : output_(output), keep_dates_(keep_dates) {}

  // A run starts by emptying the log; the output holds the run's text only.
  void clear_log() override { empty_ = true; }
  bool log_is_empty() const override { return empty_; }
  void append_to_log(std::string_view text) override;
  void scroll_log_to_end() override {}
  void repaint() override {}
  bool keep_dates() const override { return keep_dates_; }

 private:
  CliOutput& output_;
  const bool keep_dates_;
  bool empty_ = true;
};

}  // namespace quadrell
