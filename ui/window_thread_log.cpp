#include "ui/window_thread_log.h"

namespace quadrell::ui {
namespace {

constexpr int kMostUnapplied = 2;

}  // namespace

void WindowThreadLog::clear_log() {
  text_.clear();
  window_.call_on_window_thread([this] { window_.clear_log(); });
}

void WindowThreadLog::repaint() {
  {
    std::unique_lock lock(flow_->mutex);
    flow_->applied.wait(lock, [&] { return flow_->unapplied < kMostUnapplied; });
    ++flow_->unapplied;
  }
  auto batch = std::make_unique<Batch>(Batch{std::move(text_), scroll_, flow_});
  text_.clear();
  scroll_ = false;
  if (PostMessageW(window_.handle(), kBatchMessage, 0, reinterpret_cast<LPARAM>(batch.get()))) {
    batch.release();  // the window's thread owns it now
  } else {
    const std::lock_guard lock(flow_->mutex);
    --flow_->unapplied;
  }
}

void WindowThreadLog::apply_batch(MainWindow& window, LPARAM posted) {
  const std::unique_ptr<Batch> batch(reinterpret_cast<Batch*>(posted));
  if (!batch->text.empty()) window.append_to_log(batch->text);
  if (batch->scroll) window.scroll_log_to_end();
  {
    const std::lock_guard lock(batch->flow->mutex);
    --batch->flow->unapplied;
  }
  batch->flow->applied.notify_one();
}

}  // namespace quadrell::ui
