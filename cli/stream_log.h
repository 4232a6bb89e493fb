#pragma once

#include <string>

#include "cli/cli_output.h"
#include "engine/log_window.h"

namespace quadrell {

// The log of a command-line run: kept as the window keeps it, and written
// to the output as it grows, each CR LF as a line end.
class StreamLog final : public LogWindow {
 public:
  StreamLog(CliOutput& output, bool keep_dates) : output_(output), keep_dates_(keep_dates) {}

  std::string log_text() const override { return text_; }
  void set_log_text(std::string_view text) override;
  bool log_is_empty() const override { return text_.empty(); }
  void append_to_log(std::string_view text) override;
  void scroll_log_to_end() override {}
  void repaint() override {}
  bool keep_dates() const override { return keep_dates_; }

 private:
  CliOutput& output_;
  const bool keep_dates_;
  std::string text_;
};

}  // namespace quadrell
