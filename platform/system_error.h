#pragma once

#include <cstdint>
#include <iterator>
#include <optional>
#include <utility>
#include <variant>

namespace quadrell {

// The system's reason for a failed file operation: errno on POSIX,
// GetLastError() on Windows; 0 for none.
using SystemError = std::uint32_t;

// Reasons of our own, where no system call failed: in the range Windows
// leaves to applications (bit 29), which no errno reaches. fs::error_text
// words them.
inline constexpr SystemError kNotRegularFile = 0x20000001;  // a folder, a device, a pipe
inline constexpr SystemError kTimesRounded = 0x20000002;    // set, but kept otherwise
inline constexpr SystemError kNothingWritten = 0x20000003;  // no byte taken, no reason
inline constexpr SystemError kFileReplaced = 0x20000004;    // another file at the name now
inline constexpr SystemError kPastPositions = 0x20000005;   // past the log's 32-bit positions

// Our words for a reason of our own; null for the system's.
inline const char* own_reason_text(SystemError reason) {
  static constexpr const char* kTexts[] = {
      "Not a regular file", "The file system keeps them rounded",
      "The system wrote nothing and gave no reason", "Another file stands at its name now",
      "Too large: positions past 2 GiB cannot be shown"};
  const SystemError index = reason - kNotRegularFile;
  return index < std::size(kTexts) ? kTexts[index] : nullptr;
}

// A failure, on its way to a Result.
struct Failure {
  SystemError reason = 0;
};
inline Failure failure(SystemError reason) { return {reason}; }

// A platform call's answer: its value, or why there is none. Result<> is a
// call that answers nothing but whether it worked.
template <typename T = std::monostate>
class Result {
 public:
  Result(T value = T{}) : value_(std::move(value)) {}  // NOLINT: a value is a success
  Result(Failure failure) : error_(failure.reason) {}  // NOLINT: so is a failure
  explicit operator bool() const { return value_.has_value(); }
  T& operator*() { return *value_; }
  const T& operator*() const { return *value_; }
  T* operator->() { return &*value_; }
  const T* operator->() const { return &*value_; }
  // Why it failed; 0 on success.
  SystemError error() const { return error_; }

 private:
  std::optional<T> value_;
  SystemError error_ = 0;
};

}  // namespace quadrell
