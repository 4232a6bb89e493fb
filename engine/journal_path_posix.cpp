#include "engine/journal_path.h"
#include "engine/log_name.h"

namespace quadrell {

// A POSIX name's bytes: UTF-8 as it is, any other byte escaped.
void append_journal_path(std::string& text, const NativePath& path) {
  std::string_view rest = path;
  while (!rest.empty()) {
    char32_t c = 0;
    const std::size_t length = decode_utf8(rest, c);
    const auto first = static_cast<unsigned char>(rest[0]);
    if (length == 0 || (length == 1 && needs_escape(first))) {
      append_escaped(text, first);
      rest.remove_prefix(1);
    } else {
      text += rest.substr(0, length);
      rest.remove_prefix(length);
    }
  }
}

bool parse_journal_path(std::string_view text, NativePath& path) {
  path.clear();
  for (std::size_t i = 0; i < text.size(); ++i) {
    unsigned byte = text[i] == '%' ? 0 : static_cast<unsigned char>(text[i]);
    if (text[i] == '%') {
      if (i + 2 >= text.size() || !hex_value(text.substr(i + 1, 2), byte)) return false;
      i += 2;
    }
    if (byte == 0) return false;
    path += static_cast<char>(byte);
  }
  return !path.empty();
}

}  // namespace quadrell
