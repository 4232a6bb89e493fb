#include "engine/journal_path.h"
#include "engine/log_name.h"

namespace quadrell {

// A Windows name's UTF-16 units: as UTF-8, a lone surrogate escaped.
void append_journal_path(std::string& text, const NativePath& path) {
  const std::u16string units(path.begin(), path.end());
  for (std::size_t i = 0; i < units.size(); ++i) {
    const char32_t c = decode_utf16(units, i);
    if (c >= 0xD800 && c <= 0xDFFF) {
      text += "%u";
      append_hex(text, c, 4);
    } else if (needs_escape(c)) {
      append_escaped(text, c);
    } else {
      append_utf8(text, c);
    }
  }
}

bool parse_journal_path(std::string_view text, NativePath& path) {
  path.clear();
  while (!text.empty()) {
    unsigned unit = 0;
    if (text.starts_with("%u")) {
      if (text.size() < 6 || !hex_value(text.substr(2, 4), unit)) return false;
      text.remove_prefix(6);
    } else if (text[0] == '%') {
      if (text.size() < 3 || !hex_value(text.substr(1, 2), unit)) return false;
      text.remove_prefix(3);
    } else {
      char32_t c = 0;
      const std::size_t length = decode_utf8(text, c);
      if (length == 0) return false;
      text.remove_prefix(length);
      if (c >= 0x10000) {
        path += static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10));
        unit = 0xDC00 + ((c - 0x10000) & 0x3FF);
      } else {
        unit = c;
      }
    }
    if (unit == 0) return false;
    path += static_cast<wchar_t>(unit);
  }
  return !path.empty();
}

}  // namespace quadrell
