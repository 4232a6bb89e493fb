#include "platform/unique_fd.h"

#include <unistd.h>

namespace quadrell {

// No retry on EINTR: on Linux the descriptor is released either way.
bool UniqueFd::close() {
  if (fd_ < 0) return true;
  return ::close(std::exchange(fd_, -1)) == 0;
}

}  // namespace quadrell
