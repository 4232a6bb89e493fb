#include <windows.h>

#include <algorithm>
#include <string_view>

#include "platform/directory.h"
#include "platform/file_identity_win.h"
#include "platform/unique_handle.h"
#include "platform/win_path.h"

namespace quadrell::fs {
namespace {

// "C:\" or "\\server\share\": a folder with no entry of its own (the search
// fails on it, and NTFS roots carry the hidden and system attributes).
bool is_root(const std::wstring& path) {
  if (path.size() == 3 && path[1] == L':' && is_separator(path[2])) return true;
  if (path.size() > 2 && is_separator(path[0]) && is_separator(path[1])) {
    const std::size_t server_end = path.find_first_of(L"\\/", 2);
    if (server_end == std::wstring::npos) return false;
    const std::size_t share_end = path.find_first_of(L"\\/", server_end + 1);
    return share_end == path.size() - 1;
  }
  return false;
}

constexpr DWORD kNotPlain = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN |
                            FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DEVICE;

}  // namespace

NativePath absolute_path(const NativePath& path) {
  const DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (size == 0) return path;
  std::wstring full(size, L'\0');
  const DWORD length = GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
  if (length == 0 || length >= size) return path;
  full.resize(length);
  return full;
}

Result<Entry> look_up(const NativePath& given, HiddenNamed hidden) {
  // A wildcard would make the search find some other name. One in the last
  // component is a pattern that expand_wildcards found no match for; one in
  // a folder's name is not searched at all.
  if (given.empty()) return failure(ERROR_FILE_NOT_FOUND);
  const std::size_t wildcard = given.find_first_of(L"*?");
  if (wildcard != std::wstring::npos) {
    const bool in_folder = given.find_first_of(L"\\/", wildcard) != std::wstring::npos;
    return failure(in_folder ? ERROR_INVALID_NAME : ERROR_FILE_NOT_FOUND);
  }
  // Full paths are kept as they are: GetFullPathNameW would trim a name
  // that ends in a dot or a space.
  const bool full = (given.size() >= 3 && given[1] == L':' && is_separator(given[2])) ||
                    (given.size() >= 2 && is_separator(given[0]) && is_separator(given[1]));
  std::wstring path = full ? given : absolute_path(given);
  if (is_root(path)) {
    const DWORD attributes = GetFileAttributesW(extended_path(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return failure(GetLastError());
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return failure(ERROR_DIRECTORY);
    return Entry{path, path, true};
  }
  while (path.size() > 1 && is_separator(path.back()) && !is_root(path)) path.pop_back();
  if (is_root(path)) return look_up(path, hidden);

  WIN32_FIND_DATAW found{};
  if (!UniqueFindHandle(FindFirstFileW(extended_path(path).c_str(), &found)).valid()) {
    return failure(GetLastError());
  }
  if ((found.dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) &&
      hidden == HiddenNamed::kNotFound) {
    return failure(ERROR_FILE_NOT_FOUND);
  }
  return Entry{path, found.cFileName, (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0};
}

namespace {

// A handle on the folder itself that lets others read and write in it but
// not rename or delete it. With reparse, a link or junction is opened as
// itself, not followed.
Result<FolderRef> open_pinned(const NativePath& path, bool reparse) {
  auto pin = std::make_shared<const UniqueHandle>(CreateFileW(
      extended_path(path).c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
      nullptr, OPEN_EXISTING,
      FILE_FLAG_BACKUP_SEMANTICS | (reparse ? FILE_FLAG_OPEN_REPARSE_POINT : 0), nullptr));
  BY_HANDLE_FILE_INFORMATION information{};
  if (!pin->valid() || !GetFileInformationByHandle(pin->get(), &information)) {
    return failure(GetLastError());
  }
  if (!(information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
      (reparse && (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))) {
    return failure(reparse ? kFileReplaced : ERROR_DIRECTORY);
  }
  return FolderRef{path, std::move(pin)};
}

}  // namespace

Result<FolderRef> open_folder(const NativePath& path) { return open_pinned(path, false); }

Result<FolderRef> open_subfolder(const FolderRef& parent, const Subfolder& subfolder) {
  return open_pinned(child_path(parent.path, subfolder.name), true);
}

FileIdentity identity_of(const FolderRef& folder) {
  BY_HANDLE_FILE_INFORMATION information{};
  if (!GetFileInformationByHandle(folder.pin->get(), &information)) return {};
  return identity_of(information);
}

// By the child's path less its last component.
Result<FolderRef> open_folder_above(const FolderRef& child) {
  const std::size_t separator = child.path.find_last_of(L"\\/");
  const std::wstring root = child.path.substr(0, separator + 1);
  return open_pinned(is_root(root) ? root : child.path.substr(0, separator), false);
}

Result<> list_plain_files(
    const FolderRef& folder,
    const std::function<void(const FileRef& file, const NativePath& name)>& visit,
    std::vector<Subfolder>* subfolders) {
  WIN32_FIND_DATAW found{};
  const UniqueFindHandle search(
      FindFirstFileW(extended_path(child_path(folder.path, L"*.*")).c_str(), &found));
  DWORD last_error = search.valid() ? ERROR_SUCCESS : GetLastError();
  if (last_error == ERROR_FILE_NOT_FOUND) return {};
  while (last_error == ERROR_SUCCESS) {
    const NativePath name = found.cFileName;
    const DWORD attributes = found.dwFileAttributes;
    if ((attributes & kNotPlain) == 0) {
      visit(FileRef{child_path(folder.path, name)}, name);
    } else if (subfolders != nullptr && (attributes & kNotPlain) == FILE_ATTRIBUTE_DIRECTORY &&
               (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0 && name != L"." && name != L"..") {
      subfolders->push_back({name, {}});
    }
    if (!FindNextFileW(search.get(), &found)) last_error = GetLastError();
  }
  if (last_error == ERROR_NO_MORE_FILES) return {};
  return failure(last_error);
}

namespace {

bool has_wildcard(std::wstring_view text) { return text.find_first_of(L"*?") != text.npos; }

// As the file system compares names: ordinal, without regard to case.
bool same_ignoring_case(wchar_t a, wchar_t b) {
  return CompareStringOrdinal(&a, 1, &b, 1, TRUE) == CSTR_EQUAL;
}

// * any run of characters, ? one. A ".*" at the end also matches nothing,
// as in cmd ("*.*" takes names without a dot).
bool matches(std::wstring_view pattern, std::wstring_view name) {
  if (pattern.empty()) return name.empty();
  if (pattern == L".*" && name.empty()) return true;
  if (pattern[0] == L'*') {
    for (std::size_t skip = 0; skip <= name.size(); ++skip) {
      if (matches(pattern.substr(1), name.substr(skip))) return true;
    }
    return false;
  }
  return !name.empty() && (pattern[0] == L'?' || same_ignoring_case(pattern[0], name[0])) &&
         matches(pattern.substr(1), name.substr(1));
}

bool before_ignoring_case(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                              static_cast<int>(b.size()), TRUE) == CSTR_LESS_THAN;
}

}  // namespace

std::vector<NativePath> expand_wildcards(const std::vector<NativePath>& paths) {
  std::vector<NativePath> expanded;
  for (const NativePath& path : paths) {
    const std::size_t separator = path.find_last_of(L"\\/");
    const std::size_t name_start = separator == NativePath::npos ? 0 : separator + 1;
    // A drive-relative "C:*.jpg" keeps its "C:" as its folder.
    const std::size_t folder_end =
        name_start == 0 && path.size() >= 2 && path[1] == L':' ? 2 : name_start;
    const std::wstring folder = path.substr(0, folder_end);
    const std::wstring pattern = path.substr(folder_end);
    if (!has_wildcard(pattern) || has_wildcard(folder)) {
      expanded.push_back(path);
      continue;
    }
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found{};
    const UniqueFindHandle search(FindFirstFileExW(extended_path(absolute_path(path)).c_str(),
                                                   FindExInfoBasic, &found, FindExSearchNameMatch,
                                                   nullptr, 0));
    for (bool more = search.valid(); more; more = FindNextFileW(search.get(), &found)) {
      const std::wstring name = found.cFileName;
      if (name == L"." || name == L".." ||
          (found.dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) ||
          !matches(pattern, name)) {
        continue;
      }
      names.push_back(name);
    }
    if (names.empty()) {
      expanded.push_back(path);
      continue;
    }
    std::sort(names.begin(), names.end(), before_ignoring_case);
    for (const std::wstring& name : names) expanded.push_back(folder + name);
  }
  return expanded;
}

bool names_current_folder(const NativePath& path) {
  return !path.empty() && path[0] == L'.' &&
         path.find_first_not_of(L"\\/", 1) == std::wstring::npos;
}

NativePath child_path(const NativePath& folder, const NativePath& name) {
  if (folder.empty()) return name;
  if (is_separator(folder.back())) return folder + name;
  return folder + L"\\" + name;
}

}  // namespace quadrell::fs
