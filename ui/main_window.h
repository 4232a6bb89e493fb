#pragma once

#include <windows.h>

#include <atomic>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "drop/drop_window_proc.h"
#include "engine/log_view.h"
#include "engine/process_path.h"
#include "engine/run_stop.h"
#include "platform/native_path.h"
#include "ui/kept_journals.h"
#include "ui/window_owners.h"

namespace quadrell::ui {

// The main window: the keep-dates check box (not_change_date), the log box
// (list) and the Help button (about), laid out in twips at the system's DPI.
// A run draws into its log box. Runs go on a thread of their own, one at a
// time, so that the window stays alive meanwhile: it can be moved,
// minimised, scrolled and closed, while the check box and Help are disabled.
// With journals, each run that changes a file is journaled, and the system
// menu's one item of its own takes the runs back, newest first.
class MainWindow final : public LogView, public DropTarget {
 public:
  // The window class, by which a second start finds the running window.
  static constexpr wchar_t kWindowClass[] = L"QuadrellMain";

  MainWindow() = default;
  // A run still under way is stopped and waited for.
  ~MainWindow();
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  // Creates the window and its controls, not yet shown. False on failure,
  // with GetLastError telling why.
  bool create(HINSTANCE instance, int dpi);

  // Shows the window with the first control of the tab order focused.
  void show(int show_command);

  // Runs once, on whichever comes first of WM_CLOSE, WM_ENDSESSION (the
  // Windows session ends) and WM_DESTROY.
  void set_shutdown(std::function<void()> shutdown) { shutdown_ = std::move(shutdown); }

  // The Help button's action: the log box shows the usage text from its
  // first line; the focus and everything else stay as they are.
  void show_help();

  // Runs paths as one drop once the messages before it are handled: the
  // paths of the program's command line, or of a second start.
  void queue_run(std::vector<NativePath> paths);
  // A drop: run now, or after the runs under way and queued before it.
  void run_drop(std::vector<NativePath> names) override;
  // Where the runs from now on keep their journals; without, none is kept.
  void set_journals(KeptJournals journals) { journals_.emplace(std::move(journals)); }
  bool running() const { return state_ == RunState::kRunning || state_ == RunState::kClosing; }

  // Does call on the window's own thread, which owns the controls, and
  // returns once it is done: how a run's thread reaches the window.
  void call_on_window_thread(const std::function<void()>& call) const;

  HWND handle() const { return static_cast<HWND>(window_.get()); }
  HWND list() const { return list_; }
  HWND not_change_date() const { return not_change_date_; }
  HWND about() const { return about_; }

  void clear_log() override;
  void append_to_log(std::string_view text) override;
  void scroll_log_to_end() override;
  void repaint() override;
  bool keep_dates() const;

  void set_keep_dates(bool checked);

  // The DPI the system reports for the screen.
  static int system_dpi();

 private:
  // Idle, a run under way, a run under way after which the window closes,
  // and shut down: no run starts again.
  enum class RunState { kIdle, kRunning, kClosing, kShutDown };
  // What moves the run state on.
  enum class RunEvent { kQueued, kEnded, kCloseAsked, kSessionEnds, kDestroyed };

  static LRESULT CALLBACK window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT handle_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  // Every change of the run state.
  void on_run_event(RunEvent event);
  void start_next_run();
  // The run of a drop, or of an undo, on a thread of its own where one can
  // be had.
  void begin_run(std::function<void(LogView&)> run);
  // On the run's thread.
  void journaled_run(LogView& log, const std::vector<NativePath>& paths, RunOptions options);
  // Whether the system menu's item may take a run back now.
  bool can_take_back() const;
  void finish_run();
  void wait_for_run();
  bool create_controls(HWND window, HINSTANCE instance);
  HWND create_control(HWND window, HINSTANCE instance, const wchar_t* window_class,
                      const wchar_t* text, DWORD style, DWORD extended_style, int id, int left,
                      int top, int width, int height);
  void shut_down();

  HWND not_change_date_ = nullptr;
  HWND list_ = nullptr;
  HWND about_ = nullptr;
  HWND focus_while_inactive_ = nullptr;
  int dpi_ = 96;
  std::function<void()> shutdown_;
  std::deque<std::vector<NativePath>> queued_runs_;
  RunState state_ = RunState::kIdle;
  RunStop stop_;                       // requested once: no run starts after it
  std::atomic<bool> run_done_{false};  // set by the run's thread as it ends
  std::optional<KeptJournals> journals_;
  // The last run that changed a file did so without a journal, in part or
  // in whole: it cannot be taken back, nor may the item skip it. The
  // journal folder keeps it too, where it can, for after a restart.
  bool unrecorded_run_ = false;
  // The run's thread's, read once it is joined: it changed a file without
  // its record; it made a journal.
  bool run_unrecorded_ = false;
  bool journal_made_ = false;
  std::thread run_thread_;  // after what it uses
  UniqueFont font_;
  // Last: the window is destroyed first, while the state its messages use
  // and the font of its controls still exist.
  UniqueWindow window_;
};

}  // namespace quadrell::ui
