#include "ui/settings_marker.h"

#include <windows.h>

#include "platform/unique_handle.h"
#include "platform/win_path.h"

namespace quadrell::ui {

std::wstring marker_path_for(const std::wstring& executable) {
  std::wstring folder = executable.substr(0, executable.find_last_of(L"\\/") + 1);
  if (folder.empty() || (folder.back() != L'\\' && folder.back() != L'/')) folder += L'\\';
  return folder + L"Quadrell.chk";
}

std::optional<std::wstring> executable_path() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return std::nullopt;
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

MarkerState marker_state(const std::wstring& marker) {
  WIN32_FIND_DATAW found{};
  if (!UniqueFindHandle(FindFirstFileW(extended_path(marker).c_str(), &found)).valid()) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? MarkerState::kAbsent
                                                                          : MarkerState::kUnknown;
  }
  const DWORD not_plain = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  return (found.dwFileAttributes & not_plain) ? MarkerState::kAbsent : MarkerState::kPresent;
}

void save_setting(const std::wstring& marker, bool checked) {
  const std::wstring path = extended_path(marker);
  const MarkerState state = marker_state(marker);
  if (checked && state != MarkerState::kPresent) {
    // CREATE_NEW: a file or folder already there is left as it is.
    const UniqueHandle created(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                           FILE_ATTRIBUTE_NORMAL, nullptr));
  } else if (!checked && state != MarkerState::kAbsent) {
    DeleteFileW(path.c_str());  // fails on a folder and on a read-only file
  }
}

}  // namespace quadrell::ui
