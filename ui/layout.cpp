#include "ui/layout.h"

#include <windows.h>

namespace quadrell::ui {

int twips_to_pixels(int twips, int dpi) { return MulDiv(twips, dpi, 1440); }

}  // namespace quadrell::ui
