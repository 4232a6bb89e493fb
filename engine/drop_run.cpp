#include "engine/drop_run.h"

#include "engine/paced_log.h"

namespace quadrell {

RunCounts drop_run(RunListener& listener, const std::vector<NativePath>& paths,
                   const RunOptions& options) {
  RunCounts counts;
  process_paths(listener, paths, counts, options);
  listener.run_ended(counts);
  return counts;
}

RunCounts paced_drop_run(LogView& view, const std::vector<NativePath>& paths,
                         const RunOptions& options) {
  PacedLog paced(view);
  return drop_run(paced, paths, options);
}

}  // namespace quadrell
