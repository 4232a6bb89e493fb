#include "ui/window_undo.h"

#include <windows.h>

#include <cstdio>
#include <string>

#include "engine/journal.h"
#include "engine/log_name.h"
#include "engine/undo.h"
#include "platform/fs.h"
#include "platform/wide_text.h"

namespace quadrell::ui {
namespace {

// What the choice did with the journal.
enum class Verdict { kTakenBack, kOffered, kPassed };

// Given up on now, not for good: another program holds the file.
bool in_use(SystemError error) {
  return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

// The system words its own reasons in the user's language; ours are put in
// the window's.
std::string system_words(SystemError error) {
  switch (error) {
    case kNotRegularFile:
      return "通常のファイルではありません";
    case kTimesRounded:
      return "ファイルシステムが日付を丸めて保存します";
    case kNothingWritten:
      return "システムが何も書き込まず、理由も返しませんでした";
    case kFileReplaced:
      return "その名前には今は別のファイルがあります";
    default:
      return fs::error_text(error);
  }
}

// A file's failure in the window's words, as the console says it in its own.
std::string reason(const FileFailure& failure) {
  switch (failure.kind) {
    case FileFailure::Kind::kRead:
      if (failure.error == kPastPositions) return "大きすぎて扱えません（2 GiB を超えています）";
      return "開けないか読めません: " + system_words(failure.error);
    case FileFailure::Kind::kWrite:
      return "書き込めません: " + system_words(failure.error);
    case FileFailure::Kind::kChanged:
      return "読んだ後で他のプログラムが変更したため、書き込んでいません";
    case FileFailure::Kind::kTimes:
      return "元に戻しましたが、日付を戻せません: " + system_words(failure.error);
    case FileFailure::Kind::kNotAsRecorded:
      return "記録の後で変更されているため、そのままにしました";
    case FileFailure::Kind::kDatesUnknown:
      return "途中で止まった取り消しがバイトを戻しましたが、日付は戻せません"
             "（その後の変更と区別できないため、今の日付のままにしました）";
    default:
      return system_words(failure.error);
  }
}

// The undo's listener: the window's log, with a line before a file's line
// for its failure, and the summary line held back until the journal's own
// lines are in.
class UndoLog final : public RunListener {
 public:
  explicit UndoLog(RunPost& post) : post_(post) {}
  // The window's own lines stand out from the files' lines.
  void note(const std::string& text) { post_.note("※ " + text); }
  void end() { post_.run_ended(counts_); }

  void file_done(const FileOutcome& outcome, const RunCounts& counts) override {
    post_.file_done(outcome, counts);
  }
  void failed(const FileFailure& failure) override {
    note(log_name(failure.path).text + ": " + reason(failure));
  }
  void run_ended(const RunCounts& counts) override { counts_ = counts; }

 private:
  RunPost& post_;
  RunCounts counts_;
};

// The local time the journal was made at: the run's first change.
std::string made_at(const FILETIME& made) {
  SYSTEMTIME utc{};
  SYSTEMTIME local{};
  if ((made.dwLowDateTime == 0 && made.dwHighDateTime == 0) || !FileTimeToSystemTime(&made, &utc) ||
      !SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)) {
    return "不明";
  }
  char text[32];
  std::snprintf(text, sizeof text, "%04u/%02u/%02u %02u:%02u:%02u", local.wYear, local.wMonth,
                local.wDay, local.wHour, local.wMinute, local.wSecond);
  return text;
}

// The journal could not be opened: its line, and whether it stays offered.
Verdict refused(const JournalOpening& opening, UndoLog& log) {
  using Problem = JournalOpening::Problem;
  switch (opening.problem) {
    case Problem::kSystem:
      log.note("記録を開けません: " + system_words(opening.error));
      return in_use(opening.error) ? Verdict::kOffered : Verdict::kPassed;
    case Problem::kNotRegular:
    case Problem::kStandardStream:
      log.note("記録が普通のファイルではありません");
      return Verdict::kPassed;
    case Problem::kNotAJournal:
      log.note("Quadrell の記録ではありません");
      return Verdict::kPassed;
    case Problem::kOtherFormat:
      log.note("この Quadrell では読めない形式 (" + std::to_string(opening.format) +
               ") の記録です");
      return Verdict::kPassed;
    case Problem::kInUse:
      log.note("記録をほかの Quadrell が使っています");
      return Verdict::kOffered;
    case Problem::kNone:
      break;
  }
  return Verdict::kOffered;
}

// What an undo that ran found of the journal: its lines, and the verdict.
Verdict told(const UndoSummary& summary, bool stopped, UndoLog& log) {
  for (const std::uint64_t line : summary.unsound_lines) {
    log.note("記録の " + std::to_string(line) + " 行目は正しい記録ではないため、飛ばしました");
  }
  if (summary.unsound_count > summary.unsound_lines.size()) {
    log.note("ほかに " + std::to_string(summary.unsound_count - summary.unsound_lines.size()) +
             " 行が正しい記録ではないため、飛ばしました");
  }
  if (summary.read_error != 0) {
    log.note("記録を読めないため、そこで止めました: " + system_words(summary.read_error));
    if (!in_use(summary.read_error)) return Verdict::kPassed;
  }
  if (summary.changed_while_read) log.note("読んでいる間に記録が変わったため、そこで止めました");
  if (summary.progress_error != 0) {
    log.note("記録に書き足せないため、次のファイルの前で止めました: " +
             system_words(summary.progress_error));
  }
  if (summary.unsettled != 0 && !stopped) {
    log.note(std::to_string(summary.unsettled) + " 個の変更をまだ元に戻せていません");
  }
  const bool settled = !stopped && summary.read_error == 0 && !summary.changed_while_read &&
                       summary.progress_error == 0 && summary.unsettled == 0;
  return settled ? Verdict::kTakenBack : Verdict::kOffered;
}

Verdict undo(const std::wstring& path, const RunStop& stop, UndoLog& log) {
  UndoJournal journal;
  const JournalOpening opening = open_undo_journal(path, WriteMode::kWrite, journal);
  if (opening.problem != JournalOpening::Problem::kNone) return refused(opening, log);
  const UndoSummary summary =
      undo_journal(*journal.file, journal.records, log, WriteMode::kWrite, &stop);
  return told(summary, stop.requested(), log);
}

}  // namespace

void take_back(RunPost& post, KeptJournals& journals, const KeptJournals::Journal& journal,
               const RunStop& stop) {
  post.note("元に戻す処理: " + utf8_from_wide(journal.name) + "（記録の開始 " +
            made_at(journal.made) + "）");
  UndoLog log(post);
  Verdict verdict = undo(journals.path_of(journal.name), stop, log);
  if (verdict == Verdict::kTakenBack) {
    if (const SystemError error = journals.mark_taken_back(journal); error != 0) {
      log.note("記録に「元に戻した」印を付けられません: " + system_words(error));
      verdict = Verdict::kPassed;
    }
  }
  if (verdict == Verdict::kOffered) {
    log.note("この処理はまだ元に戻し終えていません。もう一度選ぶと続きを元に戻します");
  } else if (verdict == Verdict::kPassed) {
    log.note("この記録からは元に戻せません。次に選ぶと、その前の処理を元に戻します");
    journals.pass(journal);
  }
  log.end();
}

}  // namespace quadrell::ui
