#include "engine/crc32c.h"

#include <array>

namespace quadrell {
namespace {

constexpr std::uint32_t kReversedPolynomial = 0x82F63B78;

constexpr std::array<std::uint32_t, 256> make_table() {
  std::array<std::uint32_t, 256> table{};
  for (std::uint32_t byte = 0; byte < 256; ++byte) {
    std::uint32_t value = byte;
    for (int bit = 0; bit < 8; ++bit)
      value = (value >> 1) ^ ((value & 1) ? kReversedPolynomial : 0);
    table[byte] = value;
  }
  return table;
}

constexpr std::array<std::uint32_t, 256> kTable = make_table();

}  // namespace

std::uint32_t crc32c(std::string_view bytes) {
  std::uint32_t crc = 0xFFFFFFFF;
  for (const char c : bytes)
    crc = (crc >> 8) ^ kTable[(crc ^ static_cast<unsigned char>(c)) & 0xFF];
  return crc ^ 0xFFFFFFFF;
}

}  // namespace quadrell
