#pragma once

namespace quadrell::ui {

// The usage text that the Help button puts into the log box.
extern const wchar_t kHelpText[];

}  // namespace quadrell::ui
