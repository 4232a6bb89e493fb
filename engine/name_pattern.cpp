#include "engine/name_pattern.h"

#include <string_view>

#include "engine/log_name.h"

namespace quadrell {
namespace {

// Whether the set at the start of pattern ("[" taken) holds c; how long it
// is, "]" included, goes to length; 0 when it is never closed, and the "["
// is then a character of its own.
bool in_set(std::u32string_view pattern, char32_t c, std::size_t& length) {
  std::size_t at = 0;
  const bool negated = at < pattern.size() && (pattern[at] == U'!' || pattern[at] == U'^');
  if (negated) ++at;
  bool found = false;
  for (bool first = true; at < pattern.size(); first = false) {
    if (pattern[at] == U']' && !first) {
      length = at + 1;
      return found != negated;
    }
    char32_t low = pattern[at];
    if (low == U'\\' && at + 1 < pattern.size()) low = pattern[++at];
    char32_t high = low;
    if (at + 2 < pattern.size() && pattern[at + 1] == U'-' && pattern[at + 2] != U']') {
      at += 2;
      high = pattern[at];
      if (high == U'\\' && at + 1 < pattern.size()) high = pattern[++at];
    }
    if (c >= low && c <= high) found = true;
    ++at;
  }
  length = 0;
  return false;
}

// Matches one character of name against the pattern's element at p; how
// long the element is goes to length.
bool matches_one(std::u32string_view pattern, std::size_t p, char32_t c, std::size_t& length) {
  switch (pattern[p]) {
    case U'?':
      length = 1;
      return true;
    case U'[': {
      std::size_t set_length = 0;
      const bool held = in_set(pattern.substr(p + 1), c, set_length);
      if (set_length > 0) {
        length = set_length + 1;
        return held;
      }
      length = 1;
      return c == U'[';
    }
    case U'\\':
      if (p + 1 < pattern.size()) {
        length = 2;
        return c == pattern[p + 1];
      }
      break;
    default:
      break;
  }
  length = 1;
  return c == pattern[p];
}

// The classic walk with one star to go back to: each star takes as little
// as it can, one more character each time the rest fails.
bool match(std::u32string_view pattern, std::u32string_view name) {
  std::size_t p = 0, n = 0;
  std::size_t star = std::u32string_view::npos, star_name = 0;
  while (n < name.size()) {
    std::size_t length = 0;
    if (p < pattern.size() && pattern[p] == U'*') {
      star = ++p;
      star_name = n;
    } else if (p < pattern.size() && matches_one(pattern, p, name[n], length)) {
      p += length;
      ++n;
    } else if (star != std::u32string_view::npos) {
      p = star;
      n = ++star_name;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == U'*') ++p;
  return p == pattern.size();
}

}  // namespace

NamePattern::NamePattern(const NativePath& pattern) : pattern_(name_characters(pattern)) {}

bool NamePattern::matches(const NativePath& name) const {
  return match(pattern_, name_characters(name));
}

bool any_matches(const std::vector<NamePattern>& patterns, const NativePath& name) {
  for (const NamePattern& pattern : patterns) {
    if (pattern.matches(name)) return true;
  }
  return false;
}

}  // namespace quadrell
