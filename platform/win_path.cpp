#include "platform/win_path.h"

#include <algorithm>

namespace quadrell {
namespace {

bool is_drive_letter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

std::wstring with_backslashes(std::wstring path) {
  std::replace(path.begin(), path.end(), L'/', L'\\');
  return path;
}

}  // namespace

bool is_separator(wchar_t c) { return c == L'\\' || c == L'/'; }

std::wstring extended_path(const std::wstring& path) {
  if (path.rfind(L"\\\\?\\", 0) == 0) return path;
  if (path.size() >= 3 && is_drive_letter(path[0]) && path[1] == L':' && is_separator(path[2])) {
    return L"\\\\?\\" + with_backslashes(path);
  }
  if (path.size() >= 3 && is_separator(path[0]) && is_separator(path[1]) && path[2] != L'.' &&
      path[2] != L'?') {
    return L"\\\\?\\UNC\\" + with_backslashes(path.substr(2));
  }
  return path;
}

}  // namespace quadrell
