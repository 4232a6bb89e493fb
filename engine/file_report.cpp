#include "engine/file_report.h"

namespace quadrell {

void report_file(RunListener& listener, RunCounts& counts, const FileOutcome& outcome) {
  const ScanResult result = outcome.result;
  ++(result > 0 ? counts.update : result == kFair ? counts.fair : counts.error);
  ++counts.total;
  listener.file_done(outcome, counts);
}

void report_patch(RunListener& listener, RunCounts& counts, const NativePath& shown,
                  ScanResult position, const PatchOutcome& outcome, FileFailure::Kind changed,
                  const ScanDetail* scanned) {
  if (outcome.changed) {
    listener.failed({changed, shown, 0});
  } else if (!outcome.written) {
    listener.failed({FileFailure::Kind::kWrite, shown, outcome.error});
  } else if (outcome.times == fs::TimesRestored::kNo) {
    listener.failed({FileFailure::Kind::kTimes, shown, outcome.times_error});
  }
  if (!outcome.written) return report_file(listener, counts, {shown, kAccessError});
  report_file(
      listener, counts,
      {shown, position, &outcome.change, outcome.left_known ? &outcome.left : nullptr, scanned});
}

}  // namespace quadrell
