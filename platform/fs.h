#pragma once

// The file operations the engine needs, implemented once for Win32
// (fs_win.cpp) and once for POSIX (fs_posix.cpp). Every opening here refuses
// to create a file and refuses anything but a regular file, so a device,
// FIFO or folder given by name is never read, written or waited on.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/byte_source.h"
#include "platform/file_identity.h"
#include "platform/native_path.h"
#include "platform/system_error.h"

namespace quadrell {

// Whether a patched file gets its time stamps back (the keep-dates setting).
enum class KeepTimes { kNo, kYes };

}  // namespace quadrell

// The types that differ per platform come from the header the build selects
// (fs_types_posix.h or fs_types_win.h, through native_path.h): NativePath;
// FileHandle, the owner of an open file; FileRef, what opens a file;
// SavedTimes, what PatchFile keeps to put times back; and kTimesAfterClose,
// whether times are set through the name after the close, not on the open
// file before it.

namespace quadrell::fs {

// The system's words for an error, UTF-8, without a line end.
std::string error_text(SystemError error);

// Whether error says that the process or the system has no descriptor or
// handle left to open a file with.
bool out_of_descriptors(SystemError error);

// How many descriptors the read-ahead may hold: three quarters of what the
// process may open, the rest left for the folders of a deep walk and for the
// output. At least 2; no bound where the system sets none.
int read_ahead_allowance();

// Whether the system can give a file these times: how a record that holds
// times no file here can have is known.
bool times_in_range(const FileTimes& times);

// A read that takes longer than this has waited on the storage, where the
// system cannot say so itself: a read from the page cache takes a few us.
inline constexpr std::chrono::microseconds kSlowRead{50};

// A regular file open for reading. The opening leaves the file's last-access
// time alone where the platform allows it: the times that keep-dates
// restores are read after the scan.
class InputFile final : public ByteSource {
 public:
  static Result<InputFile> open(const FileRef& file);

  // Whether the file's first read waited on the storage: on Linux as the
  // page cache tells (RWF_NOWAIT), elsewhere a read slower than kSlowRead.
  // Later reads are not judged: where the system reads ahead by itself, a
  // later one can meet its mark and be refused or slowed with every page of
  // the header at hand, and a slow file's first read has waited already.
  bool waited() const { return waited_; }
  FileIdentity identity() const { return identity_; }
  std::int64_t size() const { return size_; }
  // As they were when the file was opened, before any read.
  FileTimes times() const { return times_; }

  Result<std::size_t> read_at(std::int64_t offset, std::uint8_t* data, std::size_t size) override;

 private:
  InputFile() = default;

  FileHandle handle_;
  FileIdentity identity_;
  std::int64_t size_ = 0;
  FileTimes times_;
  bool judged_ = false;  // the first read was made
  bool waited_ = false;
};

// A regular file open for reading and writing in place: never created, never
// truncated, and on Windows not writable by others while it is open. It
// gives the steps that putting times back is made of; which times go back,
// and the check that they held, are the engine's (density_patch).
class PatchFile final : public PatchTarget {
 public:
  // With KeepTimes::kYes the file's time stamps are read before the first
  // write can happen: on Windows through a handle of their own, closed
  // before the file is opened; on POSIX from the descriptor that writes, so
  // that they are the same file's whatever happens to the name meanwhile.
  static Result<PatchFile> open(const FileRef& file, KeepTimes keep_times);

  FileIdentity identity() const { return identity_; }
  // As the opening found them.
  std::int64_t size() const { return size_; }
  FileTimes times() const { return opened_times_; }
  // The times keep-dates read before any write.
  Result<FileTimes> saved_times() const;
  // The times the file has now: through the open file, or once it is
  // closed through its name, and only if the same file is found there.
  Result<FileTimes> times_now();
  // Sets all the times the system keeps: on the open file, or once it is
  // closed through its name.
  Result<> set_times(const FileTimes& times);
  Result<> close();

  Result<std::size_t> read_at(std::int64_t offset, std::uint8_t* data, std::size_t size) override;
  Result<std::size_t> write_at(std::int64_t offset, const std::uint8_t* data,
                               std::size_t size) override;

 private:
  PatchFile() = default;

  FileHandle handle_;
  FileIdentity identity_;
  std::int64_t size_ = 0;
  FileTimes opened_times_;
  [[maybe_unused]] SavedTimes saved_;  // empty where times are set on the open file
};

}  // namespace quadrell::fs
