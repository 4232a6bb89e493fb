#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "cli/cli_output.h"
#include "engine/journal.h"
#include "engine/process_path.h"
#include "engine/undo.h"
#include "platform/journal_file.h"

namespace quadrell {

// The journal a run adds to, opened, checked and locked, end its size:
// nothing, or the exit status of a journal refused (its message written).
std::optional<int> open_run_journal(const NativePath& path, const std::string& shown,
                                    CliOutput& output, std::optional<fs::JournalFile>& file,
                                    std::int64_t& end);

// The exit status of an undo told to journal into the journal it takes
// back (one file, by whatever names), its message written; nothing
// otherwise.
std::optional<int> refuse_one_journal_for_both(const NativePath& undo, const NativePath& journal,
                                               const std::string& shown, CliOutput& output);

// The journal to take back, opened (see quadrell::open_undo_journal):
// nothing, or the exit status of a refusal (its message written).
std::optional<int> open_undo_journal(const NativePath& path, const std::string& shown,
                                     WriteMode mode, CliOutput& output, UndoJournal& journal);

// What an undo found beside its files' lines, on standard error; whether
// every line was sound and the journal could be read and added to.
bool tell_undo(const UndoSummary& summary, const std::string& shown, CliOutput& output);

}  // namespace quadrell
