#include "tests/differential/scan_differential.h"

#include <algorithm>
#include <cstring>

#include "tests/differential/libjpeg_header.h"

namespace quadrell::testing {
namespace {

// As libjpeg's examine_app0 tells a JFIF APP0: at least 14 bytes of data
// behind the length, beginning "JFIF" NUL.
bool is_jfif(const std::vector<std::uint8_t>& data) {
  return data.size() >= 14 && std::memcmp(data.data(), "JFIF", 5) == 0;
}

std::string verdict_text(ScanResult result, const PatchValue& value) {
  std::string text = std::to_string(result);
  if (result > 0) text += " writing " + std::to_string(value[0]) + "," + std::to_string(value[1]);
  return text;
}

}  // namespace

Comparison compare_with_libjpeg(const GeneratedHeader& header, ScanResult result,
                                const PatchValue& value) {
  Comparison comparison;
  if (header.short_length) return comparison;
  // A cut may have left less than the MacBinary header.
  const std::size_t start = std::min(header.jpeg_start, header.bytes.size());
  const LibjpegHeader libjpeg =
      read_with_libjpeg(header.bytes.data() + start, header.bytes.size() - start);
  if (!libjpeg.reached_scan) return comparison;
  comparison.compared = true;
  if (libjpeg.app0_segments.size() != header.app0_codes.size()) {
    comparison.difference = "libjpeg read " + std::to_string(libjpeg.app0_segments.size()) +
                            " APP0 segments where " + std::to_string(header.app0_codes.size()) +
                            " were written";
    return comparison;
  }

  // The first JFIF APP0 among those libjpeg read, by its index.
  std::size_t first = libjpeg.app0_segments.size();
  std::size_t jfif_count = 0;
  for (std::size_t i = 0; i < libjpeg.app0_segments.size(); ++i) {
    if (!is_jfif(libjpeg.app0_segments[i])) continue;
    if (jfif_count++ == 0) first = i;
  }
  ScanResult expected = kFair;
  PatchValue expected_value{};
  if (jfif_count > 0) {
    const auto& data = libjpeg.app0_segments[first];
    const unsigned x = (data[8] << 8) + data[9];
    const unsigned y = (data[10] << 8) + data[11];
    if (!libjpeg.saw_jfif) {
      comparison.difference = "libjpeg did not take the JFIF APP0 it read";
      return comparison;
    }
    if (jfif_count == 1 && (libjpeg.x_density != x || libjpeg.y_density != y)) {
      comparison.difference = "libjpeg's densities are not those of its JFIF APP0";
      return comparison;
    }
    const auto x_position = static_cast<ScanResult>(header.app0_codes[first] + 12);  // M+11
    if (x < y) {
      expected = x_position;
      expected_value = {data[10], data[11]};
    } else if (y < x) {
      expected = x_position + 2;
      expected_value = {data[8], data[9]};
    }
  }

  comparison.change = expected > 0;
  if (result != expected || (result > 0 && value != expected_value)) {
    comparison.difference = "walk " + verdict_text(result, value) + ", libjpeg " +
                            verdict_text(expected, expected_value);
  }
  return comparison;
}

}  // namespace quadrell::testing
