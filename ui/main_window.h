#pragma once

#include <windows.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "engine/log_window.h"
#include "platform/native_path.h"
#include "ui/window_owners.h"

namespace quadrell::ui {

// The main window: the keep-dates check box (not_change_date), the log box
// (list) and the Help button (about), laid out in twips at the system's DPI.
// It is the window the engine reports to.
class MainWindow final : public LogWindow {
 public:
  // The window class, by which a second start finds the running window.
  static constexpr wchar_t kWindowClass[] = L"QuadrellMain";

  MainWindow() = default;
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

  HWND handle() const { return static_cast<HWND>(window_.get()); }
  HWND list() const { return list_; }
  HWND not_change_date() const { return not_change_date_; }
  HWND about() const { return about_; }

  void clear_log() override;
  bool log_is_empty() const override;
  void append_to_log(std::string_view text) override;
  void scroll_log_to_end() override;
  void repaint() override;
  bool keep_dates() const override;

  void set_keep_dates(bool checked);

  // The DPI the system reports for the screen.
  static int system_dpi();

 private:
  static LRESULT CALLBACK window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT handle_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  void run_queued();
  bool create_controls(HWND window, HINSTANCE instance);
  HWND create_control(HWND window, HINSTANCE instance, const wchar_t* window_class,
                      const wchar_t* text, DWORD style, DWORD extended_style, int id, int left,
                      int top, int width, int height);
  void run_shutdown();

  HWND not_change_date_ = nullptr;
  HWND list_ = nullptr;
  HWND about_ = nullptr;
  HWND focus_while_inactive_ = nullptr;
  int dpi_ = 96;
  std::function<void()> shutdown_;
  std::deque<std::vector<NativePath>> queued_runs_;
  bool shut_down_ = false;
  UniqueFont font_;
  // Last: the window is destroyed first, while the state its messages use
  // and the font of its controls still exist.
  UniqueWindow window_;
};

}  // namespace quadrell::ui
