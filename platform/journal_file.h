#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/file_identity.h"
#include "platform/native_path.h"
#include "platform/system_error.h"

namespace quadrell::fs {

// How a journal is opened: to add to, created when missing (on POSIX
// readable and writable by its owner alone); to add to, never created (an
// undo records its progress in the journal it takes back); or to read.
enum class JournalAccess { kCreateOrAdd, kAdd, kRead };

// The file that a run's journal goes to, or that an undo reads: a regular
// file alone, opened without waiting (a FIFO, a device, a socket or a folder
// is refused, never waited on), never truncated; what is added goes to its
// end.
class JournalFile {
 public:
  // A path that names a folder, a device or anything but a regular file
  // gives kNotRegularFile.
  static Result<JournalFile> open(const NativePath& path, JournalAccess access);

  // The file is the one standard output or standard error writes to.
  bool is_standard_stream() const;

  Result<std::int64_t> size() const;
  // Up to size bytes from offset.
  Result<std::string> read_at(std::int64_t offset, std::size_t size);
  // The whole text at the end of the file; append_durably then waits until
  // it is on the storage.
  Result<> append(std::string_view text);
  Result<> append_durably(std::string_view text);
  // Where the opening created the file: its name on the storage too, which
  // POSIX wants a sync of the folder for (NTFS logs the name with the file).
  Result<> sync_name();

  // Held by one writer at a time, from here until the file is closed: false
  // when another opening holds it, so that no two runs or undos add to one
  // journal at once, nor one reads what another writes.
  Result<bool> lock();

 private:
  JournalFile() = default;

  FileHandle handle_;
  NativePath path_;
  bool created_ = false;
};

// The identity of the file at path, without opening it to read or write (so
// that no sharing refuses it).
Result<FileIdentity> identity_at(const NativePath& path);
// The full path of the current folder.
NativePath current_folder();

// path as a full path: one given relative to current_folder (a full path)
// joined to it, on Windows with "." and ".." resolved.
NativePath absolute_path_in(const NativePath& current_folder, const NativePath& path);

}  // namespace quadrell::fs
