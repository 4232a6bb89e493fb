#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quadrell::testing {

// A JPEG header made from a recipe of choices: segments of every kind (JFIF
// and other APP0, APPn and COM whose payloads hold JFIF look-alikes, DQT,
// DRI, SOF, restart and fill bytes), stray bytes between them, lengths with
// an FF byte, FF in the version, units or densities, a JFIF look-alike
// behind the image, a 128-byte MacBinary header, a cut anywhere. The recipe
// is any run of bytes (a fuzzer's input or a seeded generator's output);
// when it runs out, every further choice is 0.
struct GeneratedHeader {
  std::vector<std::uint8_t> bytes;
  // Where the JPEG data begins: 0, or 128 behind a MacBinary header.
  std::size_t jpeg_start = 0;
  // The offsets of the E0 codes of the APP0 segments written as segments
  // (not look-alikes inside others) before the SOS, in file order.
  std::vector<std::size_t> app0_codes;
  // A segment before the SOS has a length below 2.
  bool short_length = false;
};

GeneratedHeader generate_header(const std::uint8_t* recipe, std::size_t size);

}  // namespace quadrell::testing
