#pragma once

#include <gtest/gtest.h>

#include "engine/log_line.h"
#include "engine/log_window.h"

namespace quadrell::testing {

// The CR LF rules of the log, checked on any implementation of the window:
// no CR LF before the first line or after the last; the summary set off by
// one empty line, also in an empty log.
inline void expect_log_line_rules(LogWindow& window) {
  window.set_log_text("");
  append_log_line(window, "first");
  EXPECT_EQ(window.log_text(), "first");
  append_log_line(window, "second");
  EXPECT_EQ(window.log_text(), "first\r\nsecond");
  append_summary_line(window, "summary");
  EXPECT_EQ(window.log_text(), "first\r\nsecond\r\n\r\nsummary");

  window.set_log_text("");
  EXPECT_TRUE(window.log_is_empty());
  append_summary_line(window, "summary");
  EXPECT_EQ(window.log_text(), "\r\nsummary");
  EXPECT_FALSE(window.log_is_empty());
}

}  // namespace quadrell::testing
