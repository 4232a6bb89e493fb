#pragma once

#include <string>
#include <string_view>

#include "engine/run_report.h"
#include "platform/native_path.h"

namespace quadrell {

// A journal is text: its first line names it and its format, then one line
// per change, before the change is made:
//   quadrell journal format 1
//   change 15 x 00 48 -> 01 2c file 2049 1835011 times 0 1733650000123456789 ... /photos/a.jpg
// position, which density (x or y), the two bytes before and after, the
// file's identity (device and inode; on Windows volume serial and file
// index), its times before the run (on POSIX 0, last access and last write
// in ns since 1970; on Windows creation, last access and last write in
// 100 ns since 1601) and its full path to the end of the line. In the path,
// "%", controls and bytes that are no UTF-8 (on Windows, halves of a
// surrogate pair alone, as %uD800) are written %HH.
inline constexpr int kJournalFormat = 1;
inline constexpr std::string_view kJournalName = "quadrell journal format ";

struct JournalRecord {
  NativePath path;
  DensityChange change;
};

std::string journal_header();

// kJournalFormat for this format's first line (without its line end), a
// higher number for a newer format's, 0 for a line that names no journal.
int journal_format(std::string_view first_line);

// One record, with its line end.
std::string record_line(const NativePath& path, const DensityChange& change);

// A record's line without its line end; false when it holds none.
bool parse_record(std::string_view line, JournalRecord& record);

}  // namespace quadrell
