#include "cli/stream_log.h"

#include <string>

namespace quadrell {
namespace {

std::string with_line_ends(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out += text[i];
  }
  return out;
}

}  // namespace

void StreamLog::append_to_log(std::string_view text) {
  if (!text.empty()) empty_ = false;
  output_.write_out(with_line_ends(text));
}

}  // namespace quadrell
