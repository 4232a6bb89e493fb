#include "ui/window_owners.h"

#include <windows.h>

namespace quadrell::ui {

bool destroy_window(void* window) { return DestroyWindow(static_cast<HWND>(window)) != FALSE; }

bool delete_font(void* font) { return DeleteObject(static_cast<HFONT>(font)) != FALSE; }

}  // namespace quadrell::ui
