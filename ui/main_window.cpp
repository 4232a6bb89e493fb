#include "ui/main_window.h"

#include <system_error>
#include <utility>

#include "engine/first_change_journal.h"
#include "platform/wide_text.h"
#include "res/resource.h"
#include "ui/forwarded_paths.h"
#include "ui/help_text.h"
#include "ui/texts.h"
#include "ui/window_undo.h"

namespace quadrell::ui {
namespace {

// The window's one timer: the next take of what a run posted.
constexpr UINT_PTR kPaceTimer = 1;
constexpr UINT kFrameMilliseconds = 16;
// The system menu's item that takes the last run back: the system's own
// commands are from 0xF000, and it keeps the low four bits of each.
constexpr UINT kTakeBackCommand = 0x0110;
// Fixed size: nothing follows a change of size. Minimising is allowed.
constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

// Shared: the system owns the icon, and nothing needs destroying.
HICON load_icon(HINSTANCE instance, int width_metric, int height_metric) {
  return static_cast<HICON>(LoadImageW(
      instance, MAKEINTRESOURCEW(IDI_QUADRELL), IMAGE_ICON, GetSystemMetrics(width_metric),
      GetSystemMetrics(height_metric), LR_DEFAULTCOLOR | LR_SHARED));
}

bool register_window_class(HINSTANCE instance, WNDPROC procedure) {
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof window_class;
  window_class.lpfnWndProc = procedure;
  window_class.hInstance = instance;
  window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  window_class.lpszClassName = MainWindow::kWindowClass;
  window_class.hIcon = load_icon(instance, SM_CXICON, SM_CYICON);
  window_class.hIconSm = load_icon(instance, SM_CXSMICON, SM_CYSMICON);
  return RegisterClassExW(&window_class) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

// The font Windows uses for message boxes, which shows Japanese on any
// Windows; where it cannot be had, the controls keep the system font.
HFONT create_message_font() {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) return nullptr;
  return CreateFontIndirectW(&metrics.lfMessageFont);
}

// A read-only edit control would be grey; the log is a document.
LRESULT document_colours(HDC context) {
  SetTextColor(context, GetSysColor(COLOR_WINDOWTEXT));
  SetBkColor(context, GetSysColor(COLOR_WINDOW));
  return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
}

}  // namespace

int MainWindow::system_dpi() {
  HDC screen = GetDC(nullptr);
  const int dpi = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
  if (screen != nullptr) ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : 96;
}

bool MainWindow::create(HINSTANCE instance, int dpi) {
  dpi_ = dpi;
  if (!register_window_class(instance, &MainWindow::window_procedure)) return false;
  RECT frame{0, 0, twips_to_pixels(kClientWidthTwips, dpi),
             twips_to_pixels(kClientHeightTwips, dpi)};
  AdjustWindowRectEx(&frame, kWindowStyle, FALSE, 0);
  // WM_NCCREATE hands the window to window_ before this returns.
  return CreateWindowExW(0, kWindowClass, kMainCaption, kWindowStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                         frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr,
                         instance, this) != nullptr;
}

void MainWindow::show(int show_command) {
  ShowWindow(handle(), show_command);
  UpdateWindow(handle());
  SetFocus(not_change_date_);
}

LRESULT CALLBACK MainWindow::window_procedure(HWND window, UINT message, WPARAM wparam,
                                              LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* self = static_cast<MainWindow*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
    self->window_ = UniqueWindow(window);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self == nullptr) return DefWindowProcW(window, message, wparam, lparam);
  return self->handle_message(window, message, wparam, lparam);
}

