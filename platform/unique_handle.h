#pragma once

#include <cstdint>
#include <utility>

namespace quadrell {

// Owns a Win32 handle: closed by Close when the owner goes, unless the caller
// closed it first to see the result. Held as void*, which a HANDLE is, so that
// this header needs no <windows.h>; null and INVALID_HANDLE_VALUE hold nothing.
template <bool (*Close)(void*)>
class UniqueWinHandle {
 public:
  UniqueWinHandle() = default;
  explicit UniqueWinHandle(void* handle) : handle_(handle) {}
  ~UniqueWinHandle() { close(); }
  UniqueWinHandle(UniqueWinHandle&& other) noexcept
      : handle_(std::exchange(other.handle_, nullptr)) {}
  UniqueWinHandle& operator=(UniqueWinHandle&& other) noexcept {
    if (this != &other) {
      close();
      handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
  }

  bool valid() const { return handle_ != nullptr && handle_ != kInvalid(); }
  void* get() const { return handle_; }
  // Lets go of a handle that was closed by other means.
  void* release() { return std::exchange(handle_, nullptr); }

  // The closing function's result; true when nothing was open.
  bool close() {
    if (!valid()) return true;
    return Close(std::exchange(handle_, nullptr));
  }

 private:
  static void* kInvalid() { return reinterpret_cast<void*>(std::intptr_t{-1}); }
  void* handle_ = nullptr;
};

bool close_handle(void* handle);       // CloseHandle
bool close_find_handle(void* handle);  // FindClose

// Files, mutexes and every other handle that CloseHandle closes.
using UniqueHandle = UniqueWinHandle<&close_handle>;
// A FindFirstFileW search.
using UniqueFindHandle = UniqueWinHandle<&close_find_handle>;

}  // namespace quadrell
