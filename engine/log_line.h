#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/density_types.h"
#include "engine/log_name.h"
#include "engine/run_report.h"

namespace quadrell {

// Full stops between a name of N UTF-16 units and its outcome: 64 - 2N for
// N up to 29, and 4 from 30 on, so that short names line up.
int leader_length(int name_length);

// A number in the log: one blank (the place of a sign), then the decimal
// digits, with no grouping and no padding.
std::string number_text(std::int64_t number);

// The result line of one JPEG file: the name, a space, the leader and the
// outcome ("OK", the two changed positions and "Change", or the access
// error) for a result of -1 or more.
std::string log_line(const LogName& name, ScanResult result);

// "Jpeg files =>  total: 3  fair: 1  update: 2  error: 0"
std::string summary_line(const RunCounts& counts);

// The window's log text, which a run adds to: a line goes behind a CR LF
// unless the log is empty.
void add_log_line(std::string& text, bool log_empty, std::string_view line);

// The summary line is set off by an empty line: a CR LF unless the log is
// empty, then one more.
void add_summary_line(std::string& text, bool log_empty, std::string_view line);

}  // namespace quadrell
