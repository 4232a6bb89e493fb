#include "engine/log_name.h"

namespace quadrell {

LogName log_name(const NativePath& name) {
  return log_name_from_utf16(std::u16string(name.begin(), name.end()));
}

std::string name_bytes(const NativePath& name) {
  const std::u16string units(name.begin(), name.end());
  std::string bytes;
  for (std::size_t i = 0; i < units.size(); ++i) append_utf8(bytes, decode_utf16(units, i));
  return bytes;
}

std::u32string name_characters(const NativePath& name) {
  const std::u16string units(name.begin(), name.end());
  std::u32string characters;
  for (std::size_t i = 0; i < units.size(); ++i) {
    const char32_t c = decode_utf16(units, i);
    characters += c >= U'A' && c <= U'Z' ? c - U'A' + U'a' : c;
  }
  return characters;
}

}  // namespace quadrell
