#include <windows.h>

#include <limits>

#include "platform/file_identity_win.h"
#include "platform/fs.h"
#include "platform/wide_text.h"
#include "platform/win_path.h"

namespace quadrell {

NativePath native_path_from_utf8(std::string_view utf8) { return wide_from_utf8(utf8); }

std::string utf8_from_native(const NativePath& path) { return utf8_from_wide(path); }

namespace fs {
namespace {

UniqueHandle open_existing(const FileRef& file, DWORD access, DWORD share, DWORD flags) {
  return UniqueHandle(CreateFileW(extended_path(file.path).c_str(), access, share, nullptr,
                                  OPEN_EXISTING, flags, nullptr));
}

// 100 ns units since 1601; times_in_range says which fit.
FILETIME filetime_of(const FileTime& time) {
  const std::uint64_t value = static_cast<std::uint64_t>(time.seconds) * kFileTimeSecond +
                              static_cast<std::uint64_t>(time.nanoseconds / 100);
  return FILETIME{static_cast<DWORD>(value), static_cast<DWORD>(value >> 32)};
}

FileTime file_time_of(const FILETIME& time) {
  const std::uint64_t value = (std::uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
  return {static_cast<std::int64_t>(value / kFileTimeSecond),
          static_cast<std::int32_t>(value % kFileTimeSecond * 100)};
}

// What an open file's information says of it.
struct Status {
  FileIdentity identity;
  std::int64_t size = 0;
  FileTimes times;
};

bool status_of(HANDLE file, Status& status, bool& folder) {
  BY_HANDLE_FILE_INFORMATION information{};
  if (!GetFileInformationByHandle(file, &information)) return false;
  status.identity = identity_of(information);
  status.size = static_cast<std::int64_t>((std::uint64_t{information.nFileSizeHigh} << 32) |
                                          information.nFileSizeLow);
  status.times = {file_time_of(information.ftCreationTime),
                  file_time_of(information.ftLastAccessTime),
                  file_time_of(information.ftLastWriteTime)};
  folder = (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  return true;
}

Failure last_error() { return failure(GetLastError()); }

// A disk file, not a folder, a device or a pipe; status receives its
// identity, its size and its time stamps.
Result<UniqueHandle> open_regular(const FileRef& file, DWORD access, DWORD share, DWORD flags,
                                  Status& status) {
  UniqueHandle handle = open_existing(file, access, share, flags);
  bool folder = false;
  if (!handle.valid()) return last_error();
  if (GetFileType(handle.get()) != FILE_TYPE_DISK) return failure(kNotRegularFile);
  if (!status_of(handle.get(), status, folder)) return last_error();
  if (folder) return failure(kNotRegularFile);
  return handle;
}

constexpr DWORD kScanShare = FILE_SHARE_READ | FILE_SHARE_WRITE;

Result<UniqueHandle> open_for_scan(const FileRef& file, Status& status) {
  // FILE_WRITE_ATTRIBUTES lets the handle stop last-access updates; where
  // it is refused the file is read without it.
  Result<UniqueHandle> handle = open_regular(file, GENERIC_READ | FILE_WRITE_ATTRIBUTES, kScanShare,
                                             FILE_FLAG_RANDOM_ACCESS, status);
  if (!handle && handle.error() == ERROR_ACCESS_DENIED) {
    return open_regular(file, GENERIC_READ, kScanShare, FILE_FLAG_RANDOM_ACCESS, status);
  }
  if (handle) {
    FILETIME keep_unchanged{0xFFFFFFFF, 0xFFFFFFFF};
    SetFileTime(handle->get(), nullptr, &keep_unchanged, nullptr);
  }
  return handle;
}

OVERLAPPED at_offset(std::int64_t offset) {
  OVERLAPPED position{};
  position.Offset = static_cast<DWORD>(offset);
  position.OffsetHigh = static_cast<DWORD>(static_cast<std::uint64_t>(offset) >> 32);
  return position;
}

// A positioned read on a synchronous handle; reading at or past the end is
// no failure but 0 bytes.
Result<std::size_t> read_at_offset(HANDLE file, std::int64_t offset, std::uint8_t* data,
                                   std::size_t size) {
  OVERLAPPED position = at_offset(offset);
  DWORD count = 0;
  if (!ReadFile(file, data, static_cast<DWORD>(size), &count, &position)) {
    if (GetLastError() == ERROR_HANDLE_EOF) return 0;
    return last_error();
  }
  return count;
}

// The handles that read and set back the times let others read, as the one
// that writes does.
constexpr DWORD kPatchShare = FILE_SHARE_READ;

// The open file, or once it is closed the file by its name, opened at the
// first need: only if it is the same file, so that no other file put in its
// place meanwhile gets its times.
Result<HANDLE> times_handle(const UniqueHandle& open, SavedTimes& saved,
                            const FileIdentity& identity) {
  if (open.valid()) return open.get();
  if (!saved.by_name.valid() && saved.by_name_error == 0) {
    UniqueHandle by_name =
        open_existing(saved.file, GENERIC_READ | GENERIC_WRITE, kPatchShare, FILE_ATTRIBUTE_NORMAL);
    Status status;
    bool folder = false;
    if (!by_name.valid() || !status_of(by_name.get(), status, folder)) {
      saved.by_name_error = GetLastError();
    } else if (status.identity != identity) {
      saved.by_name_error = kFileReplaced;
    } else {
      saved.by_name = std::move(by_name);
    }
  }
  if (!saved.by_name.valid()) return failure(saved.by_name_error);
  return saved.by_name.get();
}

}  // namespace

bool out_of_descriptors(SystemError error) { return error == ERROR_TOO_MANY_OPEN_FILES; }

// SetFileTime takes no FILETIME before 1601 or past 0x7FFFFFFFFFFFFFFF
// (the year 30828).
bool times_in_range(const FileTimes& times) {
  const auto fits = [](const FileTime& time) {
    constexpr std::int64_t kLast = std::numeric_limits<std::int64_t>::max();
    constexpr std::int64_t kLastSecond = kLast / kFileTimeSecond;
    return time.seconds >= 0 && time.nanoseconds >= 0 && time.nanoseconds < 1000000000 &&
           time.nanoseconds % 100 == 0 &&
           (time.seconds < kLastSecond ||
            (time.seconds == kLastSecond && time.nanoseconds / 100 <= kLast % kFileTimeSecond));
  };
  return fits(times.creation) && fits(times.last_access) && fits(times.last_write);
}

// A process may hold millions of handles.
int read_ahead_allowance() { return std::numeric_limits<int>::max(); }

std::string error_text(SystemError error) {
  if (const char* own = own_reason_text(error)) return own;
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring words = length > 0 ? std::wstring(text, length) : L"error " + std::to_wstring(error);
  if (text != nullptr) LocalFree(text);
  while (!words.empty() && (words.back() == L'\n' || words.back() == L'\r' ||
                            words.back() == L' ' || words.back() == L'.')) {
    words.pop_back();
  }
  return utf8_from_wide(words);
}

Result<InputFile> InputFile::open(const FileRef& file) {
  InputFile opened;
  Status status;
  Result<UniqueHandle> handle = open_for_scan(file, status);
  if (!handle) return failure(handle.error());
  opened.handle_ = std::move(*handle);
  opened.identity_ = status.identity;
  opened.size_ = status.size;
  opened.times_ = status.times;
  return opened;
}

// Windows cannot say whether a read will wait: a slow first one did.
Result<std::size_t> InputFile::read_at(std::int64_t offset, std::uint8_t* data, std::size_t size) {
  if (judged_) return read_at_offset(handle_.get(), offset, data, size);
  judged_ = true;
  const auto start = std::chrono::steady_clock::now();
  Result<std::size_t> count = read_at_offset(handle_.get(), offset, data, size);
  waited_ = std::chrono::steady_clock::now() - start > kSlowRead;
  return count;
}

// Times, then the file, each through its own handle, the first closed before
// the second opens.
Result<PatchFile> PatchFile::open(const FileRef& file, KeepTimes keep_times) {
  PatchFile opened;
  opened.saved_.file = file;
  if (keep_times == KeepTimes::kYes) {
    const UniqueHandle times =
        open_existing(file, GENERIC_READ, kPatchShare, FILE_ATTRIBUTE_NORMAL);
    FILETIME creation{}, last_access{}, last_write{};
    if (times.valid() && GetFileTime(times.get(), &creation, &last_access, &last_write)) {
      opened.saved_.times =
          FileTimes{file_time_of(creation), file_time_of(last_access), file_time_of(last_write)};
    } else {
      opened.saved_.times = last_error();
    }
  }
  Status status;
  Result<UniqueHandle> handle =
      open_regular(file, GENERIC_READ | GENERIC_WRITE, kPatchShare, FILE_ATTRIBUTE_NORMAL, status);
  if (!handle) return failure(handle.error());
  opened.handle_ = std::move(*handle);
  opened.identity_ = status.identity;
  opened.size_ = status.size;
  opened.opened_times_ = status.times;
  return opened;
}

Result<std::size_t> PatchFile::read_at(std::int64_t offset, std::uint8_t* data, std::size_t size) {
  return read_at_offset(handle_.get(), offset, data, size);
}

Result<std::size_t> PatchFile::write_at(std::int64_t offset, const std::uint8_t* data,
                                        std::size_t size) {
  OVERLAPPED position = at_offset(offset);
  DWORD count = 0;
  if (!WriteFile(handle_.get(), data, static_cast<DWORD>(size), &count, &position)) {
    return last_error();
  }
  return count;
}

Result<FileTimes> PatchFile::saved_times() const { return saved_.times; }

Result<FileTimes> PatchFile::times_now() {
  const Result<HANDLE> file = times_handle(handle_, saved_, identity_);
  Status status;
  bool folder = false;
  if (!file) return failure(file.error());
  if (!status_of(*file, status, folder)) return last_error();
  return status.times;
}

Result<> PatchFile::set_times(const FileTimes& times) {
  const Result<HANDLE> file = times_handle(handle_, saved_, identity_);
  if (!file) return failure(file.error());
  const FILETIME creation = filetime_of(times.creation);
  const FILETIME last_access = filetime_of(times.last_access);
  const FILETIME last_write = filetime_of(times.last_write);
  if (!SetFileTime(*file, &creation, &last_access, &last_write)) return last_error();
  return {};
}

Result<> PatchFile::close() {
  if (!handle_.close()) return last_error();
  return {};
}

}  // namespace fs
}  // namespace quadrell
