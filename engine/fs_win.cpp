#include <windows.h>

#include "engine/fs.h"
#include "engine/wide_text.h"
#include "engine/win_path.h"

namespace quadrell {

NativePath native_path_from_utf8(std::string_view utf8) { return wide_from_utf8(utf8); }

std::string utf8_from_native(const NativePath& path) { return utf8_from_wide(path); }

namespace fs {
namespace {

HANDLE open_existing(const NativePath& path, DWORD access, DWORD share, DWORD flags) {
  return CreateFileW(extended_path(path).c_str(), access, share, nullptr, OPEN_EXISTING, flags,
                     nullptr);
}

// A disk file, not a folder, a device or a pipe.
bool is_regular_file(HANDLE file) {
  if (GetFileType(file) != FILE_TYPE_DISK) return false;
  BY_HANDLE_FILE_INFORMATION information{};
  return GetFileInformationByHandle(file, &information) &&
         (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

HANDLE open_regular(const NativePath& path, DWORD access, DWORD share, DWORD flags) {
  HANDLE file = open_existing(path, access, share, flags);
  if (file != INVALID_HANDLE_VALUE && !is_regular_file(file)) {
    CloseHandle(file);
    return INVALID_HANDLE_VALUE;
  }
  return file;
}

constexpr DWORD kScanShare = FILE_SHARE_READ | FILE_SHARE_WRITE;

HANDLE open_for_scan(const NativePath& path) {
  // FILE_WRITE_ATTRIBUTES lets the handle stop last-access updates; where
  // it is refused the file is read without it.
  HANDLE file = open_regular(path, GENERIC_READ | FILE_WRITE_ATTRIBUTES, kScanShare,
                             FILE_FLAG_SEQUENTIAL_SCAN);
  if (file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_ACCESS_DENIED) {
    return open_regular(path, GENERIC_READ, kScanShare, FILE_FLAG_SEQUENTIAL_SCAN);
  }
  if (file != INVALID_HANDLE_VALUE) {
    FILETIME keep_unchanged{0xFFFFFFFF, 0xFFFFFFFF};
    SetFileTime(file, nullptr, &keep_unchanged, nullptr);
  }
  return file;
}

// The handle that writes the two bytes lets others read meanwhile, as the
// handles that read and restore the times do.
HANDLE open_for_patch(const NativePath& path) {
  return open_regular(path, GENERIC_WRITE, FILE_SHARE_READ, FILE_ATTRIBUTE_NORMAL);
}

}  // namespace

InputFile::InputFile(const NativePath& path)
    : handle_(reinterpret_cast<std::intptr_t>(open_for_scan(path))) {}

InputFile::~InputFile() {
  if (is_open()) CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

std::int64_t InputFile::read(std::uint8_t* buffer, std::size_t size) {
  DWORD count = 0;
  if (!ReadFile(reinterpret_cast<HANDLE>(handle_), buffer, static_cast<DWORD>(size), &count,
                nullptr)) {
    return -1;
  }
  return count;
}

bool can_open_for_writing(const NativePath& path) {
  HANDLE file = open_for_patch(path);
  if (file == INVALID_HANDLE_VALUE) return false;
  return CloseHandle(file);
}

// Times, write and times again, each through its own handle, closed before
// the next opens; the time handles let others read, as the write handle does.
bool write_two_bytes(const NativePath& path, std::int64_t offset, const PatchValue& bytes,
                     KeepTimes keep_times) {
  bool times_read = false;
  FILETIME creation{}, last_access{}, last_write{};
  if (keep_times == KeepTimes::kYes) {
    HANDLE file = open_existing(path, GENERIC_READ, FILE_SHARE_READ, FILE_ATTRIBUTE_NORMAL);
    if (file != INVALID_HANDLE_VALUE) {
      times_read = GetFileTime(file, &creation, &last_access, &last_write);
      CloseHandle(file);
    }
  }

  bool written = false;
  HANDLE file = open_for_patch(path);
  if (file != INVALID_HANDLE_VALUE) {
    LARGE_INTEGER position{};
    position.QuadPart = offset;
    DWORD count = 0;
    written = SetFilePointerEx(file, position, nullptr, FILE_BEGIN) &&
              WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &count, nullptr) &&
              count == bytes.size();
    written = CloseHandle(file) && written;
  }

  if (times_read) {
    HANDLE times =
        open_existing(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, FILE_ATTRIBUTE_NORMAL);
    if (times != INVALID_HANDLE_VALUE) {
      SetFileTime(times, &creation, &last_access, &last_write);
      CloseHandle(times);
    }
  }
  return written;
}

}  // namespace fs
}  // namespace quadrell
