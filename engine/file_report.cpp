#include "engine/file_report.h"

namespace quadrell {

void report_file(RunListener& listener, RunCounts& counts, const FileOutcome& outcome) {
  const ScanResult result = outcome.result;
  ++(result > 0 ? counts.update : result == kFair ? counts.fair : counts.error);
  ++counts.total;
  listener.file_done(outcome, counts);
}

void report_patch(RunListener& listener, RunCounts& counts, const NativePath& shown,
                  ScanResult position, const PatchResult& patch, FileFailure::Kind changed,
                  const ScanDetail* scanned) {
  switch (patch.outcome) {
    case PatchOutcome::kChanged:
      listener.failed({changed, shown, 0});
      break;
    case PatchOutcome::kRefused:
    case PatchOutcome::kFailed:
      listener.failed({FileFailure::Kind::kWrite, shown, patch.error});
      break;
    case PatchOutcome::kTimesNotPutBack:
      listener.failed({FileFailure::Kind::kTimes, shown, patch.error});
      break;
    case PatchOutcome::kWritten:
      break;
  }
  if (!written(patch.outcome)) return report_file(listener, counts, {shown, kAccessError});
  report_file(listener, counts,
              {shown, position, &patch.change, patch.left ? &*patch.left : nullptr, scanned});
}

}  // namespace quadrell
