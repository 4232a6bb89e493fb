#pragma once

namespace quadrell {

// What both programs do first, before a window or a library is loaded: DLLs
// loaded on the program's behalf come from the system folder alone, never
// from the program's own folder (a download folder, often) or the current
// one; and a corrupted heap ends the process at once. On a Windows 7
// without update KB2533623, which lacks SetDefaultDllDirectories, only the
// current folder leaves the search.
void harden_process();

}  // namespace quadrell
