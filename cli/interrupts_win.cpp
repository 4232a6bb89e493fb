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
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      break;
    default:
      return FALSE;
  }
  DWORD none = kNone;
  if (first_interrupt.compare_exchange_strong(none, kind_of(event))) {
    interrupt_stop.request();
  } else if (none == kind_of(event)) {
    end_as_interrupted();
  }
  // Returning would end the process now: the run ends it once the file in
  // hand is finished.
  if (kind_of(event) == CTRL_CLOSE_EVENT) Sleep(INFINITE);
  return TRUE;
}

}  // namespace

const RunStop& catch_interrupts() {
  SetConsoleCtrlHandler(on_interrupt, TRUE);
  return interrupt_stop;
}

void end_as_interrupted() { ExitProcess(STATUS_CONTROL_C_EXIT); }

}  // namespace quadrell
