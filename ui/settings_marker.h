#pragma once

#include <optional>
#include <string>

namespace quadrell::ui {

// The keep-dates setting between runs: the empty file Quadrell.chk beside
// the executable, present when the check box was checked at the last
// orderly close. Its content is never read.

// The executable's folder, one "\" (none doubled in a drive's root) and
// "Quadrell.chk".
std::wstring marker_path_for(const std::wstring& executable);

// The full path of the running executable, at any length.
std::optional<std::wstring> executable_path();

// Present only when a search for exactly the path finds a plain file (read-
// only and archive count; a folder, a hidden or a system file does not).
// kUnknown when the search itself failed.
enum class MarkerState { kPresent, kAbsent, kUnknown };
MarkerState marker_state(const std::wstring& marker);

// Stores the setting. Checked: creates the marker unless it is present.
// Unchecked: deletes it unless it is absent; a failed existence test does
// not stop the step. Every failure is ignored. An existing file is never
// rewritten, and a folder of that name is never removed.
void save_setting(const std::wstring& marker, bool checked);

}  // namespace quadrell::ui
