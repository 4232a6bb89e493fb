#pragma once

#include <windows.h>

namespace quadrell::ui {

// Positions and sizes in twips (1/1440 inch), from the top-left corner of
// the client area: 15 twips a pixel at 96 DPI.
struct TwipsRect {
  int left;
  int top;
  int width;
  int height;
};

inline constexpr int kClientWidthTwips = 5235;
inline constexpr int kClientHeightTwips = 4935;
inline constexpr TwipsRect kNotChangeDateRect{240, 120, 2175, 255};
inline constexpr TwipsRect kListRect{240, 480, 4695, 4335};
inline constexpr TwipsRect kAboutRect{4320, 120, 615, 300};

// Twips to pixels at dpi dots per inch, rounded to the nearest pixel.
inline int twips_to_pixels(int twips, int dpi) { return MulDiv(twips, dpi, 1440); }

}  // namespace quadrell::ui
