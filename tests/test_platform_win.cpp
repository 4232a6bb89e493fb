#include <windows.h>

#include "platform/win_path.h"
#include "tests/test_platform.h"

namespace quadrell::testing {
namespace {

std::int64_t to_number(const FILETIME& time) {
  return static_cast<std::int64_t>((static_cast<std::uint64_t>(time.dwHighDateTime) << 32) |
                                   time.dwLowDateTime);
}

FILETIME to_filetime(std::int64_t number) {
  const auto bits = static_cast<std::uint64_t>(number);
  return FILETIME{static_cast<DWORD>(bits & 0xFFFFFFFF), static_cast<DWORD>(bits >> 32)};
}

}  // namespace

// Wine run by root opens a read-only file for writing all the same: probe
// once whether the read-only attribute binds this process.
bool permissions_are_ignored() {
  static const bool ignored = [] {
    wchar_t folder[MAX_PATH + 1] = {};
    wchar_t probe[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH, folder);
    GetTempFileNameW(folder, L"qro", 0, probe);
    SetFileAttributesW(probe, FILE_ATTRIBUTE_READONLY);
    HANDLE file = CreateFileW(probe, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    const bool opened = file != INVALID_HANDLE_VALUE;
    if (opened) CloseHandle(file);
    SetFileAttributesW(probe, FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(probe);
    return opened;
  }();
  return ignored;
}

void make_read_only(const std::filesystem::path& path) {
  SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY);
}

void make_hidden(const std::filesystem::path& path) {
  SetFileAttributesW(path.c_str(), GetFileAttributesW(path.c_str()) | FILE_ATTRIBUTE_HIDDEN);
}

void make_unreadable(const std::filesystem::path&) {}

Stamps read_stamps(const std::filesystem::path& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  FILETIME creation{}, access{}, write{};
  GetFileTime(file, &creation, &access, &write);
  CloseHandle(file);
  return {{to_number(creation), to_number(access), to_number(write), 0}};
}

// Created 2001, last read 2003, last written 1998, with sub-second parts.
Stamps old_stamps() { return {{126447921231234567, 127000000001234567, 125431236549876543, 0}}; }

bool running_under_wine() {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

void remove_tree(const std::filesystem::path& path) {
  const std::wstring folder = extended_path(path.native());
  WIN32_FIND_DATAW found{};
  HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = found.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring child = folder + L"\\" + name;
      SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        remove_tree(child);
      } else {
        DeleteFileW(child.c_str());
      }
    } while (FindNextFileW(search, &found));
    FindClose(search);
  }
  RemoveDirectoryW(folder.c_str());
}

void write_stamps(const std::filesystem::path& path, const Stamps& stamps) {
  HANDLE file = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  const FILETIME creation = to_filetime(stamps.values[0]);
  const FILETIME access = to_filetime(stamps.values[1]);
  const FILETIME write = to_filetime(stamps.values[2]);
  SetFileTime(file, &creation, &access, &write);
  CloseHandle(file);
}

std::int64_t last_write_of(const Stamps& stamps) { return stamps.values[2]; }

ExclusiveLock::ExclusiveLock(const std::filesystem::path& path)
    : handle_(reinterpret_cast<std::intptr_t>(
          CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                      FILE_ATTRIBUTE_NORMAL, nullptr))) {}

ExclusiveLock::~ExclusiveLock() {
  if (held()) CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

Stamps written_later(Stamps stamps, int seconds) {
  stamps.values[2] += std::int64_t{seconds} * 10000000;
  return stamps;
}

std::optional<Stamps> stamps_in_year(int year) {
  if (year < 1602 || year > 30827) return std::nullopt;
  const std::int64_t start = ((std::int64_t{year} - 1601) * 31556952 + 86400) * 10000000;
  return Stamps{{start + 1234567, start + 864000000000, start + 7654321, 0}};
}

Stamps stamps_kept_by_reading(const std::filesystem::path& path) {
  Stamps stamps = read_stamps(path);
  if (running_under_wine()) stamps.values[1] = 0;
  return stamps;
}

}  // namespace quadrell::testing
