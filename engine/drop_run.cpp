#include "engine/drop_run.h"

#include "engine/log_line.h"
#include "engine/paced_log.h"

namespace quadrell {

RunCounts drop_run(LogWindow& window, const std::vector<NativePath>& paths,
                   const RunOptions& options) {
  RunCounts counts;
  window.clear_log();
  process_paths(window, paths, counts, options);
  append_summary_line(window, summary_line(counts));
  window.scroll_log_to_end();
  return counts;
}

RunCounts paced_drop_run(LogWindow& window, const std::vector<NativePath>& paths,
                         const RunStop* stop) {
  PacedLog paced(window);
  RunOptions options;
  options.stop = stop;
  const RunCounts counts = drop_run(paced, paths, options);
  paced.finish();
  return counts;
}

}  // namespace quadrell
