#pragma once

#include <thread>

namespace quadrell {

// A hint to the processor, inside a loop that polls memory another thread
// writes, that the thread waits: it saves power and lets the other thread
// of the core run.
inline void cpu_pause() {
#if defined(__i386__) || defined(__x86_64__)
  __builtin_ia32_pause();
#else
  std::this_thread::yield();
#endif
}

}  // namespace quadrell
