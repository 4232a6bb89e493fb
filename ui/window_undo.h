#pragma once

#include "engine/run_stop.h"
#include "ui/kept_journals.h"
#include "ui/run_post.h"

namespace quadrell::ui {

// Takes a kept journal's run back, as a run of its own whose log begins
// with a line naming the run and says, in the window's Japanese, every
// failure and why (each file's, the journal's) before its summary line.
// The journal is marked taken back once every change in it is settled. One
// left with a change for later (a file in use) or that another program
// holds stays offered, so that the next choice takes the same run again;
// one that cannot be taken back (no journal, a newer format, unreadable,
// not to be marked) is passed, so that the next choice goes on to the run
// before it.
void take_back(RunPost& post, KeptJournals& journals, const KeptJournals::Journal& journal,
               const RunStop& stop);

}  // namespace quadrell::ui
