#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/system_error.h"

namespace quadrell::ui {

// How many journals of the window's runs are kept: the runs that can be
// taken back, newest first.
inline constexpr std::size_t kJournalsKept = 20;

// The journals of the window's runs, one for each run that changed a file,
// in a folder of the user's own. Each is named by a number one past the
// highest in the folder ("17.txt"), so that their order is the order the
// runs were made in, whatever a clock does; a number is never taken twice,
// since the file is made only where none of that name is. One taken back is
// renamed "17.undone.txt"; one that cannot be taken back is passed, renamed
// "17.passed.txt", so that the next choice goes on to the run before it.
class KeptJournals {
 public:
  // A run's journal, and when the file was made: at the run's first change.
  struct Journal {
    std::uint64_t number = 0;
    std::wstring name;
    FILETIME made{};
  };

  // %LOCALAPPDATA%\Quadrell\journal; nothing when the system names no such
  // folder. It is made only when the first journal is.
  static std::optional<std::wstring> default_folder();

  explicit KeptJournals(std::wstring folder) : folder_(std::move(folder)) {}
  std::wstring path_of(const std::wstring& name) const { return folder_ + L"\\" + name; }

  // Makes the empty journal of a new run, the folder first if missing: its
  // path, or nothing when none can be made (the highest number in the
  // folder is the largest there is, say).
  std::optional<std::wstring> new_journal() const;
  // Deletes every file of the numbers below the kJournalsKept highest.
  void keep_newest() const;
  // The newest journal neither taken back nor passed.
  std::optional<Journal> to_take_back() const;
  // 0 once renamed, replacing a ".undone.txt" of that number left from
  // before; the system's reason otherwise.
  SystemError mark_taken_back(const Journal& journal) const;
  // Renamed so; a journal that cannot be renamed is passed for as long as
  // this object lives, and offered again after a restart.
  void pass(const Journal& journal);

  // A run changed a file without its record: the item may then take no run
  // back, since it would skip that one. Kept until a later run makes its
  // journal: in the folder, so that a restart remembers it, and here,
  // should the folder not keep it.
  bool unrecorded_run() const;
  void set_unrecorded_run(bool unrecorded);

 private:
  enum class State { kOffered, kTakenBack, kPassed };
  struct Kept {
    Journal journal;
    State state = State::kOffered;
  };
  // Every file of the folder named by a number, in no order.
  std::vector<Kept> list() const;
  SystemError rename(const Journal& journal, const wchar_t* ending) const;

  std::wstring folder_;
  std::set<std::uint64_t> passed_;
  bool unrecorded_ = false;
};

}  // namespace quadrell::ui
