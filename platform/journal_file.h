#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/native_path.h"
#include "platform/system_error.h"

namespace quadrell::fs {

// The file that a run's journal goes to: opened for reading and appending,
// created when missing (on POSIX readable and writable by its owner alone),
// never truncated. Each append reaches the storage before it returns.
class JournalFile {
 public:
  explicit JournalFile(const NativePath& path);

  bool is_open() const { return handle_.valid(); }
  // Why the opening or the last call failed.
  SystemError error() const { return error_; }
  // -1 on failure.
  std::int64_t size();
  // Up to size bytes from offset; false on failure.
  bool read_at(std::int64_t offset, std::size_t size, std::string& text);
  // The whole text at the end of the file, then on the storage.
  bool append_durably(std::string_view text);

 private:
  FileHandle handle_;
  SystemError error_ = 0;
};

// The whole of a file, as its bytes.
bool read_whole_file(const NativePath& path, std::string& text, SystemError& error);

// The full path of the current folder.
NativePath current_folder();

// path as a full path: one given relative to current_folder (a full path)
// joined to it, on Windows with "." and ".." resolved.
NativePath absolute_path_in(const NativePath& current_folder, const NativePath& path);

}  // namespace quadrell::fs
