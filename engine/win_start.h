#pragma once

namespace quadrell {

// What both programs do first, before a window or a library is loaded: DLLs
// loaded on the program's behalf come from the system folder alone, never
// from the program's own folder (a download folder, often) or the current
// one; and a corrupted heap ends the process at once. Returns false on a
// Windows 7 without update KB2533623, which lacks SetDefaultDllDirectories:
// there only the current folder leaves the search.
bool harden_process();

}  // namespace quadrell
