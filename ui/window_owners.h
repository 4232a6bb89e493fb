#pragma once

#include "platform/unique_handle.h"

namespace quadrell::ui {

bool destroy_window(void* window);  // DestroyWindow
bool delete_font(void* font);       // DeleteObject

// A window that its owner destroys when it goes.
using UniqueWindow = UniqueWinHandle<&destroy_window>;
// A font that the owner's controls use for as long as they exist.
using UniqueFont = UniqueWinHandle<&delete_font>;

}  // namespace quadrell::ui
