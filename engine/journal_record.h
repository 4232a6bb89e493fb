#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/run_report.h"
#include "platform/native_path.h"

namespace quadrell {

// A journal is text: its first line names it and its format, then one line
// per record, each sealed by the CRC-32C of what stands before its last
// space, so that a line cut, joined to another or edited is known:
//   quadrell journal format 3
//   change 15 x 00 48 -> 01 2c file 2049 1835011 1733640000123456789 size 4120 times
//   0.000000000 1733650000.123456789 1733650000.123456789 /photos/a.jpg 5e0c1a7b
//   left 26 written 1733650000.123456789 9f1e2d3c
//   writing 26 5a3c11e0
//   wrote 26 1733670000.987654321 0b8d2f11
//   settled 26 77aa01c3
// (a change is one line). A change, before it is made: position, which
// density (x or y), the two bytes before and after, the file's identity
// (device, inode and birth time, 0 where the file system keeps none; on
// Windows volume serial, file index and 0), its size, its times before the
// run (on POSIX 0, last access and last write since 1970; on Windows
// creation, last access and last write since 1601; each as seconds rounded
// down, a full stop and nine digits of nanoseconds) and its full path (see
// journal_path.h). The others name the change by the offset of its line in
// the journal, which no other line can share: left, once it is made, with
// the file's last-write time as the change left it; wrote, once an undo
// wrote the bytes back, with the last-write time that write left, read back
// before the dates are set; settled, once an undo is done with the change
// for good.
inline constexpr int kJournalFormat = 3;
inline constexpr std::string_view kJournalName = "quadrell journal format ";
// How long a record can be: a path of 32,767 UTF-16 units, every one escaped.
inline constexpr std::size_t kLongestRecord = 256 * 1024;
// What an opening that found the last record cut short puts behind it
// before its own: a tab, which no sound record holds, then the line end.
inline constexpr std::string_view kCutMark = "\t\n";

struct JournalRecord {
  enum class Kind { kChange, kLeft, kUnmade, kWriting, kWrote, kSettled };
  Kind kind = Kind::kChange;
  std::int64_t change = 0;  // the others: the offset of the change they are about
  NativePath path;          // kChange
  DensityChange density;    // kChange
  fs::FileTime time;        // kLeft, kWrote: a last-write time
};

std::string journal_header();

// The format a first line (without its line end) names, a higher number for
// a newer format, 0 for a line that names no journal.
int journal_format(std::string_view first_line);

// Records with their line ends.
std::string change_line(const NativePath& path, const DensityChange& change);
std::string left_line(std::int64_t change, const fs::FileTime& last_write);
std::string wrote_line(std::int64_t change, const fs::FileTime& last_write);
std::string settled_line(std::int64_t change);
std::string unmade_line(std::int64_t change);
std::string writing_line(std::int64_t change);

// A line without its line end; false when it holds no sound record.
bool parse_record(std::string_view line, JournalRecord& record);

}  // namespace quadrell
