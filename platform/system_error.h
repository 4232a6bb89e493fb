#pragma once

#include <cstdint>

namespace quadrell {

// The system's reason for a failed file operation: errno on POSIX,
// GetLastError() on Windows; 0 for none.
using SystemError = std::uint32_t;

}  // namespace quadrell
