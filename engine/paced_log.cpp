#include "engine/paced_log.h"

#include <algorithm>

namespace quadrell {
namespace {

constexpr std::chrono::steady_clock::duration kFrame = std::chrono::milliseconds(16);
constexpr int kDrawShare = 3;  // wait three times what the last update took

}  // namespace

void PacedLog::clear_log() {
  pending_.clear();
  window_.clear_log();
}

void PacedLog::update_if_due() {
  if (clock_() >= next_update_) update();
}

void PacedLog::update() {
  const auto start = clock_();
  if (!pending_.empty()) {
    window_.append_to_log(pending_);
    pending_.clear();
  }
  window_.scroll_log_to_end();
  window_.repaint();
  const auto end = clock_();
  next_update_ = end + std::max(kFrame, kDrawShare * (end - start));
}

}  // namespace quadrell
