#include "tests/test_files.h"

#include "tests/test_platform.h"

#include <fstream>
#include <iterator>
#include <random>

#ifndef _WIN32
#include <stdlib.h>
#endif

namespace quadrell::testing {

TempDir::TempDir() : TempDir(std::filesystem::temp_directory_path()) {}

TempDir::TempDir(const std::filesystem::path& parent) {
#ifdef _WIN32
  std::random_device random;
  std::filesystem::path candidate;
  std::error_code error;
  do {
    candidate =
        parent / (L"quadrell-test-" + std::to_wstring(random()) + std::to_wstring(random()));
  } while (!std::filesystem::create_directory(candidate, error));
  path_ = candidate;
#else
  std::string pattern = (parent / "quadrell-test-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) std::abort();
  path_ = pattern;
#endif
}

TempDir::~TempDir() { remove_tree(path_); }

std::filesystem::path TempDir::operator/(std::string_view name) const {
  return path_ / std::filesystem::path(native_path_from_utf8(name));
}

NativePath native(const std::filesystem::path& path) { return path.native(); }

void write_bytes(const std::filesystem::path& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

Bytes read_bytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Bytes jfif_file(std::uint16_t x_density, std::uint16_t y_density) {
  const auto high = [](std::uint16_t v) { return static_cast<std::uint8_t>(v >> 8); };
  const auto low = [](std::uint16_t v) { return static_cast<std::uint8_t>(v & 0xFF); };
  // clang-format off
  return {
      0xFF, 0xD8,                                // SOI
      0xFF, 0xE0,                                // APP0
      0x00, 0x10,                                // segment length 16
      'J', 'F', 'I', 'F', 0x00,                  // identifier
      0x01, 0x01,                                // version 1.01
      0x01,                                      // units: dots per inch
      high(x_density), low(x_density),           // X density, positions 15-16
      high(y_density), low(y_density),           // Y density, positions 17-18
      0x00, 0x00,                                // no thumbnail
      0xFF, 0xDB, 0x00, 0x04, 0x00, 0x00,        // a stand-in segment
      0xFF, 0xD9,                                // EOI
  };
  // clang-format on
}

Bytes macbinary_file(std::uint16_t x_density, std::uint16_t y_density) {
  Bytes header(128, 0x00);
  header[1] = 5;  // a name length, as MacBinary has it; never read
  return concat({header, jfif_file(x_density, y_density)});
}

Bytes concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

}  // namespace quadrell::testing