// Every handler uses window, the handle the message came with: window_ lets
// go of it on WM_NCDESTROY, which must still reach DefWindowProcW with it.
LRESULT MainWindow::handle_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_CREATE:
      return create_controls(window, reinterpret_cast<CREATESTRUCTW*>(lparam)->hInstance) ? 0 : -1;
    case WM_COMMAND:
      if (LOWORD(wparam) == IDC_ABOUT && HIWORD(wparam) == BN_CLICKED && !running()) show_help();
      return 0;
    case WM_INITMENUPOPUP:
      // As the system menu opens, from the state as it is then.
      if (HIWORD(lparam) != 0) {
        EnableMenuItem(reinterpret_cast<HMENU>(wparam), kTakeBackCommand,
                       MF_BYCOMMAND | (can_take_back() ? MF_ENABLED : MF_GRAYED));
      }
      break;
    case WM_SYSCOMMAND:
      if (on_system_command(wparam)) return 0;
      break;
    case WM_CTLCOLORSTATIC:
      if (reinterpret_cast<HWND>(lparam) == list_) {
        return document_colours(reinterpret_cast<HDC>(wparam));
      }
      break;
    case WM_ACTIVATE:
      if (keep_focus(window, wparam)) return 0;
      break;
    case WM_CLOSE:
      // The run in hand stops after its file and shows its summary first.
      stop_run();
      shut_down();
      DestroyWindow(window);
      return 0;
    case WM_ENDSESSION:
      // The process may be ended once this returns: the run stops first.
      if (wparam) {
        stop_run();
        shut_down();
      }
      return 0;
    case WM_DESTROY:
      shut_down();
      PostQuitMessage(0);
      return 0;
    case WM_COPYDATA:
      if (auto paths = forwarded_paths(*reinterpret_cast<const COPYDATASTRUCT*>(lparam))) {
        queue_run(std::move(*paths));
        return TRUE;
      }
      return FALSE;
    case WM_TIMER:
    case RunPost::kMessage:
      take_posted();
      return 0;
    case WM_NCDESTROY:
      SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      window_.release();
      break;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

// Keeps the focused control across a switch to another program: true when
// the focus is put back.
bool MainWindow::keep_focus(HWND window, WPARAM activation) {
  if (LOWORD(activation) == WA_INACTIVE) {
    focus_while_inactive_ = GetFocus();
    return false;
  }
  if (focus_while_inactive_ == nullptr || !IsChild(window, focus_while_inactive_)) return false;
  SetFocus(focus_while_inactive_);
  return true;
}

bool MainWindow::on_system_command(WPARAM command) {
  if ((command & 0xFFF0) != kTakeBackCommand) return false;
  if (can_take_back()) {
    const KeptJournals::Journal journal = *journals_->to_take_back();
    start([this, journal](RunPost& post, const RunStop& stop) {
      take_back(post, *journals_, journal, stop);
    });
  }
  return true;
}

MainWindow::~MainWindow() {
  stop_.request();
  if (run_thread_.joinable()) run_thread_.join();
}

// Each run is a message of its own, after the messages before it.
void MainWindow::queue_run(std::vector<NativePath> paths) {
  queued_runs_.push_back(std::move(paths));
  PostMessageW(handle(), RunPost::kMessage, 0, 0);
}

void MainWindow::run_drop(std::vector<NativePath> names) {
  queued_runs_.push_back(std::move(names));
  if (state_ == RunState::kIdle) start_next_run();
}

// Once it has shown what it took, the window takes again only when it has
// drawn and answered its input: a timer's message comes after all those.
void MainWindow::take_posted() {
  KillTimer(handle(), kPaceTimer);
  const RunPost::Taken taken = post_.take();
  if (!taken.text.empty()) show_lines(taken.text);
  if (taken.ended) {
    end_run();
  } else if (!taken.text.empty()) {
    SetTimer(handle(), kPaceTimer, kFrameMilliseconds, nullptr);
  }
  if (state_ == RunState::kIdle && !queued_runs_.empty()) start_next_run();
}

void MainWindow::start_next_run() {
  std::vector<NativePath> paths = std::move(queued_runs_.front());
  queued_runs_.pop_front();
  RunOptions options;
  options.keep_dates = keep_dates();
  options.stop = &stop_;
  start([this, paths, options](RunPost& post, const RunStop&) {
    journaled_run(post, paths, options);
  });
}

void MainWindow::start(Run run) {
  state_ = RunState::kRunning;
  EnableWindow(not_change_date_, FALSE);
  EnableWindow(about_, FALSE);
  SetWindowTextW(list_, L"");
  post_.begin(handle());
  const auto whole = [this, run] {
    run(post_, stop_);
    post_.end();
  };
  try {
    run_thread_ = std::thread(whole);
  } catch (const std::system_error&) {
    whole();  // no thread to be had: the run holds this one until it ends
  }
}

void MainWindow::journaled_run(RunPost& post, const std::vector<NativePath>& paths,
                               RunOptions options) {
  if (!journals_) {
    drop_run(post, paths, options);
    return;
  }
  // The folder remembers a change made without its record from right
  // before it is made until a later run's journal holds its first line.
  KeptJournals& journals = *journals_;
  FirstChangeJournal journal([&] { return journals.new_journal(); },
                             [&](const NativePath&) {
                               journals.set_unrecorded_run(false);
                               journals.keep_newest();
                             },
                             [&] { journals.set_unrecorded_run(true); });
  options.queue = kRecordedAtOnce;
  options.record = &journal;
  drop_run(post, paths, options);
}

