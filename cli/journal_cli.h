#pragma once

#include <optional>
#include <string>

#include "cli/cli_output.h"
#include "engine/journal.h"
#include "engine/undo.h"

namespace quadrell {

// A journal that could not be opened for a run or an undo: the exit status,
// its message written; nothing when it was opened.
std::optional<int> refused(const JournalOpening& opening, const std::string& shown,
                           CliOutput& output);

// What an undo found beside its files' lines, on standard error; whether
// every line was sound and the journal could be read and added to.
bool tell_undo(const UndoSummary& summary, const std::string& shown, CliOutput& output);

}  // namespace quadrell
