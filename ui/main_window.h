#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "engine/log_window.h"

namespace quadrell::ui {

// The window Main: the check box cb_NotChangeDate, the log box txt_List and
// the button com_About, laid out in twips at the system's DPI. It is the
// window the engine reports to.
class MainWindow final : public LogWindow {
 public:
  MainWindow() = default;
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

  HWND handle() const { return window_; }
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
  LRESULT handle_message(UINT message, WPARAM wparam, LPARAM lparam);
  bool create_controls(HINSTANCE instance);
  HWND create_control(HINSTANCE instance, const wchar_t* window_class, const wchar_t* text,
                      DWORD style, DWORD extended_style, int id, int left, int top, int width,
                      int height);
  void run_shutdown();

  HWND window_ = nullptr;
  HWND not_change_date_ = nullptr;
  HWND list_ = nullptr;
  HWND about_ = nullptr;
  HWND focus_while_inactive_ = nullptr;
  HFONT font_ = nullptr;
  int dpi_ = 96;
  std::function<void()> shutdown_;
  bool shut_down_ = false;
};

}  // namespace quadrell::ui
