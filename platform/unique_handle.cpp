#include "platform/unique_handle.h"

#include <windows.h>

namespace quadrell {

bool close_handle(void* handle) { return CloseHandle(handle) != FALSE; }

bool close_find_handle(void* handle) { return FindClose(handle) != FALSE; }

}  // namespace quadrell
