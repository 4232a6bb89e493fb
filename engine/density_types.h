#pragma once

#include <array>
#include <cstdint>

namespace quadrell {

// Verdict of scan_density: kNotJpeg, kAccessError, kFair, or the 1-based
// position of the density field to overwrite.
using ScanResult = std::int32_t;
inline constexpr ScanResult kNotJpeg = -2;
inline constexpr ScanResult kAccessError = -1;
inline constexpr ScanResult kFair = 0;

// The larger density exactly as stored in the file, high-order byte first.
using PatchValue = std::array<std::uint8_t, 2>;

// Whether a patched file gets its time stamps back (the keep-dates setting).
enum class KeepTimes { kNo, kYes };

}  // namespace quadrell
