#include "ui/kept_journals.h"

#include <objbase.h>
#include <shlobj.h>

#include <algorithm>
#include <cwchar>
#include <cwctype>

#include "platform/system_library.h"

namespace quadrell::ui {
namespace {

constexpr wchar_t kTakenBack[] = L".undone.txt";
constexpr wchar_t kJournal[] = L".txt";

bool ends_with(const std::wstring& text, const std::wstring& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

bool digits(const std::wstring& text, std::size_t from, std::size_t count) {
  if (text.size() < from + count) return false;
  return std::all_of(text.begin() + static_cast<std::ptrdiff_t>(from),
                     text.begin() + static_cast<std::ptrdiff_t>(from + count),
                     [](wchar_t c) { return c >= L'0' && c <= L'9'; });
}

// A folder there, made if missing: a file of that name is none.
bool make_folder(const std::wstring& path) {
  if (!CreateDirectoryW(path.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
    return false;
  }
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace

std::optional<std::wstring> KeptJournals::default_folder() {
  // FOLDERID_LocalAppData, without the import library that defines it.
  static constexpr GUID kLocalAppData = {
      0xF1B32785, 0x6FBA, 0x4FCF, {0x9D, 0x55, 0x7B, 0x8E, 0x7F, 0x15, 0x70, 0x91}};
  const auto known_folder = function_in<decltype(&SHGetKnownFolderPath)>(
      system_library(L"shell32.dll"), "SHGetKnownFolderPath");
  const auto free_memory =
      function_in<decltype(&CoTaskMemFree)>(system_library(L"ole32.dll"), "CoTaskMemFree");
  if (known_folder == nullptr || free_memory == nullptr) return std::nullopt;
  PWSTR path = nullptr;
  const HRESULT result = known_folder(kLocalAppData, KF_FLAG_DONT_VERIFY, nullptr, &path);
  std::optional<std::wstring> folder;
  if (SUCCEEDED(result) && path != nullptr) folder = std::wstring(path) + L"\\Quadrell\\journal";
  free_memory(path);
  return folder;
}

std::vector<KeptJournals::Kept> KeptJournals::list() const {
  std::vector<Kept> kept;
  WIN32_FIND_DATAW found{};
  HANDLE search = FindFirstFileW(path_of(L"*.txt").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return kept;
  do {
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) continue;
    Kept journal{found.cFileName, {}, 1, false};
    const std::wstring& name = journal.name;
    if (!digits(name, 0, 8) || name.size() < 15 || name[8] != L'-' || !digits(name, 9, 6)) continue;
    journal.stamp = name.substr(0, 15);
    journal.taken_back = ends_with(name, kTakenBack);
    std::wstring rest = name.substr(
        15, name.size() - 15 -
                (journal.taken_back ? std::size(kTakenBack) - 1 : std::size(kJournal) - 1));
    if (!rest.empty()) {
      if (rest.size() < 2 || rest[0] != L'-' || !digits(rest, 1, rest.size() - 1)) continue;
      journal.number = static_cast<unsigned>(std::wcstoul(rest.c_str() + 1, nullptr, 10));
      if (journal.number < 2) continue;
    }
    kept.push_back(std::move(journal));
  } while (FindNextFileW(search, &found));
  FindClose(search);
  std::sort(kept.begin(), kept.end());
  return kept;
}

std::optional<std::wstring> KeptJournals::new_journal(const SYSTEMTIME& start) const {
  const std::size_t parent = folder_.rfind(L'\\');
  if (parent == std::wstring::npos || !make_folder(folder_.substr(0, parent)) ||
      !make_folder(folder_)) {
    return std::nullopt;
  }
  wchar_t stamp[32];
  std::swprintf(stamp, std::size(stamp), L"%04u%02u%02u-%02u%02u%02u", start.wYear, start.wMonth,
                start.wDay, start.wHour, start.wMinute, start.wSecond);
  unsigned number = 0;
  for (const Kept& journal : list()) {
    if (journal.stamp == stamp) number = std::max(number, journal.number);
  }
  std::wstring name = stamp;
  if (number != 0) name += L"-" + std::to_wstring(number + 1);
  return path_of(name + kJournal);
}

void KeptJournals::keep_newest() const {
  const std::vector<Kept> kept = list();
  for (std::size_t i = 0; i + kJournalsKept < kept.size(); ++i) {
    DeleteFileW(path_of(kept[i].name).c_str());
  }
}

std::optional<std::wstring> KeptJournals::to_take_back() const {
  const std::vector<Kept> kept = list();
  const auto newest = std::find_if(kept.rbegin(), kept.rend(),
                                   [](const Kept& journal) { return !journal.taken_back; });
  if (newest == kept.rend()) return std::nullopt;
  return path_of(newest->name);
}

bool KeptJournals::mark_taken_back(const std::wstring& path) const {
  if (!ends_with(path, kJournal)) return false;
  const std::wstring taken_back =
      path.substr(0, path.size() - std::size(kJournal) + 1) + kTakenBack;
  return MoveFileExW(path.c_str(), taken_back.c_str(), 0) != 0;
}

}  // namespace quadrell::ui
