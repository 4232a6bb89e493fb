#pragma once

// Finding what a dropped path stands for, implemented once for Win32
// (directory_win.cpp) and once for POSIX (directory_posix.cpp).
//
// "Hidden" is the hidden or system attribute on Windows and a name that
// begins with "." on POSIX. A plain file is a regular file (on POSIX also a
// symbolic link to one); folders, devices, FIFOs and sockets are not.

#include <functional>
#include <vector>

#include "platform/file_identity.h"
#include "platform/fs.h"
#include "platform/native_path.h"

namespace quadrell::fs {

struct Entry {
  NativePath path;  // full path, no trailing separator but on a root
  NativePath name;  // the name as the system lists it
  bool is_folder = false;
};

// Whether a hidden file or folder is found when it is named itself.
enum class HiddenNamed { kNotFound, kFound };

// The plain file or folder at path, or the system's reason why none (0: an
// entry that is neither a plain file nor a folder): no such
// entry, a hidden one unless asked for, or (POSIX) a file named with a
// trailing "/", which the system takes for a folder. A root ("C:\", "/") is
// a folder with no entry of its own to look up.
Result<Entry> look_up(const NativePath& path, HiddenNamed hidden = HiddenNamed::kNotFound);

// A subfolder as its folder's listing saw it: its name, and on POSIX its
// device and inode (unused on Windows, where the opening checks instead).
struct Subfolder {
  NativePath name;
  FileIdentity identity;
};

// The folder at path, as a run was given it (a link to a folder named
// itself is followed), open for listing.
Result<FolderRef> open_folder(const NativePath& path);

// A subfolder of parent that its listing found, opened relative to parent
// and checked to be that folder still: a symbolic link, a junction or
// another folder put in its place since is not opened: a failure with no
// system reason (0).
Result<FolderRef> open_subfolder(const FolderRef& parent, const Subfolder& subfolder);

// How many folders a walk down a tree keeps open at most: a descriptor each
// on POSIX, where they are few. The others are let go of and opened again
// with open_parent as the walk climbs back.
inline constexpr std::size_t kFoldersKeptOpen = 64;

// Which folder an opening reached.
FileIdentity identity_of(const FolderRef& folder);

// The parent of child, opened from child itself, if it is still the folder
// identified by expected: one moved meanwhile is not opened, a failure with
// no system reason (0).
Result<FolderRef> open_parent(const FolderRef& child, const FileIdentity& expected);

// The folder child was entered from, opened the platform's way: on POSIX
// its "..", on Windows its path less the last component.
Result<FolderRef> open_folder_above(const FolderRef& child);

// Calls visit for each plain, not hidden file directly inside folder, with
// what opens it and its name: on Windows in the listing's own order, on POSIX
// in byte order of the name (the directory's own order is arbitrary there),
// each file opened relative to the folder, which stays open while a FileRef
// to one of its files is kept. With subfolders, the folders inside that are
// neither hidden nor links (symbolic links, junctions) go there, in the same
// order. Fails when the folder could not be listed to its end.
Result<> list_plain_files(
    const FolderRef& folder,
    const std::function<void(const FileRef& file, const NativePath& name)>& visit,
    std::vector<Subfolder>* subfolders = nullptr);

// The paths of a command line with wildcards expanded as a Windows console
// program expands them (cmd and PowerShell leave that to the program): a
// path whose last component holds * or ? is replaced, at its place, by the
// plain files and folders it matches, neither hidden nor system, in name
// order without regard to case, each as the folder typed joined with its
// name. Only long names match (the system's search also matches 8.3 short
// names). A pattern that matches nothing stays as typed, to name nothing;
// one with a wildcard in a folder's name too. On POSIX the shell expands,
// and the paths are returned as they are.
std::vector<NativePath> expand_wildcards(const std::vector<NativePath>& paths);

// folder, one separator, name (no doubled separator behind a root); name
// alone when folder is empty.
NativePath child_path(const NativePath& folder, const NativePath& name);

// Whether path is "." (with separators behind it, or not).
bool names_current_folder(const NativePath& path);

// The full path of a path given relative to the current folder.
NativePath absolute_path(const NativePath& path);

}  // namespace quadrell::fs
