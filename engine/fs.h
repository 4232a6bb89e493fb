#pragma once

// The file operations the engine needs, implemented once for Win32
// (fs_win.cpp) and once for POSIX (fs_posix.cpp). Every opening here refuses
// to create a file and refuses anything but a regular file, so a device,
// FIFO or folder given by name is never read, written or waited on.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "engine/native_path.h"
#include "engine/scan_result.h"

namespace quadrell::fs {

// A regular file open for reading from its first byte. The opening leaves
// the file's last-access time alone where the platform allows it: the times
// that keep-dates restores are read after the scan.
class InputFile {
 public:
  explicit InputFile(const NativePath& path);
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  bool is_open() const { return handle_ != kClosed; }

  // Bytes read, 0 at the end of the file, -1 when the read failed.
  std::int64_t read(std::uint8_t* buffer, std::size_t size);

 private:
  static constexpr std::intptr_t kClosed = -1;
  std::intptr_t handle_ = kClosed;
};

// Writes the two bytes at the 0-based offset of an existing regular file,
// which is neither created nor truncated. False when the opening, the
// positioning, the write or the closing failed or the write was short.
bool write_two_bytes(const NativePath& path, std::int64_t offset, const PatchValue& bytes);

// Opens an existing regular file for writing and closes it, writing nothing:
// whether write_two_bytes could open it.
bool can_open_for_writing(const NativePath& path);

// A file's time stamps in the platform's own form (creation, last access and
// last write on Windows; last access and modification to the nanosecond on
// POSIX), handed back unchanged to restore_file_times.
struct SavedTimes {
  std::array<std::uint64_t, 4> values{};
};

std::optional<SavedTimes> read_file_times(const NativePath& path);

// Failures are silent: a time stamp that cannot be restored stays as the
// write left it.
void restore_file_times(const NativePath& path, const SavedTimes& times);

}  // namespace quadrell::fs
