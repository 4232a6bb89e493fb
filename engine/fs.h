#pragma once

// The file operations the engine needs, implemented once for Win32
// (fs_win.cpp) and once for POSIX (fs_posix.cpp). Every opening here refuses
// to create a file and refuses anything but a regular file, so a device,
// FIFO or folder given by name is never read, written or waited on.

#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/byte_source.h"
#include "engine/density_types.h"
#include "engine/native_path.h"

#ifdef _WIN32
#include "engine/unique_handle.h"
#else
#include "engine/unique_fd.h"
#endif

namespace quadrell::fs {

#ifdef _WIN32
using FileHandle = UniqueHandle;
#else
using FileHandle = UniqueFd;
#endif

// The system's words for an error, UTF-8, without a line end.
std::string error_text(SystemError error);

// A file to open: path as given, or on POSIX a name relative to a folder that
// a listing holds open (folder), so that a file costs no walk of its whole
// path and no limit on the path's length applies.
struct FileRef {
  static constexpr int kNoFolder = -100;  // AT_FDCWD on Linux; Windows has no other
  NativePath path;
  int folder = kNoFolder;
};

// A regular file open for reading. The opening leaves the file's last-access
// time alone where the platform allows it: the times that keep-dates
// restores are read after the scan.
class InputFile final : public ByteSource {
 public:
  explicit InputFile(const FileRef& file);

  bool is_open() const { return handle_.valid(); }
  // Why the opening or the last read failed.
  SystemError error() const { return error_; }

  std::int64_t read_at(std::int64_t offset, std::uint8_t* data, std::size_t size) override;

 private:
  SystemError error_ = 0;  // before handle_: the opening sets it
  FileHandle handle_;
};

// What became of a file's time stamps when keep-dates asked for them.
enum class TimesRestored { kNotAsked, kYes, kNo };

// A regular file open for reading and writing in place: never created, never
// truncated, and on Windows not writable by others while it is open. With
// KeepTimes::kYes its time stamps are read before the first write can
// happen: on Windows through a handle of their own, closed before the file
// is opened; on POSIX from the descriptor that writes, so that they are the
// same file's whatever happens to the name meanwhile.
class PatchFile final : public PatchTarget {
 public:
  PatchFile(const FileRef& file, KeepTimes keep_times);

  bool is_open() const { return handle_.valid(); }
  SystemError error() const override { return error_; }

  std::int64_t read_at(std::int64_t offset, std::uint8_t* data, std::size_t size) override;
  std::int64_t write_at(std::int64_t offset, const std::uint8_t* data, std::size_t size) override;

  struct Closing {
    bool closed = true;  // false: the close failed, error says why
    SystemError error = 0;
    TimesRestored times = TimesRestored::kNotAsked;
    SystemError times_error = 0;
  };
  // Closes the file. With restore_times, and keep-dates asked for, the saved
  // times are set back: on POSIX on the descriptor before the close, on
  // Windows through a handle of their own after it.
  Closing close(bool restore_times);

 private:
  FileRef file_;  // Windows opens it once more to set the times back
  FileHandle handle_;
  SystemError error_ = 0;
  bool keep_times_ = false;
  bool times_read_ = false;
  SystemError times_error_ = 0;
  std::int64_t saved_times_[4]{};  // the platform's own values, as read
};

}  // namespace quadrell::fs
