#pragma once

#include <windows.h>

#include "platform/unique_handle.h"

namespace quadrell::ui {

inline bool destroy_window(void* window) { return DestroyWindow(static_cast<HWND>(window)); }
inline bool delete_font(void* font) { return DeleteObject(static_cast<HFONT>(font)); }

// A window that its owner destroys when it goes.
using UniqueWindow = UniqueWinHandle<&destroy_window>;
// A font that the owner's controls use for as long as they exist.
using UniqueFont = UniqueWinHandle<&delete_font>;

}  // namespace quadrell::ui
