#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quadrell::testing {

// A JPEG header as libjpeg's jpeg_read_header reads it.
struct LibjpegHeader {
  bool reached_scan = false;  // it read up to the SOS without an error
  // The data of every APP0 segment it read, in file order, from the
  // identifier on.
  std::vector<std::vector<std::uint8_t>> app0_segments;
  bool saw_jfif = false;
  std::uint16_t x_density = 0;  // of the JFIF APP0 libjpeg kept
  std::uint16_t y_density = 0;
};

LibjpegHeader read_with_libjpeg(const std::uint8_t* data, std::size_t size);

}  // namespace quadrell::testing
