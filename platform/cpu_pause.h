#pragma once

#include <thread>

namespace quadrell {

// Inside a loop that polls what another thread writes: a hint to the
// processor that the thread waits.
inline void cpu_pause() {
#if defined(__i386__) || defined(__x86_64__)
  __builtin_ia32_pause();
#else
  std::this_thread::yield();
#endif
}

}  // namespace quadrell
