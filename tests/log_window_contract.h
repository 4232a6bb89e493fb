#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "engine/log_line.h"
#include "engine/log_window.h"

namespace quadrell::testing {

// The CR LF rules of the log, checked on any implementation of the window:
// no CR LF before the first line or after the last; the summary set off by
// one empty line. text() gives what the window shows since the clear, with
// CR LF between lines.
inline void expect_lines_then_summary(LogWindow& window, const std::function<std::string()>& text) {
  window.clear_log();
  append_log_line(window, "first");
  EXPECT_EQ(text(), "first");
  append_log_line(window, "second");
  EXPECT_EQ(text(), "first\r\nsecond");
  append_summary_line(window, "summary");
  EXPECT_EQ(text(), "first\r\nsecond\r\n\r\nsummary");
}

// The summary of a run without lines, also after a run that left text.
inline void expect_summary_in_empty_log(LogWindow& window,
                                        const std::function<std::string()>& text) {
  window.clear_log();
  EXPECT_TRUE(window.log_is_empty());
  append_summary_line(window, "summary");
  EXPECT_EQ(text(), "\r\nsummary");
  EXPECT_FALSE(window.log_is_empty());
}

}  // namespace quadrell::testing