// The journals are the run's until it is joined: only an idle window reads
// them.
bool MainWindow::can_take_back() const {
  return state_ == RunState::kIdle && journals_ && !journals_->unrecorded_run() &&
         journals_->to_take_back().has_value();
}

void MainWindow::end_run() {
  if (run_thread_.joinable()) run_thread_.join();
  if (state_ == RunState::kRunning) state_ = RunState::kIdle;
  EnableWindow(not_change_date_, TRUE);
  EnableWindow(about_, TRUE);
}

void MainWindow::stop_run() {
  queued_runs_.clear();
  if (!running()) return;
  stop_.request();
  if (run_thread_.joinable()) run_thread_.join();
  take_posted();
}

void MainWindow::shut_down() {
  if (state_ == RunState::kShutDown) return;
  state_ = RunState::kShutDown;
  if (shutdown_) shutdown_();
}

HWND MainWindow::create_control(HWND window, HINSTANCE instance, const wchar_t* window_class,
                                const wchar_t* text, DWORD style, DWORD extended_style, int id,
                                const TwipsRect& place) {
  HWND control = CreateWindowExW(
      extended_style, window_class, text, WS_CHILD | WS_VISIBLE | WS_TABSTOP | style,
      twips_to_pixels(place.left, dpi_), twips_to_pixels(place.top, dpi_),
      twips_to_pixels(place.width, dpi_), twips_to_pixels(place.height, dpi_), window,
      reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
  if (control != nullptr && font_.valid()) {
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
  }
  return control;
}

// Created in tab order: the check box, the log box, the button.
bool MainWindow::create_controls(HWND window, HINSTANCE instance) {
  // The title bar and the task switcher show the program's icon.
  SendMessageW(window, WM_SETICON, ICON_BIG,
               reinterpret_cast<LPARAM>(load_icon(instance, SM_CXICON, SM_CYICON)));
  SendMessageW(window, WM_SETICON, ICON_SMALL,
               reinterpret_cast<LPARAM>(load_icon(instance, SM_CXSMICON, SM_CYSMICON)));
  font_ = UniqueFont(create_message_font());
  not_change_date_ = create_control(window, instance, L"BUTTON", kNotChangeDateCaption,
                                    BS_AUTOCHECKBOX, 0, IDC_NOT_CHANGE_DATE, kNotChangeDateRect);
  list_ = create_control(window, instance, L"EDIT", kInitialLog,
                         ES_MULTILINE | ES_AUTOVSCROLL | ES_READONLY | WS_VSCROLL, WS_EX_CLIENTEDGE,
                         IDC_LIST, kListRect);
  about_ = create_control(window, instance, L"BUTTON", kAboutCaption, BS_PUSHBUTTON, 0, IDC_ABOUT,
                          kAboutRect);
  if (not_change_date_ == nullptr || list_ == nullptr || about_ == nullptr) return false;
  // The edit control's own limit would cut a long run's log short.
  SendMessageW(list_, EM_SETLIMITTEXT, 0, 0);
  // Greyed until the menu opens with a run to take back.
  HMENU system_menu = GetSystemMenu(window, FALSE);
  if (system_menu != nullptr) {
    AppendMenuW(system_menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(system_menu, MF_STRING | MF_GRAYED, kTakeBackCommand, kTakeBackCaption);
  }
  return true;
}

void MainWindow::show_help() { SetWindowTextW(list_, kHelpText); }

// The edit control's own append, whose cost does not grow with the log;
// then caret and view to its end. Messages to the log box itself, so that
// no other window or program can receive them, whatever has the focus.
void MainWindow::show_lines(std::string_view text) {
  SetFocus(list_);
  const int end = GetWindowTextLengthW(list_);
  SendMessageW(list_, EM_SETSEL, end, end);
  SendMessageW(list_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(wide_from_utf8(text).c_str()));
  SendMessageW(list_, EM_SCROLLCARET, 0, 0);
}

bool MainWindow::keep_dates() const {
  return SendMessageW(not_change_date_, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void MainWindow::set_keep_dates(bool checked) {
  SendMessageW(not_change_date_, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

}  // namespace quadrell::ui
