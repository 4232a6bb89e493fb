#include "engine/crc32c.h"

#include <array>

namespace quadrell {
namespace {

constexpr std::uint32_t kReversedPolynomial = 0x82F63B78;

// Slicing by 8: table k gives the CRC of a byte followed by k zero bytes,
// so that eight bytes are taken with eight look-ups and no loop over bits.
using Tables = std::array<std::array<std::uint32_t, 256>, 8>;

constexpr Tables make_tables() {
  Tables tables{};
  for (std::uint32_t byte = 0; byte < 256; ++byte) {
    std::uint32_t value = byte;
    for (int bit = 0; bit < 8; ++bit)
      value = (value >> 1) ^ ((value & 1) ? kReversedPolynomial : 0);
    tables[0][byte] = value;
  }
  for (std::size_t k = 1; k < 8; ++k) {
    for (std::uint32_t byte = 0; byte < 256; ++byte) {
      const std::uint32_t previous = tables[k - 1][byte];
      tables[k][byte] = (previous >> 8) ^ tables[0][previous & 0xFF];
    }
  }
  return tables;
}

constexpr Tables kTables = make_tables();

std::uint32_t byte_at(std::string_view bytes, std::size_t i) {
  return static_cast<unsigned char>(bytes[i]);
}

}  // namespace

std::uint32_t crc32c(std::string_view bytes) {
  std::uint32_t crc = 0xFFFFFFFF;
  std::size_t i = 0;
  for (; i + 8 <= bytes.size(); i += 8) {
    const std::uint32_t low = crc ^ (byte_at(bytes, i) | byte_at(bytes, i + 1) << 8 |
                                     byte_at(bytes, i + 2) << 16 | byte_at(bytes, i + 3) << 24);
    crc = kTables[7][low & 0xFF] ^ kTables[6][(low >> 8) & 0xFF] ^ kTables[5][(low >> 16) & 0xFF] ^
          kTables[4][low >> 24] ^ kTables[3][byte_at(bytes, i + 4)] ^
          kTables[2][byte_at(bytes, i + 5)] ^ kTables[1][byte_at(bytes, i + 6)] ^
          kTables[0][byte_at(bytes, i + 7)];
  }
  for (; i < bytes.size(); ++i) crc = (crc >> 8) ^ kTables[0][(crc ^ byte_at(bytes, i)) & 0xFF];
  return crc ^ 0xFFFFFFFF;
}

}  // namespace quadrell
