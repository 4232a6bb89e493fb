#pragma once

#include <string_view>

#include "engine/process_path.h"
#include "engine/run_report.h"

namespace quadrell {

// Takes back the changes recorded in a journal's records (its text less its
// first line), newest first, each with the checked patch: a file that is
// still the one recorded and holds the bytes after its change where the
// record says (the JFIF identifier before them) gets the bytes before and
// its recorded times back (its line the ordinary Change line,
// under the recorded path); one that holds the bytes before already is fair;
// any other is left as it is, an access error. The listener hears of each
// as of a run's files, and may record what is put back. A line that holds
// no record (the last one cut short by a run that ended while writing it)
// is passed over and counted in cut_records. A dry run changes nothing.
RunCounts undo_changes(std::string_view records, RunListener& listener, WriteMode mode,
                       const RunStop* stop, int& cut_records);

}  // namespace quadrell
