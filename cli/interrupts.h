#pragma once

#include "engine/run_stop.h"

namespace quadrell {

// From now on the interrupts that would end the program ask the run to stop
// instead (the RunStop returned): SIGINT, SIGTERM and SIGHUP on POSIX (one
// ignored when the program started stays ignored, as under nohup); Ctrl-C,
// Ctrl-Break, closing the console, logging off and shutting down on Windows.
// A second interrupt of the same kind ends the program at once, for a file
// in hand that hangs.
const RunStop& catch_interrupts();

// Ends the program as the first interrupt would have ended it, so that a
// shell or a script around it sees an interrupted program: on POSIX its
// signal with the default action, on Windows the exit code of a console
// program ended by Ctrl-C.
[[noreturn]] void end_as_interrupted();

}  // namespace quadrell
