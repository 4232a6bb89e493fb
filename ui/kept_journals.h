#pragma once

#include <windows.h>

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace quadrell::ui {

// How many journals of the window's runs are kept: the runs that can be
// taken back, newest first.
inline constexpr std::size_t kJournalsKept = 20;

// The journals of the window's runs, one for each run that changed a file,
// in a folder of the user's own. Each is named by its run's start, in UTC,
// so that the names sort by age whatever the clock's zone does
// ("20261208-191324.txt"; "-2" and so on when two runs begin in one second).
// One taken back is renamed "….undone.txt", so that the next undo goes on to
// the run before it.
class KeptJournals {
 public:
  // %LOCALAPPDATA%\Quadrell\journal; nothing when the system names no such
  // folder. It is made only when the first journal is.
  static std::optional<std::wstring> default_folder();

  explicit KeptJournals(std::wstring folder) : folder_(std::move(folder)) {}
  const std::wstring& folder() const { return folder_; }

  // The path of the journal of a run that began at start, in the folder,
  // made first if missing; nothing when it cannot be made.
  std::optional<std::wstring> new_journal(const SYSTEMTIME& start) const;
  // Deletes the oldest journals beyond kJournalsKept.
  void keep_newest() const;
  // The newest journal not taken back.
  std::optional<std::wstring> to_take_back() const;
  bool mark_taken_back(const std::wstring& path) const;

 private:
  struct Kept {
    std::wstring name;
    std::wstring stamp;   // YYYYMMDD-HHMMSS
    unsigned number = 1;  // 2 for "-2" and so on
    bool taken_back = false;
    bool operator<(const Kept& other) const {
      return stamp != other.stamp ? stamp < other.stamp : number < other.number;
    }
  };
  // The journals in the folder, oldest first.
  std::vector<Kept> list() const;
  std::wstring path_of(const std::wstring& name) const { return folder_ + L"\\" + name; }

  std::wstring folder_;
};

}  // namespace quadrell::ui
