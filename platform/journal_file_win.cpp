#include <windows.h>

#include "platform/directory.h"
#include "platform/file_identity_win.h"
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

// FILE_APPEND_DATA without FILE_WRITE_DATA: every write goes to the end.
DWORD access_of(JournalAccess access) {
  return access == JournalAccess::kRead ? GENERIC_READ : GENERIC_READ | FILE_APPEND_DATA;
}

bool information_of(HANDLE file, BY_HANDLE_FILE_INFORMATION& information) {
  return file != nullptr && file != INVALID_HANDLE_VALUE &&
         GetFileInformationByHandle(file, &information);
}

Failure last_error() { return failure(GetLastError()); }

}  // namespace

// Shared for reading alone: a second run cannot open the journal at all
// while one adds to it.
Result<JournalFile> JournalFile::open(const NativePath& path, JournalAccess access) {
  JournalFile file;
  file.path_ = path;
  const std::wstring full = extended_path(absolute_path(path));
  if (access == JournalAccess::kCreateOrAdd) {
    file.handle_ = UniqueHandle(CreateFileW(full.c_str(), access_of(access), FILE_SHARE_READ,
                                            nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    file.created_ = file.handle_.valid();
  }
  // Only a file already there is opened to add to: any other refusal of
  // the creation is the reason.
  if (!file.handle_.valid() &&
      (access != JournalAccess::kCreateOrAdd || GetLastError() == ERROR_FILE_EXISTS)) {
    file.handle_ =
        UniqueHandle(CreateFileW(full.c_str(), access_of(access), FILE_SHARE_READ, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  }
  BY_HANDLE_FILE_INFORMATION information{};
  if (!file.handle_.valid()) {
    const Failure refused = last_error();
    // A folder opens with FILE_FLAG_BACKUP_SEMANTICS alone.
    const DWORD attributes = GetFileAttributesW(full.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      return failure(kNotRegularFile);
    }
    return refused;
  }
  if (GetFileType(file.handle_.get()) != FILE_TYPE_DISK ||
      !information_of(file.handle_.get(), information) ||
      (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return failure(kNotRegularFile);
  }
  return file;
}

bool JournalFile::is_standard_stream() const {
  BY_HANDLE_FILE_INFORMATION journal{};
  if (!information_of(handle_.get(), journal)) return false;
  for (const DWORD stream : {STD_OUTPUT_HANDLE, STD_ERROR_HANDLE}) {
    BY_HANDLE_FILE_INFORMATION other{};
    if (information_of(GetStdHandle(stream), other) && identity_of(other) == identity_of(journal)) {
      return true;
    }
  }
  return false;
}

Result<std::int64_t> JournalFile::size() const {
  LARGE_INTEGER size{};
  if (GetFileSizeEx(handle_.get(), &size)) return std::int64_t{size.QuadPart};
  return last_error();
}

Result<std::string> JournalFile::read_at(std::int64_t offset, std::size_t size) {
  std::string text(size, '\0');
  OVERLAPPED position = at_offset(offset);
  DWORD count = 0;
  if (!ReadFile(handle_.get(), text.data(), static_cast<DWORD>(size), &count, &position) &&
      GetLastError() != ERROR_HANDLE_EOF) {
    return last_error();
  }
  text.resize(count);
  return text;
}

Result<> JournalFile::append(std::string_view text) {
  while (!text.empty()) {
    DWORD count = 0;
    if (!WriteFile(handle_.get(), text.data(), static_cast<DWORD>(text.size()), &count, nullptr)) {
      return last_error();
    }
    if (count == 0) return failure(kNothingWritten);  // no reason from a call that succeeded
    text.remove_prefix(count);
  }
  return {};
}

Result<> JournalFile::append_durably(std::string_view text) {
  if (const Result<> appended = append(text); !appended) return appended;
  if (!FlushFileBuffers(handle_.get())) return last_error();
  return {};
}

// NTFS logs a new file's name in its own journal with the file's creation.
Result<> JournalFile::sync_name() { return {}; }

// The sharing of the opening keeps every other writer out already.
Result<bool> JournalFile::lock() { return true; }

// No access asked for, so that no opening's sharing refuses it.
Result<FileIdentity> identity_at(const NativePath& path) {
  const UniqueHandle file(CreateFileW(extended_path(absolute_path(path)).c_str(), 0,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  BY_HANDLE_FILE_INFORMATION information{};
  if (!information_of(file.get(), information)) return last_error();
  return identity_of(information);
}

NativePath current_folder() { return absolute_path(L"."); }

NativePath absolute_path_in(const NativePath&, const NativePath& path) {
  return absolute_path(path);
}

}  // namespace quadrell::fs
