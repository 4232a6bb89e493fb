#pragma once

#include <cstdint>
#include <optional>

namespace quadrell {

// The system's reason for a failed file operation: errno on POSIX,
// GetLastError() on Windows; 0 for none.
using SystemError = std::uint32_t;

// A failure handed to a caller that may not ask for its reason (error may
// be null); as an empty optional, for the functions that return one.
inline std::nullopt_t failure(SystemError* error, SystemError reason) {
  if (error != nullptr) *error = reason;
  return std::nullopt;
}

}  // namespace quadrell
