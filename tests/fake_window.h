#pragma once

#include <functional>
#include <string>

#include "engine/log_window.h"

namespace quadrell::testing {

// A window for engine tests: the log as a string, and a record of what the
// engine asked of it.
class FakeWindow final : public LogWindow {
 public:
  void clear_log() override { text.clear(); }
  bool log_is_empty() const override { return text.empty(); }
  void append_to_log(std::string_view more) override { text += more; }
  void scroll_log_to_end() override { ++scrolls; }
  void repaint() override {
    ++repaints;
    if (on_repaint) on_repaint();
  }
  bool keep_dates() const override {
    ++keep_dates_reads;
    if (on_keep_dates) on_keep_dates();
    return keep_dates_checked;
  }

  std::string text;
  bool keep_dates_checked = false;
  int scrolls = 0;
  int repaints = 0;
  mutable int keep_dates_reads = 0;
  std::function<void()> on_repaint;
  std::function<void()> on_keep_dates;  // read right before each patch
};

}  // namespace quadrell::testing
