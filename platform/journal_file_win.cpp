#include <windows.h>

#include "platform/directory.h"
#include "platform/journal_file.h"
#include "platform/win_path.h"

namespace quadrell::fs {
namespace {

OVERLAPPED at_offset(std::int64_t offset) {
  OVERLAPPED position{};
  position.Offset = static_cast<DWORD>(offset);
  position.OffsetHigh = static_cast<DWORD>(static_cast<std::uint64_t>(offset) >> 32);
  return position;
}

}  // namespace

// FILE_APPEND_DATA without FILE_WRITE_DATA: every write goes to the end.
JournalFile::JournalFile(const NativePath& path)
    : handle_(CreateFileW(extended_path(absolute_path(path)).c_str(),
                          GENERIC_READ | FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                          FILE_ATTRIBUTE_NORMAL, nullptr)) {
  if (!handle_.valid()) error_ = GetLastError();
}

std::int64_t JournalFile::size() {
  LARGE_INTEGER size{};
  if (GetFileSizeEx(handle_.get(), &size)) return size.QuadPart;
  error_ = GetLastError();
  return -1;
}

bool JournalFile::read_at(std::int64_t offset, std::size_t size, std::string& text) {
  text.resize(size);
  OVERLAPPED position = at_offset(offset);
  DWORD count = 0;
  if (!ReadFile(handle_.get(), text.data(), static_cast<DWORD>(size), &count, &position) &&
      GetLastError() != ERROR_HANDLE_EOF) {
    error_ = GetLastError();
    return false;
  }
  text.resize(count);
  return true;
}

bool JournalFile::append_durably(std::string_view text) {
  while (!text.empty()) {
    DWORD count = 0;
    if (!WriteFile(handle_.get(), text.data(), static_cast<DWORD>(text.size()), &count, nullptr) ||
        count == 0) {
      error_ = GetLastError();
      return false;
    }
    text.remove_prefix(count);
  }
  if (FlushFileBuffers(handle_.get())) return true;
  error_ = GetLastError();
  return false;
}

bool read_whole_file(const NativePath& path, std::string& text, SystemError& error) {
  const UniqueHandle file(CreateFileW(extended_path(absolute_path(path)).c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
  char block[65536];
  for (DWORD count = 0; file.valid();) {
    if (!ReadFile(file.get(), block, sizeof block, &count, nullptr)) break;
    if (count == 0) return true;
    text.append(block, count);
  }
  error = GetLastError();
  return false;
}

NativePath current_folder() { return absolute_path(L"."); }

NativePath absolute_path_in(const NativePath&, const NativePath& path) {
  return absolute_path(path);
}

}  // namespace quadrell::fs
