#include "tests/remote/remote_window.h"

#include <shlobj.h>

#include "res/resource.h"

namespace quadrell::remote {
namespace {

constexpr wchar_t kMainClass[] = L"QuadrellMain";

// A visible top-level window of the class, of the process (any for 0), with
// the child (none asked for when 0).
struct Search {
  const wchar_t* class_name;
  DWORD process_id;
  int child;
  HWND found = nullptr;
};

BOOL CALLBACK match_window(HWND window, LPARAM parameter) {
  auto* search = reinterpret_cast<Search*>(parameter);
  wchar_t class_name[64] = {};
  GetClassNameW(window, class_name, 64);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (lstrcmpW(class_name, search->class_name) != 0 ||
      (search->process_id != 0 && owner != search->process_id) ||
      (search->child != 0 && GetDlgItem(window, search->child) == nullptr) ||
      !IsWindowVisible(window)) {
    return TRUE;
  }
  search->found = window;
  return FALSE;
}

bool ends_with_summary(const std::wstring& text) {
  const std::size_t last = text.rfind(L"\r\n");
  return last != std::wstring::npos && text.compare(last + 2, 13, L"Jpeg files =>") == 0;
}

}  // namespace

RemoteWindow RemoteWindow::find(DWORD process_id, DWORD timeout_ms) {
  RemoteWindow remote;
  const DWORD start = GetTickCount();
  do {
    Search search{kMainClass, process_id, IDC_ABOUT};
    EnumWindows(&match_window, reinterpret_cast<LPARAM>(&search));
    if (search.found != nullptr) {
      remote.main_ = search.found;
      break;
    }
    Sleep(50);
  } while (GetTickCount() - start < timeout_ms);
  return remote;
}

HWND RemoteWindow::list() const { return GetDlgItem(main_, IDC_LIST); }
HWND RemoteWindow::check_box() const { return GetDlgItem(main_, IDC_NOT_CHANGE_DATE); }
HWND RemoteWindow::help_button() const { return GetDlgItem(main_, IDC_ABOUT); }

std::wstring RemoteWindow::log_text() const {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(list(), WM_GETTEXTLENGTH, 0, 0, SMTO_BLOCK, 600000, &length)) return {};
  std::wstring text(length + 1, L'\0');
  DWORD_PTR copied = 0;
  SendMessageTimeoutW(list(), WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                      SMTO_BLOCK, 600000, &copied);
  text.resize(copied);
  return text;
}

void RemoteWindow::click_help() const { SendMessageW(help_button(), BM_CLICK, 0, 0); }

void RemoteWindow::click_check_box() const { SendMessageW(check_box(), BM_CLICK, 0, 0); }

bool RemoteWindow::checked() const {
  return SendMessageW(check_box(), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

RECT RemoteWindow::frame() const {
  RECT rect{};
  GetWindowRect(main_, &rect);
  return rect;
}

bool RemoteWindow::drop(const std::vector<std::wstring>& paths, DWORD timeout_ms) const {
  return post_drop(paths) && wait_for_summary(timeout_ms);
}

bool RemoteWindow::post_drop(const std::vector<std::wstring>& paths) const {
  // DROPFILES, then the names, each ending in NUL, and one more NUL.
  std::vector<BYTE> block(sizeof(DROPFILES));
  auto* header = reinterpret_cast<DROPFILES*>(block.data());
  header->pFiles = sizeof(DROPFILES);
  header->fWide = TRUE;
  for (const std::wstring& path : paths) {
    const auto* bytes = reinterpret_cast<const BYTE*>(path.c_str());
    block.insert(block.end(), bytes, bytes + (path.size() + 1) * sizeof(wchar_t));
  }
  block.insert(block.end(), sizeof(wchar_t), 0);

  DWORD process_id = 0;
  GetWindowThreadProcessId(main_, &process_id);
  HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, process_id);
  if (process == nullptr) return false;
  void* remote =
      VirtualAllocEx(process, nullptr, block.size(), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  const bool written =
      remote != nullptr && WriteProcessMemory(process, remote, block.data(), block.size(), nullptr);
  CloseHandle(process);
  if (!written) return false;

  click_help();
  return PostMessageW(list(), WM_DROPFILES, reinterpret_cast<WPARAM>(remote), 0) != FALSE;
}

namespace {

// The menu the program shows, a window of the system's menu class.
HWND shown_menu(HWND main) {
  DWORD process_id = 0;
  GetWindowThreadProcessId(main, &process_id);
  Search search{L"#32768", process_id, 0};
  EnumWindows(&match_window, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

bool wait_until(DWORD timeout_ms, const auto& done) {
  const DWORD start = GetTickCount();
  while (!done()) {
    if (GetTickCount() - start > timeout_ms) return false;
    Sleep(20);
  }
  return true;
}

}  // namespace

bool RemoteWindow::press_take_back(DWORD timeout_ms) const {
  PostMessageW(main_, WM_SYSCOMMAND, SC_KEYMENU, ' ');
  HWND menu = nullptr;
  if (!wait_until(timeout_ms, [&] { return (menu = shown_menu(main_)) != nullptr; })) return false;
  PostMessageW(menu, WM_CHAR, 'u', 0);
  return wait_until(timeout_ms, [&] { return shown_menu(main_) == nullptr; });
}

bool RemoteWindow::wait_for_summary(DWORD timeout_ms) const {
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < timeout_ms) {
    // A read of the whole log costs the running program time: not too often.
    if (ends_with_summary(log_text())) return true;
    Sleep(200);
  }
  return false;
}

bool RemoteWindow::close(DWORD timeout_ms) const {
  DWORD process_id = 0;
  GetWindowThreadProcessId(main_, &process_id);
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, process_id);
  PostMessageW(main_, WM_CLOSE, 0, 0);
  if (process == nullptr) return true;
  const bool ended = WaitForSingleObject(process, timeout_ms) == WAIT_OBJECT_0;
  CloseHandle(process);
  return ended;
}

}  // namespace quadrell::remote
