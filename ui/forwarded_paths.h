#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/native_path.h"

namespace quadrell::ui {

// The paths of the command line: full paths, in the order given. Explorer
// passes them for files dropped on the program's icon and for Send To.
std::vector<NativePath> command_line_paths();

// WM_COPYDATA of a second start: each path followed by a NUL.
std::wstring pack_paths(const std::vector<NativePath>& paths);

// The paths of a WM_COPYDATA that a second start sent, or nothing when the
// data is not ours.
std::optional<std::vector<NativePath>> forwarded_paths(const COPYDATASTRUCT& data);

// Hands paths to the running instance's window, waiting while a run there
// takes its messages; false when no such window could be found.
bool forward_to_running_instance(const std::vector<NativePath>& paths);

}  // namespace quadrell::ui
