#include "cli/stream_log.h"

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

// A run starts by emptying the log; the output holds the run's text only.
void StreamLog::set_log_text(std::string_view text) {
  text_ = text;
  output_.write_out(with_line_ends(text));
}

void StreamLog::append_to_log(std::string_view text) {
  text_ += text;
  output_.write_out(with_line_ends(text));
}

}  // namespace quadrell
