#pragma once

#include <vector>

#include "engine/log_view.h"
#include "engine/process_path.h"
#include "engine/run_counts.h"
#include "engine/run_report.h"
#include "platform/native_path.h"

namespace quadrell {

// One drop as one run: every path processed in the order given, then the
// end of the run with its counts.
RunCounts drop_run(RunListener& listener, const std::vector<NativePath>& paths,
                   const RunOptions& options = {});

// drop_run shown in a window's log box, emptied first: at the screen's pace,
// as PacedLog draws, ending with the whole log shown.
RunCounts paced_drop_run(LogView& view, const std::vector<NativePath>& paths,
                         const RunOptions& options = {});

}  // namespace quadrell
