#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "platform/fs.h"
#include "platform/native_path.h"

namespace quadrell::testing {

using Bytes = std::vector<std::uint8_t>;

// A fresh folder under the system's temporary folder, removed with its
// content when the object goes.
class TempDir {
 public:
  TempDir();
  explicit TempDir(const std::filesystem::path& parent);
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // The full path of name (UTF-8) inside the folder.
  std::filesystem::path operator/(std::string_view name) const;

 private:
  std::filesystem::path path_;
};

NativePath native(const std::filesystem::path& path);
// The file at path, as the engine opens it.
inline fs::FileRef file_at(const std::filesystem::path& path) { return fs::FileRef{native(path)}; }

void write_bytes(const std::filesystem::path& path, const Bytes& bytes);
Bytes read_bytes(const std::filesystem::path& path);

// A minimal header-less JFIF file: SOI, APP0 with the given densities, and a
// few bytes of image data behind it. X lies at positions 15-16, Y at 17-18.
Bytes jfif_file(std::uint16_t x_density, std::uint16_t y_density);

// The same behind a 128-byte MacBinary header (X at 143, Y at 145).
Bytes macbinary_file(std::uint16_t x_density, std::uint16_t y_density);

Bytes concat(std::initializer_list<Bytes> parts);

// A leader of full stops, as the log writes it.
inline std::string dots(int count) { return std::string(static_cast<std::size_t>(count), '.'); }

}  // namespace quadrell::testing
