#pragma once

#include <string>
#include <string_view>

#include "engine/run_report.h"

namespace quadrell {

// The objects of --json, one a line (JSON Lines), each without its line end.
// A path that is valid UTF-8 (on Windows: UTF-16 with no lone surrogate) is
// a string, any other {"bytes": its name_bytes() in base64}, as ripgrep's
// --json gives it, so that every name can be had back.

// What became of a file beside its outcome: the reason of the failure told
// before its line, if any, and whether its dates were to be put back.
struct JsonFileNotes {
  std::string_view reason{};  // empty: none
  bool dates_not_put_back = false;
  bool dates_asked = false;  // -p, or an undo
  bool dry_run = false;
};

std::string json_file_line(const FileOutcome& outcome, const JsonFileNotes& notes);

// A path named that no line counts: outcome is "not_jpeg" or "error".
std::string json_notice_line(const NativePath& path, std::string_view outcome,
                             std::string_view reason);

std::string json_summary_line(const RunCounts& counts, bool dry_run);

// A path as JSON, a string or {"bytes": ...}.
void append_json_path(std::string& out, const NativePath& path);

}  // namespace quadrell
