#include <windows.h>

#include <atomic>

#include "cli/interrupts.h"

namespace quadrell {
namespace {

constexpr DWORD kNone = 0xFFFFFFFF;

RunStop interrupt_stop;
std::atomic<DWORD> first_interrupt{kNone};

// Closing the console, logging off and shutting down are one kind: the
// system ends the process a few seconds after the handler returns.
DWORD kind_of(DWORD event) {
  return event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT ? CTRL_CLOSE_EVENT : event;
}

// Runs on a thread of its own, which the system starts for each event.
BOOL WINAPI on_interrupt(DWORD event) {
  const DWORD kind = kind_of(event);
  if (kind != CTRL_C_EVENT && kind != CTRL_BREAK_EVENT && kind != CTRL_CLOSE_EVENT) return FALSE;
  DWORD none = kNone;
  if (first_interrupt.compare_exchange_strong(none, kind)) {
    interrupt_stop.request();
  } else if (none == kind) {
    end_as_interrupted();
  }
  // Returning would end the process now: the run ends it once the file in
  // hand is finished.
  if (kind == CTRL_CLOSE_EVENT) Sleep(INFINITE);
  return TRUE;
}

}  // namespace

const RunStop& catch_interrupts() {
  SetConsoleCtrlHandler(on_interrupt, TRUE);
  return interrupt_stop;
}

void end_as_interrupted() { ExitProcess(STATUS_CONTROL_C_EXIT); }

}  // namespace quadrell
