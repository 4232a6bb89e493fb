#include "engine/journal_path.h"

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

}  // namespace quadrell
