#pragma once

#include <string>

namespace quadrell {

// The text before the first NUL of a name buffer. A buffer that begins with
// NUL, or holds none (a name that did not fit), gives the empty text.
std::wstring trim_at_nul(std::wstring text);

}  // namespace quadrell
