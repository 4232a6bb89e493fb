#pragma once

#include <array>
#include <cstdint>

#include "platform/file_identity.h"
#include "platform/system_error.h"

namespace quadrell {

// Verdict of scan_density: kNotJpeg, kAccessError, kFair, or the 1-based
// position of the density field to overwrite.
using ScanResult = std::int32_t;
inline constexpr ScanResult kNotJpeg = -2;
inline constexpr ScanResult kAccessError = -1;
inline constexpr ScanResult kFair = 0;

// The larger density exactly as stored in the file, high-order byte first.
using PatchValue = std::array<std::uint8_t, 2>;

// What a scan hands on beside its verdict. For a position: the value to write,
// whether it goes to the X density (or the Y) and the four density bytes as
// read (X, then Y; for kFair too), which the patch checks are still in the
// file before it writes. For kAccessError: why. Once the file was opened: which file it was,
// its size and its times, before anything was read.
struct ScanDetail {
  PatchValue value{};
  bool at_x = false;
  std::array<std::uint8_t, 4> densities{};
  // Whether the walk reached a JFIF header, and its density units byte (0
  // none, 1 dots per inch, 2 per centimetre), for the reports.
  bool jfif = false;
  std::uint8_t units = 0;
  SystemError error = 0;
  fs::FileIdentity identity;
  std::int64_t size = 0;
  fs::FileTimes times;
  // A read waited on the storage (see fs::InputFile::waited).
  bool waited = false;
};

}  // namespace quadrell
