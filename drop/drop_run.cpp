#include "drop/drop_run.h"

#include "engine/log_line.h"

namespace quadrell {

RunCounts drop_run(LogWindow& window, const std::vector<NativePath>& paths, WriteMode mode) {
  RunCounts counts;
  window.clear_log();
  for (const NativePath& path : paths) process_path(window, path, counts, mode);
  append_summary_line(window, summary_line(counts));
  window.scroll_log_to_end();
  return counts;
}

}  // namespace quadrell
