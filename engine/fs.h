#pragma once

// The file operations the engine needs, implemented once for Win32
// (fs_win.cpp) and once for POSIX (fs_posix.cpp). Every opening here refuses
// to create a file and refuses anything but a regular file, so a device,
// FIFO or folder given by name is never read, written or waited on.

#include <cstddef>
#include <cstdint>
#include <optional>

#include "engine/density_types.h"
#include "engine/native_path.h"

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
// which is neither created nor truncated. With KeepTimes::kYes the file's
// time stamps are read before the write and set back after it, also after a
// failed write; failures of these two steps are silent. False when the
// opening, the positioning, the write or the closing failed or the write was
// short: no other byte of the file has changed then.
bool write_two_bytes(const NativePath& path, std::int64_t offset, const PatchValue& bytes,
                     KeepTimes keep_times);

// Opens an existing regular file for writing and closes it, writing nothing:
// whether write_two_bytes could open it.
bool can_open_for_writing(const NativePath& path);

}  // namespace quadrell::fs
