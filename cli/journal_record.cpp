#include "cli/journal_record.h"

#include <charconv>

#include "engine/log_name.h"

namespace quadrell {
namespace {

constexpr char kHex[] = "0123456789abcdef";

void append_hex_byte(std::string& text, unsigned byte) {
  text += kHex[(byte >> 4) & 0xF];
  text += kHex[byte & 0xF];
}

void append_escaped(std::string& text, unsigned byte) {
  text += '%';
  append_hex_byte(text, byte);
}

bool needs_escape(unsigned c) { return c < 0x20 || c == 0x7F || c == '%'; }

// Of each pair below, the platform's NativePath takes one.

// A POSIX name's bytes: UTF-8 as it is, any other byte escaped.
[[maybe_unused]] void append_path(std::string& text, const std::string& path) {
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

// A Windows name's UTF-16 units: as UTF-8, a lone surrogate escaped.
[[maybe_unused]] void append_path(std::string& text, const std::wstring& path) {
  for (std::size_t i = 0; i < path.size(); ++i) {
    const char32_t unit = path[i];
    const bool high = unit >= 0xD800 && unit < 0xDC00;
    if (high && i + 1 < path.size() && path[i + 1] >= 0xDC00 && path[i + 1] < 0xE000) {
      append_utf8(text, 0x10000 + ((unit - 0xD800) << 10) + (path[++i] - 0xDC00));
    } else if (unit >= 0xD800 && unit < 0xE000) {
      text += "%u";
      append_hex_byte(text, unit >> 8);
      append_hex_byte(text, unit & 0xFF);
    } else if (needs_escape(unit)) {
      append_escaped(text, unit);
    } else {
      append_utf8(text, unit);
    }
  }
}

bool hex_value(std::string_view digits, unsigned& value) {
  value = 0;
  for (const char c : digits) {
    const char* at = std::char_traits<char>::find(kHex, 16, c);
    if (at == nullptr) return false;
    value = value * 16 + static_cast<unsigned>(at - kHex);
  }
  return !digits.empty();
}

// The path of a record; false for an escape that is none.
[[maybe_unused]] bool parse_path(std::string_view text, std::string& path) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    unsigned byte = 0;
    if (text[i] != '%') {
      path += text[i];
    } else if (i + 2 < text.size() && hex_value(text.substr(i + 1, 2), byte)) {
      path += static_cast<char>(byte);
      i += 2;
    } else {
      return false;
    }
  }
  return true;
}

[[maybe_unused]] bool parse_path(std::string_view text, std::wstring& path) {
  while (!text.empty()) {
    unsigned unit = 0;
    if (text.starts_with("%u") && text.size() >= 6 && hex_value(text.substr(2, 4), unit)) {
      path += static_cast<wchar_t>(unit);
      text.remove_prefix(6);
    } else if (text[0] == '%') {
      if (text.size() < 3 || !hex_value(text.substr(1, 2), unit)) return false;
      path += static_cast<wchar_t>(unit);
      text.remove_prefix(3);
    } else {
      char32_t c = 0;
      const std::size_t length = decode_utf8(text, c);
      if (length == 0) return false;
      if (c >= 0x10000) {
        path += static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10));
        path += static_cast<wchar_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
      } else {
        path += static_cast<wchar_t>(c);
      }
      text.remove_prefix(length);
    }
  }
  return true;
}

template <typename Number>
bool number(std::string_view token, Number& value) {
  const auto [end, error] = std::from_chars(token.data(), token.data() + token.size(), value);
  return error == std::errc() && end == token.data() + token.size();
}

bool byte_pair(std::string_view high, std::string_view low, PatchValue& value) {
  unsigned first = 0, second = 0;
  if (high.size() != 2 || low.size() != 2 || !hex_value(high, first) || !hex_value(low, second)) {
    return false;
  }
  value = {static_cast<std::uint8_t>(first), static_cast<std::uint8_t>(second)};
  return true;
}

}  // namespace

std::string journal_header() {
  return std::string(kJournalName) + std::to_string(kJournalFormat) + "\n";
}

int journal_format(std::string_view first_line) {
  int format = 0;
  if (!first_line.starts_with(kJournalName)) return 0;
  return number(first_line.substr(kJournalName.size()), format) && format > 0 ? format : 0;
}

std::string record_line(const NativePath& path, const DensityChange& change) {
  std::string line = "change " + std::to_string(change.position) + (change.at_x ? " x " : " y ");
  append_hex_byte(line, change.before[0]);
  line += ' ';
  append_hex_byte(line, change.before[1]);
  line += " -> ";
  append_hex_byte(line, change.after[0]);
  line += ' ';
  append_hex_byte(line, change.after[1]);
  line += " file " + std::to_string(change.identity.volume) + " " +
          std::to_string(change.identity.file) + " times " + std::to_string(change.times.creation) +
          " " + std::to_string(change.times.last_access) + " " +
          std::to_string(change.times.last_write) + " ";
  append_path(line, path);
  line += '\n';
  return line;
}

bool parse_record(std::string_view line, JournalRecord& record) {
  constexpr std::size_t kTokens = 15;
  std::string_view tokens[kTokens];
  for (std::string_view& token : tokens) {
    const std::size_t end = line.find(' ');
    if (end == std::string_view::npos) return false;
    token = line.substr(0, end);
    line.remove_prefix(end + 1);
  }
  DensityChange& change = record.change;
  record.path.clear();
  return tokens[0] == "change" && number(tokens[1], change.position) && change.position > 0 &&
         (tokens[2] == "x" || tokens[2] == "y") && (change.at_x = tokens[2] == "x", true) &&
         byte_pair(tokens[3], tokens[4], change.before) && tokens[5] == "->" &&
         byte_pair(tokens[6], tokens[7], change.after) && tokens[8] == "file" &&
         number(tokens[9], change.identity.volume) && number(tokens[10], change.identity.file) &&
         tokens[11] == "times" && number(tokens[12], change.times.creation) &&
         number(tokens[13], change.times.last_access) &&
         number(tokens[14], change.times.last_write) && !line.empty() &&
         parse_path(line, record.path);
}

}  // namespace quadrell
