#include "engine/journal_path.h"

#include "engine/log_name.h"

namespace quadrell {
namespace {

constexpr char kHex[] = "0123456789abcdef";

}  // namespace

void append_hex(std::string& text, unsigned value, int digits) {
  for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4) text += kHex[(value >> shift) & 0xF];
}

bool hex_value(std::string_view digits, unsigned& value) {
  value = 0;
  for (const char c : digits) {
    const char* at = std::char_traits<char>::find(kHex, 16, c);
    if (at == nullptr) return false;
    value = value * 16 + static_cast<unsigned>(at - kHex);
  }
  return !digits.empty() && digits.size() <= 8;
}

bool needs_escape(char32_t c) { return c < 0x20 || c == 0x7F || c == '%'; }

void append_escaped(std::string& text, unsigned byte) {
  text += '%';
  append_hex(text, byte, 2);
}

// A POSIX name's bytes: UTF-8 as it is, any other byte escaped.
void append_journal_path(std::string& text, std::string_view path) {
  while (!path.empty()) {
    char32_t c = 0;
    const std::size_t length = decode_utf8(path, c);
    const auto first = static_cast<unsigned char>(path[0]);
    if (length == 0 || (length == 1 && needs_escape(first))) {
      append_escaped(text, first);
      path.remove_prefix(1);
    } else {
      text += path.substr(0, length);
      path.remove_prefix(length);
    }
  }
}

// A Windows name's UTF-16 units: as UTF-8, a lone surrogate escaped.
void append_journal_path(std::string& text, std::wstring_view path) {
  for (std::size_t i = 0; i < path.size(); ++i) {
    const char32_t c = decode_utf16(path, i);
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

bool parse_journal_path(std::string_view text, std::string& path) {
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

bool parse_journal_path(std::string_view text, std::wstring& path) {
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
