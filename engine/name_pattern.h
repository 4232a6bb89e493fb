#pragma once

#include <string>
#include <vector>

#include "platform/native_path.h"

namespace quadrell {

// A shell pattern, as rsync and fd take them, matched against a name (not a
// path): * any run of characters, ? any one, [...] one of a set ([a-z] a
// range, [!...] or [^...] any but those; a ] first is one of them), and a
// backslash takes the next character as itself. Characters are compared as
// name_characters() gives them: without regard to ASCII case on Windows.
class NamePattern {
 public:
  explicit NamePattern(const NativePath& pattern);
  bool matches(const NativePath& name) const;

 private:
  std::u32string pattern_;
};

// The names a run leaves out and those it takes beside .jpg and .jpeg.
struct NamePatterns {
  std::vector<NamePattern> exclude;
  std::vector<NamePattern> include;
};

// Whether any of the patterns matches name.
bool any_matches(const std::vector<NamePattern>& patterns, const NativePath& name);

}  // namespace quadrell
