#include <signal.h>
#include <unistd.h>

#include <atomic>

#include "cli/interrupts.h"

namespace quadrell {
namespace {

constexpr int kInterrupts[] = {SIGINT, SIGTERM, SIGHUP};

RunStop interrupt_stop;
std::atomic<int> first_interrupt{0};
static_assert(std::atomic<int>::is_always_lock_free);

[[noreturn]] void die_of(int signal_number) {
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  ::sigaction(signal_number, &action, nullptr);
  sigset_t unblocked;
  sigemptyset(&unblocked);
  sigaddset(&unblocked, signal_number);
  ::pthread_sigmask(SIG_UNBLOCK, &unblocked, nullptr);
  ::raise(signal_number);
  ::_exit(128 + signal_number);
}

extern "C" void on_interrupt(int signal_number) {
  int none = 0;
  if (first_interrupt.compare_exchange_strong(none, signal_number)) {
    interrupt_stop.request();
  } else if (none == signal_number) {
    die_of(signal_number);
  }
}

}  // namespace

const RunStop& catch_interrupts() {
  struct sigaction action {};
  action.sa_handler = on_interrupt;
  sigemptyset(&action.sa_mask);
  // Reads and writes go on where they were: the file in hand is finished.
  action.sa_flags = SA_RESTART;
  for (const int signal_number : kInterrupts) {
    struct sigaction previous {};
    if (::sigaction(signal_number, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) {
      continue;
    }
    ::sigaction(signal_number, &action, nullptr);
  }
  return interrupt_stop;
}

void end_as_interrupted() { die_of(first_interrupt.load()); }

}  // namespace quadrell
