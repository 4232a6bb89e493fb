#include "ui/window_thread_log.h"

namespace quadrell::ui {

void WindowThreadLog::clear_log() {
  window_.call_on_window_thread([this] { window_.clear_log(); });
}

bool WindowThreadLog::log_is_empty() const {
  bool empty = false;
  window_.call_on_window_thread([&] { empty = window_.log_is_empty(); });
  return empty;
}

void WindowThreadLog::append_to_log(std::string_view text) {
  window_.call_on_window_thread([&] { window_.append_to_log(text); });
}

void WindowThreadLog::scroll_log_to_end() {
  window_.call_on_window_thread([this] { window_.scroll_log_to_end(); });
}

void WindowThreadLog::repaint() {
  window_.call_on_window_thread([this] { window_.repaint(); });
}

}  // namespace quadrell::ui
