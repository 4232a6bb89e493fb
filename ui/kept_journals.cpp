#include "ui/kept_journals.h"

#include <objbase.h>
#include <shlobj.h>

#include <algorithm>
#include <cwchar>
#include <iterator>
#include <limits>

#include "platform/system_library.h"
#include "platform/unique_handle.h"

namespace quadrell::ui {
namespace {

constexpr wchar_t kJournal[] = L".txt";
constexpr wchar_t kTakenBack[] = L".undone.txt";
constexpr wchar_t kPassed[] = L".passed.txt";
// Beside the journals: a run changed a file without its record.
constexpr wchar_t kUnrecorded[] = L"unrecorded";

// The number that name begins with, in plain decimal (no leading zero, no
// more than the 64 bits hold), and the rest of the name; nothing otherwise.
std::optional<std::uint64_t> number_in(const std::wstring& name, std::wstring& rest) {
  std::size_t end = 0;
  std::uint64_t number = 0;
  constexpr std::uint64_t kLargest = std::numeric_limits<std::uint64_t>::max();
  for (; end < name.size() && name[end] >= L'0' && name[end] <= L'9'; ++end) {
    const unsigned digit = name[end] - L'0';
    if (number > (kLargest - digit) / 10) return std::nullopt;
    number = number * 10 + digit;
  }
  if (end == 0 || (name[0] == L'0' && end > 1)) return std::nullopt;
  rest = name.substr(end);
  return number;
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

// Folders too: a number some folder holds is taken.
std::vector<KeptJournals::Kept> KeptJournals::list() const {
  std::vector<Kept> kept;
  WIN32_FIND_DATAW found{};
  const UniqueFindHandle search(FindFirstFileW(path_of(L"*").c_str(), &found));
  if (!search.valid()) return kept;
  do {
    Kept entry{{0, found.cFileName, found.ftCreationTime}};
    std::wstring rest;
    const auto number = number_in(entry.journal.name, rest);
    if (!number) continue;
    entry.journal.number = *number;
    if (_wcsicmp(rest.c_str(), kJournal) == 0) {
      entry.state = State::kOffered;
    } else if (_wcsicmp(rest.c_str(), kTakenBack) == 0) {
      entry.state = State::kTakenBack;
    } else if (_wcsicmp(rest.c_str(), kPassed) == 0) {
      entry.state = State::kPassed;
    } else {
      continue;
    }
    kept.push_back(std::move(entry));
  } while (FindNextFileW(search.get(), &found));
  return kept;
}

// CREATE_NEW: a name taken meanwhile is never opened as the new journal.
std::optional<std::wstring> KeptJournals::new_journal() const {
  const std::size_t parent = folder_.rfind(L'\\');
  if (parent == std::wstring::npos || !make_folder(folder_.substr(0, parent)) ||
      !make_folder(folder_)) {
    return std::nullopt;
  }
  std::uint64_t highest = 0;
  for (const Kept& entry : list()) highest = std::max(highest, entry.journal.number);
  if (highest == std::numeric_limits<std::uint64_t>::max()) return std::nullopt;
  const std::wstring path = path_of(std::to_wstring(highest + 1) + kJournal);
  const UniqueHandle made(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                      CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!made.valid()) return std::nullopt;
  return path;
}

void KeptJournals::keep_newest() const {
  const std::vector<Kept> kept = list();
  std::set<std::uint64_t> numbers;
  for (const Kept& entry : kept) numbers.insert(entry.journal.number);
  if (numbers.size() <= kJournalsKept) return;
  const std::uint64_t oldest_kept = *std::prev(numbers.end(), kJournalsKept);
  for (const Kept& entry : kept) {
    if (entry.journal.number < oldest_kept) DeleteFileW(path_of(entry.journal.name).c_str());
  }
}

std::optional<KeptJournals::Journal> KeptJournals::to_take_back() const {
  std::optional<Journal> newest;
  for (const Kept& entry : list()) {
    if (entry.state != State::kOffered || passed_.contains(entry.journal.number)) continue;
    if (!newest || entry.journal.number > newest->number) newest = entry.journal;
  }
  return newest;
}

SystemError KeptJournals::rename(const Journal& journal, const wchar_t* ending) const {
  const std::wstring renamed = path_of(std::to_wstring(journal.number) + ending);
  if (MoveFileExW(path_of(journal.name).c_str(), renamed.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    return 0;
  }
  return GetLastError();
}

SystemError KeptJournals::mark_taken_back(const Journal& journal) const {
  return rename(journal, kTakenBack);
}

void KeptJournals::pass(const Journal& journal) {
  if (rename(journal, kPassed) != 0) passed_.insert(journal.number);
}

bool KeptJournals::unrecorded_run() const {
  return unrecorded_ || GetFileAttributesW(path_of(kUnrecorded).c_str()) != INVALID_FILE_ATTRIBUTES;
}

void KeptJournals::set_unrecorded_run(bool unrecorded) {
  unrecorded_ = unrecorded;
  const std::wstring path = path_of(kUnrecorded);
  if (!unrecorded) {
    DeleteFileW(path.c_str());
    return;
  }
  const UniqueHandle made(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
}

}  // namespace quadrell::ui
