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
//   quadrell journal format 2
//   change 15 x 00 48 -> 01 2c file 2049 1835011 1733640000123456789 size 4120 times 0
//   1733650000123456789 1733650000123456789 /photos/a.jpg 5e0c1a7b left 5e0c1a7b written
//   1733660000987654321 0b8d2f11 undoing 5e0c1a7b at 1733670000000000000 77aa01c3 settled 5e0c1a7b
//   9f1e2d3c
// A change, before it is made: position, which density (x or y), the two
// bytes before and after, the file's identity (device, inode and birth time,
// 0 where the file system keeps none; on Windows volume serial, file index
// and 0), its size, its times before the run (on POSIX 0, last access and
// last write in ns since 1970; on Windows creation, last access and last
// write in 100 ns since 1601) and its full path (see journal_path.h).
// The others name the change by its check: left, once it is made, with the
// file's last-write time as the change left it; undoing, before an undo
// writes it back, with the time that undo began; settled, once an undo is
// done with the file: put back, dates too, found so, or left as it is. Format 1 had change lines
// alone, with neither birth, size nor check; it is still read.
inline constexpr int kJournalFormat = 2;
inline constexpr std::string_view kJournalName = "quadrell journal format ";
// How long a record can be: a path of 32,767 UTF-16 units, every one escaped.
inline constexpr std::size_t kLongestRecord = 256 * 1024;
// What a run that found the last record cut short puts behind it before its
// own: a tab, which no sound record holds, then the line end.
inline constexpr std::string_view kCutMark = "\t\n";

struct JournalRecord {
  enum class Kind { kChange, kLeft, kUndoing, kSettled };
  Kind kind = Kind::kChange;
  // A change's own check; that of the change the others are about.
  std::uint32_t change = 0;
  NativePath path;        // kChange
  DensityChange density;  // kChange
  std::int64_t time = 0;  // kLeft: last write as left; kUndoing: when the undo began
};

std::string journal_header();

// The format a first line (without its line end) names, a higher number for
// a newer format, 0 for a line that names no journal.
int journal_format(std::string_view first_line);

// Records with their line ends; change_line gives the change's check.
std::string change_line(const NativePath& path, const DensityChange& change, std::uint32_t& check);
std::string left_line(std::uint32_t change, std::int64_t last_write);
std::string undoing_line(std::uint32_t change, std::int64_t began);
std::string settled_line(std::uint32_t change);

// A line of a journal of that format, without its line end; false when it
// holds no sound record.
bool parse_record(std::string_view line, int format, JournalRecord& record);

}  // namespace quadrell
