#pragma once

#include <cstdint>

namespace quadrell {

// The counts of one drop; total = fair + update + error after every path.
struct RunCounts {
  std::int32_t total = 0;
  std::int32_t fair = 0;
  std::int32_t update = 0;
  std::int32_t error = 0;
};

}  // namespace quadrell
