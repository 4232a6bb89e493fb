#include "cli/progress_line.h"

#include <algorithm>
#include <limits>

#include "cli/stream_log.h"

namespace quadrell {
namespace {

constexpr auto kFirstDraw = std::chrono::seconds(1);
constexpr auto kRedraw = std::chrono::milliseconds(100);
constexpr int kNoCut = std::numeric_limits<int>::max();

// Columns of UTF-8 text, counting every character beyond ASCII as two (as
// the wide Japanese ones take): a cut by this count never lets a line wrap.
// The text is cut before the first character past most columns.
int cut_to_width(std::string& text, int most) {
  int width = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if ((byte & 0xC0) == 0x80) continue;  // inside a character
    const int next = width + (byte < 0x80 ? 1 : 2);
    if (next > most) {
      text.resize(i);
      break;
    }
    width = next;
  }
  return width;
}

}  // namespace

ProgressLine::ProgressLine(CliOutput& output, int columns, bool shares_screen_with_log, Clock clock)
    : output_(output),
      columns_(columns),
      shares_screen_with_log_(shares_screen_with_log),
      clock_(std::move(clock)),
      start_(clock_()),
      next_draw_(start_ + kFirstDraw) {}

void ProgressLine::update(const RunCounts& counts, const NativePath& folder) {
  const auto now = clock_();
  if (now < next_draw_) return;
  next_draw_ = now + kRedraw;
  const auto seconds = std::chrono::duration<double>(now - start_).count();
  const auto rate = static_cast<long long>(counts.total / seconds);
  std::string text = "quadrell: " + std::to_string(counts.total) + " files, " +
                     std::to_string(counts.update) + " changed, " + std::to_string(counts.error) +
                     " errors, " + std::to_string(rate) + " files/s";
  // Forced into a file or a pipe (no columns), the line keeps the names'
  // bytes as the log does.
  if (!folder.empty()) text += ", reading " + shown_path(folder, columns_ > 0);
  // One column free: a line that fills the last one wraps on some terminals.
  const int width = cut_to_width(text, columns_ > 1 ? columns_ - 1 : kNoCut);
  const int blanks = std::max(drawn_width_ - width, 0);
  output_.write_error("\r" + text + std::string(static_cast<std::size_t>(blanks), ' ') + "\r");
  drawn_width_ = width;
}

void ProgressLine::clear() {
  if (drawn_width_ == 0) return;
  output_.write_error("\r" + std::string(static_cast<std::size_t>(drawn_width_), ' ') + "\r");
  drawn_width_ = 0;
}

}  // namespace quadrell
