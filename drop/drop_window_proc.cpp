#include "drop/drop_window_proc.h"

#include "drop/shell_drop.h"
#include "drop/trim_at_nul.h"

namespace quadrell {
namespace {

// The drops' target and the log box's own procedure, kept on the log box.
constexpr wchar_t kDropTargetProperty[] = L"Quadrell.DropTarget";
constexpr wchar_t kSavedProcedureProperty[] = L"Quadrell.SavedWndProc";

WNDPROC saved_procedure(HWND list) {
  return reinterpret_cast<WNDPROC>(GetPropW(list, kSavedProcedureProperty));
}

constexpr UINT kCountQuery = 0xFFFFFFFF;

// Every name of the drop, each whole, in the drop's order; no empty one.
std::vector<NativePath> read_dropped_names(HDROP drop) {
  const auto query_file = shell_drop().query_file;
  const UINT count = query_file(drop, kCountQuery, nullptr, 0);
  std::vector<NativePath> names;
  names.reserve(count);
  for (UINT index = 0; index < count; ++index) {
    // Room for the whole name and its NUL: a name cut short could name
    // another file or folder, which the run would then change.
    const UINT length = query_file(drop, index, nullptr, 0);
    std::wstring buffer(static_cast<std::size_t>(length) + 1, L'\0');
    query_file(drop, index, buffer.data(), length + 1);
    // An empty name names nothing; Wine reports one for a drop of none.
    if (std::wstring name = trim_at_nul(std::move(buffer)); !name.empty()) {
      names.push_back(std::move(name));
    }
  }
  return names;
}

// The names are read and the drop released before the target runs them; a
// drop that names nothing is only released.
void handle_drop(HDROP drop, DropTarget& target) {
  std::vector<NativePath> names = read_dropped_names(drop);
  shell_drop().finish(drop);
  if (!names.empty()) target.run_drop(std::move(names));
}

// The log box's own procedure is kept on the log box while this one stands
// in front of it.
LRESULT CALLBACK drop_wnd_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_DROPFILES) {
    if (auto* target = static_cast<DropTarget*>(GetPropW(window, kDropTargetProperty))) {
      handle_drop(reinterpret_cast<HDROP>(wparam), *target);
    }
  }
  return CallWindowProcW(saved_procedure(window), window, message, wparam, lparam);
}

}  // namespace

bool install_drop_wnd_proc(HWND list, DropTarget& target) {
  if (!SetPropW(list, kDropTargetProperty, &target)) return false;
  SetLastError(ERROR_SUCCESS);
  const LONG_PTR previous =
      SetWindowLongPtrW(list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&drop_wnd_proc));
  if (previous == 0 && GetLastError() != ERROR_SUCCESS) return false;
  return SetPropW(list, kSavedProcedureProperty, reinterpret_cast<HANDLE>(previous)) != FALSE;
}

void remove_drop_wnd_proc(HWND list) {
  SetWindowLongPtrW(list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(saved_procedure(list)));
  RemovePropW(list, kSavedProcedureProperty);
  RemovePropW(list, kDropTargetProperty);
}

}  // namespace quadrell
