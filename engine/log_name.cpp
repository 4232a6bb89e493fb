#include "engine/log_name.h"

namespace quadrell {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool is_control(char32_t c) { return c < 0x20 || c == 0x7F; }

}  // namespace

void append_utf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

namespace {

void append_shown(LogName& name, char32_t c) {
  if (is_control(c)) c = kReplacement;
  append_utf8(name.text, c);
  name.length += c >= 0x10000 ? 2 : 1;
}

}  // namespace

std::size_t decode_utf8(std::string_view bytes, char32_t& c) {
  const auto lead = static_cast<unsigned char>(bytes[0]);
  std::size_t length;
  char32_t minimum;
  if (lead < 0x80) {
    c = lead;
    return 1;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, minimum = 0x80, c = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, minimum = 0x800, c = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, minimum = 0x10000, c = lead & 0x07;
  } else {
    return 0;
  }
  if (bytes.size() < length) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    const auto next = static_cast<unsigned char>(bytes[i]);
    if ((next & 0xC0) != 0x80) return 0;
    c = (c << 6) | (next & 0x3F);
  }
  if (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;
  return length;
}

LogName log_name(std::string_view bytes) {
  LogName name;
  name.text.reserve(bytes.size());
  while (!bytes.empty()) {
    // Most names are printable ASCII: taken a run at a time.
    std::size_t plain = 0;
    while (plain < bytes.size() && bytes[plain] >= 0x20 && bytes[plain] < 0x7F) ++plain;
    if (plain > 0) {
      name.text += bytes.substr(0, plain);
      name.length += static_cast<int>(plain);
      bytes.remove_prefix(plain);
      continue;
    }
    char32_t c = 0;
    std::size_t length = decode_utf8(bytes, c);
    if (length == 0) {  // no character: the byte as it is
      length = 1;
      c = 0;
    }
    if (c == '\n' || c == '\r') {
      name.text += '?';
    } else {
      name.text += bytes.substr(0, length);
    }
    name.length += c >= 0x10000 ? 2 : 1;
    bytes.remove_prefix(length);
  }
  return name;
}

std::string shown_on_terminal(std::string_view text) {
  std::string shown;
  shown.reserve(text.size());
  while (!text.empty()) {
    char32_t c = 0;
    std::size_t length = decode_utf8(text, c);
    const bool control = length == 0 || (is_control(c) && c != '\n') || (c >= 0x80 && c < 0xA0);
    if (length == 0) length = 1;
    if (control) {
      shown += '?';
    } else {
      shown += text.substr(0, length);
    }
    text.remove_prefix(length);
  }
  return shown;
}

char32_t decode_utf16(std::wstring_view units, std::size_t& i) {
  const auto unit = static_cast<char32_t>(units[i]);
  if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
      units[i + 1] <= 0xDFFF) {
    ++i;
    return 0x10000 + ((unit - 0xD800) << 10) + (static_cast<char32_t>(units[i]) - 0xDC00);
  }
  return unit;
}

LogName log_name(std::wstring_view units) {
  LogName name;
  for (std::size_t i = 0; i < units.size(); ++i) {
    const char32_t c = decode_utf16(units, i);
    append_shown(name, c >= 0xD800 && c <= 0xDFFF ? kReplacement : c);
  }
  return name;
}

std::string name_bytes(std::string_view name) { return std::string(name); }

std::string name_bytes(std::wstring_view name) {
  std::string bytes;
  for (std::size_t i = 0; i < name.size(); ++i) append_utf8(bytes, decode_utf16(name, i));
  return bytes;
}

std::u32string name_characters(std::string_view bytes) {
  std::u32string characters;
  while (!bytes.empty()) {
    char32_t c;
    std::size_t length = decode_utf8(bytes, c);
    if (length == 0) {
      c = 0xDC00 + static_cast<unsigned char>(bytes[0]);
      length = 1;
    }
    characters += c;
    bytes.remove_prefix(length);
  }
  return characters;
}

std::u32string name_characters(std::wstring_view name) {
  std::u32string characters;
  for (std::size_t i = 0; i < name.size(); ++i) {
    const char32_t c = decode_utf16(name, i);
    characters += c >= U'A' && c <= U'Z' ? c - U'A' + U'a' : c;
  }
  return characters;
}

}  // namespace quadrell
