#pragma once

#include <vector>

#include "engine/log_window.h"
#include "engine/process_path.h"
#include "engine/run_counts.h"
#include "platform/native_path.h"

namespace quadrell {

// One drop as one run: the log emptied, every path processed in the order
// given, the summary line at the end, and the view scrolled to it.
RunCounts drop_run(LogWindow& window, const std::vector<NativePath>& paths,
                   const RunOptions& options = {});

// drop_run on a window that is drawn on the screen: at the screen's pace, as
// PacedLog draws, ending with the whole log shown; it stops once stop is
// requested.
RunCounts paced_drop_run(LogWindow& window, const std::vector<NativePath>& paths,
                         const RunStop* stop = nullptr);

}  // namespace quadrell
