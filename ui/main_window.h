#pragma once

#include <windows.h>

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "drop/drop_window_proc.h"
#include "engine/process_path.h"
#include "engine/run_stop.h"
#include "platform/native_path.h"
#include "ui/kept_journals.h"
#include "ui/layout.h"
#include "ui/run_post.h"
#include "ui/window_owners.h"

namespace quadrell::ui {

// The main window: the keep-dates check box (not_change_date), the log box
// (list) and the Help button (about), laid out in twips at the system's DPI.
// A run draws into its log box. Runs go on a thread of their own, one at a
// time, so that the window stays alive meanwhile: it can be moved,
// minimised and scrolled, while the check box and Help are disabled. The
// run reaches the window only through a RunPost, and never waits on it;
// the window waits for a run only by joining its thread, at its end or
// when it closes.
// With journals, each run that changes a file is journaled, and the system
// menu's one item of its own takes the runs back, newest first.
class MainWindow final : public DropTarget {
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
  bool running() const { return state_ == RunState::kRunning; }
  // Empties the log box and does run on a thread of its own (on this one
  // where no thread can be had): a drop's run or an undo. Its lines go
  // through post; stop is requested when the window closes.
  using Run = std::function<void(RunPost& post, const RunStop& stop)>;
  void start(Run run);

  HWND handle() const { return static_cast<HWND>(window_.get()); }
  HWND list() const { return list_; }
  HWND not_change_date() const { return not_change_date_; }
  HWND about() const { return about_; }

  // Adds text at the end of the log box and shows it there, with the focus.
  void show_lines(std::string_view text);
  bool keep_dates() const;

  void set_keep_dates(bool checked);

  // The DPI the system reports for the screen.
  static int system_dpi();

 private:
  // Idle, a run under way, and shut down: no run starts again.
  enum class RunState { kIdle, kRunning, kShutDown };

  static LRESULT CALLBACK window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT handle_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  bool keep_focus(HWND window, WPARAM activation);
  // The system menu's item of our own: true when it was chosen.
  bool on_system_command(WPARAM command);
  // What the run posted, and the next queued run if none is under way.
  void take_posted();
  void start_next_run();
  // On the run's thread.
  void journaled_run(RunPost& post, const std::vector<NativePath>& paths, RunOptions options);
  // Whether the system menu's item may take a run back now.
  bool can_take_back() const;
  void end_run();
  // Stops the run under way after its file in hand and joins it; no
  // queued run starts.
  void stop_run();
  bool create_controls(HWND window, HINSTANCE instance);
  HWND create_control(HWND window, HINSTANCE instance, const wchar_t* window_class,
                      const wchar_t* text, DWORD style, DWORD extended_style, int id,
                      const TwipsRect& place);
  void shut_down();

  HWND not_change_date_ = nullptr;
  HWND list_ = nullptr;
  HWND about_ = nullptr;
  HWND focus_while_inactive_ = nullptr;
  int dpi_ = 96;
  std::function<void()> shutdown_;
  std::deque<std::vector<NativePath>> queued_runs_;
  RunState state_ = RunState::kIdle;
  RunStop stop_;  // requested once: no run starts after it
  std::optional<KeptJournals> journals_;
  RunPost post_;
  std::thread run_thread_;  // after what it uses
  UniqueFont font_;
  // Last: the window is destroyed first, while the state its messages use
  // and the font of its controls still exist.
  UniqueWindow window_;
};

}  // namespace quadrell::ui
