#include "win32/view_window.h"

#include <windows.h>
#include <commctrl.h>
#include <d2d1.h>
#include <dwmapi.h>
#include <imm.h>
#include <objbase.h>
#include <windowsx.h>
#include <wrl/client.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "common/win32/text.h"
#include "ostrel/ostrel.h"
#include "ostrel/text/measure.h"
#include "ostrel/text/win32/font_system.h"
#include "paint/win32/d2d_player.h"
#include "src/frame.h"
#include "src/keyboard.h"
#include "src/memory_usage.h"
#include "src/pointer.h"
#include "src/select_popup.h"
#include "src/text_box.h"
#include "src/tooltip.h"
#include "src/view.h"
#include "win32/accessible.h"
#include "win32/clipboard.h"
#include "win32/text_painter.h"

namespace ostrel::win32 {
namespace {

using Microsoft::WRL::ComPtr;

constexpr wchar_t class_name[] = L"OstrelUIView";
constexpr UINT frame_message = WM_APP + 0x3F0;      // private: the frame worker's "draw now"
constexpr UINT presented_message = WM_APP + 0x3F1;  // private: the presenter's "drawing ended"
constexpr double frame_interval_ms = 1000.0 / 60;
// Windows 10 1803 and later; older systems and Wine fall back to a plain timer.
constexpr DWORD high_resolution_timer = 0x00000002;  // CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
constexpr char inactive_class[] = "ui-window-inactive";
constexpr UINT_PTR tooltip_timer = 1;
constexpr UINT_PTR caret_timer = 2;
// The system's texts of a text box's menu, in EditCommand order; separators after Undo and Delete.
constexpr const wchar_t* edit_menu_labels[edit_command_count] = {L"&Undo",  L"Cu&t",    L"&Copy",
                                                                 L"&Paste", L"&Delete", L"Select &All"};

struct MenuDestroyer {
  void operator()(HMENU menu) const { DestroyMenu(menu); }
};
using UniqueMenu = std::unique_ptr<std::remove_pointer_t<HMENU>, MenuDestroyer>;

// The input-method context of a window, released when done.
class ImeContext {
 public:
  explicit ImeContext(HWND hwnd) : hwnd_(hwnd), context_(ImmGetContext(hwnd)) {}
  ~ImeContext() {
    if (context_) ImmReleaseContext(hwnd_, context_);
  }
  ImeContext(const ImeContext&) = delete;
  ImeContext& operator=(const ImeContext&) = delete;
  explicit operator bool() const { return context_ != nullptr; }
  // The composition's text or result (GCS_COMPSTR, GCS_RESULTSTR).
  std::string string(DWORD which) const {
    const LONG bytes = ImmGetCompositionStringW(context_, which, nullptr, 0);
    if (bytes <= 0) return {};
    std::wstring units(static_cast<std::size_t>(bytes) / sizeof(wchar_t), L'\0');
    const LONG got = ImmGetCompositionStringW(context_, which, units.data(), static_cast<DWORD>(bytes));
    if (got <= 0) return {};
    units.resize(std::min(units.size(), static_cast<std::size_t>(got) / sizeof(wchar_t)));
    return vx::win32::narrow(units);
  }
  HIMC get() const { return context_; }

 private:
  HWND hwnd_;
  HIMC context_;
};

// The two switches, read once per process at the first frame.
struct Switches {
  bool full_paint = false;
  bool frame_log = false;
};

bool environment_set(const wchar_t* name) {
  wchar_t value[2];
  SetLastError(ERROR_SUCCESS);
  return GetEnvironmentVariableW(name, value, 2) > 0 || GetLastError() != ERROR_ENVVAR_NOT_FOUND;
}

const Switches& switches() {
  static const Switches s{environment_set(L"OSTREL_FULLPAINT"), environment_set(L"OSTREL_FRAMELOG")};
  return s;
}

double seconds_now() {
  static const double frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return static_cast<double>(f.QuadPart);
  }();
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return static_cast<double>(t.QuadPart) / frequency;
}

struct HandleCloser {
  void operator()(HANDLE h) const {
    if (h) CloseHandle(h);
  }
};
using UniqueHandle = std::unique_ptr<void, HandleCloser>;

// Waits on a waitable timer: high resolution where the system has it.
class Pacer {
 public:
  Pacer() {
    timer_.reset(CreateWaitableTimerExW(nullptr, nullptr, high_resolution_timer, TIMER_ALL_ACCESS));
    if (!timer_) timer_.reset(CreateWaitableTimerExW(nullptr, nullptr, 0, TIMER_ALL_ACCESS));
  }
  void wait(double milliseconds) {
    if (!timer_) {
      Sleep(static_cast<DWORD>(milliseconds));
      return;
    }
    LARGE_INTEGER due;
    due.QuadPart = -static_cast<LONGLONG>(milliseconds * 10000);  // relative, in 100 ns
    if (SetWaitableTimer(timer_.get(), &due, 0, nullptr, nullptr, FALSE))
      WaitForSingleObject(timer_.get(), INFINITE);
    else
      Sleep(static_cast<DWORD>(milliseconds));
  }

 private:
  UniqueHandle timer_;
};

// Runs one job at a time on a thread of its own: the end of each partial
// frame's drawing, while the window thread goes back to its messages.
class Presenter {
 public:
  Presenter() : thread_([this] { run(); }) {}
  ~Presenter() {
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    changed_.notify_all();
    thread_.join();
  }
  Presenter(const Presenter&) = delete;
  Presenter& operator=(const Presenter&) = delete;

  // Waits for the job before, if any, then starts this one.
  void start(std::function<void()> job) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return !job_; });
    job_ = std::move(job);
    changed_.notify_all();
  }
  // Returns once no job is running.
  void wait() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return !job_; });
  }

 private:
  void run() {
    std::unique_lock lock(mutex_);
    for (;;) {
      changed_.wait(lock, [this] { return stop_ || job_; });
      if (!job_) return;  // stopping, with nothing left to do
      std::function<void()> job = job_;
      lock.unlock();
      job();
      lock.lock();
      job_ = nullptr;
      changed_.notify_all();
    }
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  std::function<void()> job_;  // set while a job waits or runs
  bool stop_ = false;
  std::thread thread_;  // last: it starts at once and uses the members above
};

// Everything a view needs on Windows, owned through View::platform_data.
class ViewWindow final : public AccessibleHost {
 public:
  explicit ViewWindow(View& view) : view_(view), wake_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    com_initialised_ = SUCCEEDED(com);
    fonts_ = text::win32::FontSystem::create();
    if (fonts_) painter_ = std::make_unique<GlyphTextPainter>(*fonts_);
    measurer_ = std::make_unique<text::MeasureCache>(fonts_ ? static_cast<text::TextMeasurer&>(*fonts_) : fake_font_);
    D2D1CreateFactory(D2D1_FACTORY_TYPE_SINGLE_THREADED, __uuidof(ID2D1Factory), nullptr,
                      reinterpret_cast<void**>(factory_.GetAddressOf()));
    player_.set_document(view_.document.get());
    player_.set_text_painter(painter_.get());
    player_.set_background({255, 255, 255, 255});
  }

  ~ViewWindow() {
    accessibility_.reset();  // clients' objects are cut off while COM is still joined
    settle_frame(false);     // nothing may be drawing while the window and the picture go
    stop_worker();
    if (top_) RemoveWindowSubclass(top_, top_level_procedure, reinterpret_cast<UINT_PTR>(this));
    if (hwnd_) {
      SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
      DestroyWindow(hwnd_);
    }
    player_.set_target(nullptr);
    target_.Reset();
    picture_.reset();
    if (com_initialised_) CoUninitialize();
  }

  // The worker starts once the window exists; requests made while it is
  // being created (its first WM_SIZE) wait in the event.
  void set_window(HWND hwnd) {
    hwnd_ = hwnd;
    // Child windows hear nothing of activation: the top-level window's
    // messages are watched for it, beside whatever else handles them.
    const HWND top = GetAncestor(hwnd, GA_ROOT);
    if (top && top != hwnd &&
        SetWindowSubclass(top, top_level_procedure, reinterpret_cast<UINT_PTR>(this),
                          reinterpret_cast<DWORD_PTR>(this)))
      top_ = top;
    set_window_active(top && GetActiveWindow() == top);
    clipboard_ = SystemClipboard(hwnd);
    ImmAssociateContextEx(hwnd, nullptr, 0);  // no input method until a text box has focus
    input_method_on_ = false;
    worker_ = std::thread([this] { pace(); });
  }

  void add_memory_usage(MemoryUsage& out) const {
    if (driver_)
      driver_->add_memory_usage(out);
    else
      add_document_usage(*view_.document, out);
    out.text_widths += measurer_->memory_usage();
    if (fonts_) {
      const text::win32::FontSystem::Usage fonts = fonts_->memory_usage();
      out.shaped_text += fonts.shaped;
      out.fonts += fonts.catalog;
    }
    if (painter_) out.glyphs += painter_->memory_usage();
    const paint::win32::D2DPlayer::Usage player = player_.memory_usage();
    out.text_bitmaps += player.text_bitmaps;
    out.cached_texts += player.texts;
    out.image_bitmaps += player.image_bitmaps;
    out.offscreen += player.offscreen;
    if (picture_) out.picture += std::size_t{picture_->width} * picture_->height * 4;
  }

  // The layout part of a frame, now; the frame that follows paints it.
  void update_layout() {
    const Viewport at = viewport();
    driver().update_layout(seconds_now(), at.width, at.height);
  }

  void request_frame() {
    if (!pending_.exchange(true)) SetEvent(wake_.get());
  }

  LRESULT handle(UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
      case frame_message:
        frame();
        return 0;
      case presented_message:
        settle_frame();
        return 0;
      case WM_PAINT: {
        // Uncovered parts come from the kept picture; before the first frame there is none yet.
        settle_frame();  // a frame still being drawn ends first
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd_, &ps);
        if (picture_) copy_to(dc, ps.rcPaint);
        EndPaint(hwnd_, &ps);
        if (!picture_) request_frame();
        return 0;
      }
      case WM_ERASEBKGND:
        return 1;  // the frame paints every pixel
      case WM_GETOBJECT:
        // Made for the first client that asks: until then the document tells no one of its changes.
        if (static_cast<LONG>(lparam) == OBJID_CLIENT) {
          if (!accessibility_) accessibility_ = std::make_unique<Accessibility>(hwnd_, *this);
          if (const LRESULT object = accessibility_->get_object(wparam, lparam)) return object;
        }
        return DefWindowProcW(hwnd_, message, wparam, lparam);
      case WM_SIZE:
        if (popup_) popup_->close();  // it was placed for the old size
        force_full_ = true;           // the kept picture is remade at the new size
        request_frame();
        return 0;
      case WM_DPICHANGED_AFTERPARENT:
        force_full_ = true;
        request_frame();
        return 0;
      case WM_MOUSEMOVE:
        if (!tracking_leave_) {
          TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, hwnd_, 0};
          tracking_leave_ = TrackMouseEvent(&track) != FALSE;
        }
        return mouse(
            [&](Pointer& p, float x, float y) {
              p.move(x, y, modifiers());
              const double now = seconds_now();
              tooltip_->pointer_at(p.hovered(), x, y, now);
              if (const std::optional<double> wait = tooltip_->update(now)) wake_tooltip(*wait);
              show_cursor();  // WM_SETCURSOR came before this move: the cursor for where the pointer is now
            },
            lparam);
      case WM_MOUSELEAVE:
        tracking_leave_ = false;
        if (pointer_) pointer_->leave();
        if (tooltip_) tooltip_->hide();
        after_input();
        return 0;
      case WM_SETCURSOR:
        if (LOWORD(lparam) == HTCLIENT && pointer_) {
          show_cursor();
          return TRUE;
        }
        return DefWindowProcW(hwnd_, message, wparam, lparam);
      case WM_CAPTURECHANGED:
        // Another window took the mouse mid-press: no release will come.
        if (pointer_ && reinterpret_cast<HWND>(lparam) != hwnd_) {
          pointer_->cancel();
          after_input();
        }
        return 0;
      case WM_TIMER:
        if (wparam == caret_timer) {
          blink();
          return 0;
        }
        if (wparam != tooltip_timer) return DefWindowProcW(hwnd_, message, wparam, lparam);
        KillTimer(hwnd_, tooltip_timer);
        request_frame();  // the frame shows the tooltip that is due
        return 0;
      case WM_SETFOCUS:
      case WM_KILLFOCUS:
        if (input()) editor_->set_window_focused(message == WM_SETFOCUS);
        if (message == WM_KILLFOCUS && popup_) popup_->close();  // an open list goes with the keyboard
        after_input();
        return 0;
      case WM_CHAR: {
        if (!input()) return 0;
        const auto unit = static_cast<wchar_t>(wparam);
        // Characters outside the first plane come as two messages, one per surrogate.
        if (IS_HIGH_SURROGATE(unit)) {
          high_surrogate_ = unit;
          return 0;
        }
        std::wstring units;
        if (IS_LOW_SURROGATE(unit) && high_surrogate_) units += high_surrogate_;
        units += unit;
        high_surrogate_ = 0;
        keyboard_->characters(vx::win32::narrow(units));
        after_input();
        return 0;
      }
      case WM_CONTEXTMENU:
        context_menu(lparam);
        return 0;
      case WM_IME_SETCONTEXT:
        // Text boxes draw the composition themselves, at the caret.
        return DefWindowProcW(hwnd_, message, wparam, lparam & ~static_cast<LPARAM>(ISC_SHOWUICOMPOSITIONWINDOW));
      case WM_IME_STARTCOMPOSITION:
        if (!input() || !editor_->editing()) return DefWindowProcW(hwnd_, message, wparam, lparam);
        editor_->composition_start();
        place_input_method();
        after_input();
        return 0;
      case WM_IME_COMPOSITION: {
        if (!input() || !editor_->editing()) return DefWindowProcW(hwnd_, message, wparam, lparam);
        const ImeContext context(hwnd_);
        if (!context) return 0;
        // A Korean input method finishes one syllable and starts the next in one message.
        if (lparam & GCS_RESULTSTR) editor_->composition_end(context.string(GCS_RESULTSTR));
        if (lparam & GCS_COMPSTR) editor_->composition_update(context.string(GCS_COMPSTR));
        place_input_method();
        after_input();
        return 0;  // the result went in here: no WM_IME_CHAR
      }
      case WM_IME_ENDCOMPOSITION:
        if (input() && editor_->composing()) editor_->composition_end({});  // cancelled
        after_input();
        return DefWindowProcW(hwnd_, message, wparam, lparam);
      case WM_LBUTTONDOWN:
      case WM_LBUTTONDBLCLK:
      case WM_RBUTTONDOWN:
      case WM_MBUTTONDOWN: {
        SetCapture(hwnd_);                         // a drag that leaves the view still ends here
        if (GetFocus() != hwnd_) SetFocus(hwnd_);  // keys go to what was clicked
        if (tooltip_) tooltip_->hide();
        const int button = message == WM_RBUTTONDOWN ? 2 : message == WM_MBUTTONDOWN ? 1 : 0;
        const bool twice = message == WM_LBUTTONDBLCLK;
        return mouse([&](Pointer& p, float x, float y) { p.down(button, x, y, modifiers(), twice); }, lparam);
      }
      case WM_LBUTTONUP:
      case WM_RBUTTONUP:
      case WM_MBUTTONUP: {
        const int button = message == WM_RBUTTONUP ? 2 : message == WM_MBUTTONUP ? 1 : 0;
        const LRESULT result = mouse([&](Pointer& p, float x, float y) { p.up(button, x, y, modifiers()); }, lparam);
        // After the release is handled: letting go of the mouse first would cancel the press.
        if (GetCapture() == hwnd_) ReleaseCapture();
        if (message == WM_RBUTTONUP) DefWindowProcW(hwnd_, message, wparam, lparam);  // sends WM_CONTEXTMENU
        return result;
      }
      case WM_GETDLGCODE:
        return DLGC_WANTALLKEYS | DLGC_WANTARROWS | DLGC_WANTCHARS | DLGC_WANTTAB;
      case WM_KEYDOWN:
      case WM_KEYUP:
        if (message == WM_KEYDOWN && tooltip_) tooltip_->hide();  // the tooltip goes with a key press
        key(message == WM_KEYDOWN, wparam);
        return 0;
      case WM_SYSKEYDOWN:
      case WM_SYSKEYUP:
        // Alt and F10 combinations reach the page too, and still work the system's menus.
        key(message == WM_SYSKEYDOWN, wparam);
        return DefWindowProcW(hwnd_, message, wparam, lparam);
      case WM_MOUSEWHEEL: {
        POINT at{static_cast<short>(LOWORD(lparam)), static_cast<short>(HIWORD(lparam))};
        ScreenToClient(hwnd_, &at);  // wheel positions come in screen coordinates
        const float notches = static_cast<float>(GET_WHEEL_DELTA_WPARAM(wparam)) / WHEEL_DELTA;
        if (tooltip_) tooltip_->hide();
        return mouse([&](Pointer& p, float x, float y) { p.wheel(notches, x, y, modifiers()); },
                     MAKELPARAM(at.x, at.y));
      }
      default:
        return DefWindowProcW(hwnd_, message, wparam, lparam);
    }
  }

 private:
  // The frame worker: waits for a request, lets the frame interval pass and
  // the compositor flush, then asks the window thread to draw.
  void pace() {
    Pacer pacer;
    while (WaitForSingleObject(wake_.get(), INFINITE) == WAIT_OBJECT_0 && !stop_) {
      pacer.wait(frame_interval_ms - 2);
      if (stop_) break;
      if (FAILED(DwmFlush())) pacer.wait(0.5);
      if (stop_) break;
      PostMessageW(hwnd_, frame_message, 0, 0);
    }
  }

  void stop_worker() {
    if (!worker_.joinable()) return;
    stop_ = true;
    SetEvent(wake_.get());
    worker_.join();
  }

  static const wchar_t* cursor_for(style::Cursor cursor) {
    switch (cursor) {
      case style::Cursor::pointer:
      case style::Cursor::grab:
        return IDC_HAND;
      case style::Cursor::text:
        return IDC_IBEAM;
      case style::Cursor::move:
        return IDC_SIZEALL;
      case style::Cursor::not_allowed:
        return IDC_NO;
      case style::Cursor::col_resize:
      case style::Cursor::ew_resize:
        return IDC_SIZEWE;
      case style::Cursor::row_resize:
      case style::Cursor::ns_resize:
        return IDC_SIZENS;
      case style::Cursor::wait:
        return IDC_WAIT;
      case style::Cursor::progress:
        return IDC_APPSTARTING;
      case style::Cursor::help:
        return IDC_HELP;
      case style::Cursor::crosshair:
        return IDC_CROSS;
      default:
        return IDC_ARROW;
    }
  }

  void show_cursor() const { SetCursor(LoadCursorW(nullptr, cursor_for(pointer_->cursor()))); }

  static std::uint32_t modifiers() {
    return (GetKeyState(VK_SHIFT) < 0 ? modifier_shift : 0u) | (GetKeyState(VK_CONTROL) < 0 ? modifier_ctrl : 0u) |
           (GetKeyState(VK_MENU) < 0 ? modifier_alt : 0u);
  }

  // A key went down or up: the page hears it.
  void key(bool down, WPARAM code) {
    if (!input()) return;
    if (down)
      keyboard_->key_down(static_cast<std::uint32_t>(code), modifiers());
    else
      keyboard_->key_up(static_cast<std::uint32_t>(code), modifiers());
    after_input();
  }

  // Mouse and keyboard state, once the document has been laid out.
  bool input() {
    if (!driver_) return false;
    if (!editor_) editor_ = std::make_unique<TextEditor>(*view_.document, driver_->layout(), &clipboard_);
    if (!popup_) popup_ = std::make_unique<SelectPopup>(*view_.document, driver_->layout());
    if (!keyboard_)
      keyboard_ = std::make_unique<Keyboard>(*view_.document, driver_->layout(), editor_.get(), popup_.get());
    if (!pointer_) pointer_ = std::make_unique<Pointer>(*view_.document, driver_->layout(), keyboard_.get());
    if (!tooltip_) tooltip_ = std::make_unique<Tooltip>(*view_.document);
    return true;
  }

  void wake_tooltip(double seconds) {
    SetTimer(hwnd_, tooltip_timer, static_cast<UINT>(std::ceil(seconds * 1000)), nullptr);
  }

  static LRESULT CALLBACK top_level_procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR id,
                                              DWORD_PTR data) {
    if (message == WM_ACTIVATE) reinterpret_cast<ViewWindow*>(data)->set_window_active(LOWORD(wparam) != WA_INACTIVE);
    if (message == WM_NCDESTROY) {
      RemoveWindowSubclass(hwnd, top_level_procedure, id);
      reinterpret_cast<ViewWindow*>(data)->top_ = nullptr;
    }
    return DefSubclassProc(hwnd, message, wparam, lparam);
  }

  // The root carries "ui-window-inactive" while the top-level window is inactive.
  void set_window_active(bool active) {
    Document& doc = *view_.document;
    doc.window_active = active;
    if (Node* root = document_root(&doc)) {
      if (active)
        remove_class(root, inactive_class, sizeof inactive_class - 1);
      else
        add_class(root, inactive_class, sizeof inactive_class - 1);
    }
    after_input();
  }

  // Mouse messages in CSS pixels, once the document has been laid out.
  template <class Action>
  LRESULT mouse(Action action, LPARAM lparam) {
    if (!input()) return 0;
    const float scale = view_.scale > 0 ? view_.scale : 1.0f;
    action(*pointer_, static_cast<float>(static_cast<short>(LOWORD(lparam))) / scale,
           static_cast<float>(static_cast<short>(HIWORD(lparam))) / scale);
    after_input();
    return 0;
  }

  void after_input() {
    if (editor_) {
      // The input method works only in text boxes, as in a browser, and the caret blinks there.
      const bool editing = editor_->editing() != nullptr;
      if (editing != input_method_on_) {
        ImmAssociateContextEx(hwnd_, nullptr, editing ? IACE_DEFAULT : 0);
        input_method_on_ = editing;
      }
      const bool blinking = editing && GetFocus() == hwnd_ && GetCaretBlinkTime() != INFINITE;
      if (blinking && !blinking_) SetTimer(hwnd_, caret_timer, GetCaretBlinkTime(), nullptr);
      if (!blinking && blinking_) KillTimer(hwnd_, caret_timer);
      blinking_ = blinking;
    }
    if (view_.document->wants_frame) request_frame();
    if (accessibility_) accessibility_->flush_events();
  }

  // The caret turns off and on while nothing happens; typing keeps it on.
  void blink() {
    if (!editor_) return;
    const bool busy = editor_->activity() != blink_activity_;
    blink_activity_ = editor_->activity();
    editor_->show_caret(busy || !view_.document->edit.caret_shown);
    after_input();
  }

  // The right button or the menu key: the page hears "contextmenu", and a
  // text box shows its own menu unless the page prevented it.
  void context_menu(LPARAM lparam) {
    if (!input()) return;
    const float scale = view_.scale > 0 ? view_.scale : 1.0f;
    POINT at{GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
    Node* target = nullptr;
    if (at.x == -1 && at.y == -1) {
      // From the keyboard: at the caret, or under the focused element.
      Rect r{0, 0, 0, 0};
      if (std::optional<Rect> caret = editor_->caret_rect())
        r = *caret;
      else if (Node* focused = keyboard_->focused())
        r = element_rect(focused);
      target = keyboard_->context_menu(r);
      at = {static_cast<LONG>(r.x * scale), static_cast<LONG>((r.y + r.height) * scale)};
      ClientToScreen(hwnd_, &at);
    } else {
      POINT client = at;
      ScreenToClient(hwnd_, &client);
      target = pointer_->context_menu(static_cast<float>(client.x) / scale, static_cast<float>(client.y) / scale,
                                      modifiers());
    }
    if (target && target == editor_->editing()) edit_menu(at);
    after_input();
  }

  void edit_menu(POINT at) {
    const UniqueMenu menu(CreatePopupMenu());
    if (!menu) return;
    const std::array<bool, edit_command_count> on = editor_->available();
    for (int i = 0; i < edit_command_count; ++i) {
      AppendMenuW(menu.get(), MF_STRING | (on[i] ? MF_ENABLED : MF_GRAYED), static_cast<UINT_PTR>(i + 1),
                  edit_menu_labels[i]);
      if (i == static_cast<int>(EditCommand::undo) || i == static_cast<int>(EditCommand::erase))
        AppendMenuW(menu.get(), MF_SEPARATOR, 0, nullptr);
    }
    const int chosen = static_cast<int>(
        TrackPopupMenu(menu.get(), TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, at.x, at.y, 0, hwnd_, nullptr));
    if (chosen >= 1 && chosen <= edit_command_count) editor_->run(static_cast<EditCommand>(chosen - 1));
  }

  // Puts the input method's windows at the caret, in device pixels.
  void place_input_method() {
    const std::optional<Rect> caret = editor_ ? editor_->caret_rect() : std::nullopt;
    if (!caret) return;
    const ImeContext context(hwnd_);
    if (!context) return;
    const float scale = view_.scale > 0 ? view_.scale : 1.0f;
    const LONG x = std::lround(caret->x * scale), y = std::lround(caret->y * scale);
    const LONG bottom = std::lround((caret->y + caret->height) * scale);
    COMPOSITIONFORM composition{CFS_POINT, {x, y}, {}};
    ImmSetCompositionWindow(context.get(), &composition);
    CANDIDATEFORM candidate{0, CFS_EXCLUDE, {x, bottom}, {x, y, x + 1, bottom}};
    ImmSetCandidateWindow(context.get(), &candidate);
  }

  // The client area in device pixels, the window's scale, and the size in CSS pixels.
  struct Viewport {
    RECT client;
    float scale, width, height;
  };
  Viewport viewport() const {
    Viewport at{};
    GetClientRect(hwnd_, &at.client);
    const UINT dpi = GetDpiForWindow(hwnd_);
    at.scale = dpi ? static_cast<float>(dpi) / 96 : 1.0f;
    at.width = static_cast<float>(at.client.right) / at.scale;
    at.height = static_cast<float>(at.client.bottom) / at.scale;
    return at;
  }

  FrameDriver& driver() {
    if (!driver_) driver_ = std::make_unique<FrameDriver>(*view_.document, *measurer_);
    return *driver_;
  }

  void frame() {
    pending_ = false;
    settle_frame();
    const Viewport at = viewport();
    const RECT& client = at.client;
    const float scale = at.scale, width = at.width, height = at.height;
    view_.scale = scale;
    FrameDriver& frames = driver();
    // A document loaded since the window lost activation gets the class too
    // (adding a class it has changes nothing).
    if (Node* root = document_root(view_.document.get()); root && !view_.document->window_active)
      add_class(root, inactive_class, sizeof inactive_class - 1);
    const bool full = force_full_ || switches().full_paint || scale != drawn_scale_;
    force_full_ = false;
    if (tooltip_) {
      if (const std::optional<double> wait = tooltip_->update(seconds_now())) wake_tooltip(*wait);
    }
    const FrameDriver::Result result = frames.run(seconds_now(), width, height, full);
    if (tooltip_) {
      tooltip_->fit(frames.layout(), width, height);
      after_input();  // moved back inside: one more frame
    }
    if (popup_) {
      popup_->fit(width, height);
      after_input();
    }

    const double start = seconds_now();
    if (result.region.width > 0 && result.region.height > 0) draw(result.region, client, scale);
    // A whole view (the first frame, a new size) is on screen when the frame
    // returns; only partial frames end on the presenter meanwhile.
    if (full) settle_frame();
    FrameStats& stats = frames.stats();
    stats.render = (seconds_now() - start) * 1000;
    if (switches().frame_log) {
      std::fputs(frame_log_line(stats).c_str(), stderr);
      std::fflush(stderr);
    }
    if (result.more) request_frame();
    if (editor_ && editor_->composing()) place_input_method();  // the caret may have moved with the layout
    if (accessibility_) accessibility_->flush_events();
  }

  // AccessibleHost: what the accessible objects ask of the view.
  Document& document() override { return *view_.document; }
  const layout::LayoutTree* current_layout() override {
    if (!driver_ || view_.document->layout_stale) update_layout();
    return &driver_->layout();
  }
  float scale() override { return view_.scale > 0 ? view_.scale : 1.0f; }
  Node* focused() override { return input() ? keyboard_->focused() : nullptr; }
  void focus(Node* element) override {
    if (!input()) return;
    keyboard_->focus(element);
    after_input();
  }
  // As the mouse would: focus, the button going down and up, then the click
  // with its default action, all on the element wherever it lies.
  void click(Node* element, float x, float y) override {
    if (!input()) return;
    const std::uint64_t serial = element->serial;
    keyboard_->focus_from_click(element);
    const EventInit at{.x = x, .y = y};
    if (alive(element, serial)) fire(event_mousedown, element, at);
    if (alive(element, serial)) fire(event_mouseup, element, at);
    if (alive(element, serial)) activate(element, at);
    after_input();
  }

  // The whole view as last drawn: a bitmap of GDI's, in a memory DC.
  struct Picture {
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ old = nullptr;
    UINT width = 0, height = 0;
    Picture(UINT w, UINT h) : width(w), height(h) {
      BITMAPINFO info{};
      info.bmiHeader.biSize = sizeof info.bmiHeader;
      info.bmiHeader.biWidth = static_cast<LONG>(w);
      info.bmiHeader.biHeight = -static_cast<LONG>(h);  // top-down rows
      info.bmiHeader.biPlanes = 1;
      info.bmiHeader.biBitCount = 32;
      info.bmiHeader.biCompression = BI_RGB;
      void* bits = nullptr;
      dc = CreateCompatibleDC(nullptr);
      bitmap = dc ? CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0) : nullptr;
      if (bitmap) old = SelectObject(dc, bitmap);
    }
    ~Picture() {
      if (old) SelectObject(dc, old);
      if (bitmap) DeleteObject(bitmap);
      if (dc) DeleteDC(dc);
    }
    Picture(const Picture&) = delete;
    Picture& operator=(const Picture&) = delete;
    explicit operator bool() const { return old != nullptr; }
  };

  // Frames draw what changed into the kept picture with a Direct2D target
  // bound to its DC, and copy that part to the window. A window's own target
  // need not keep its contents between frames and, under Wine, shows nothing
  // in a child window; a target whose pixels are read back through WIC costs
  // some 60 MB more there than one bound to a DC.
  void draw(const Rect& region, const RECT& client, float scale) {
    const UINT width = static_cast<UINT>(client.right), height = static_cast<UINT>(client.bottom);
    if (width == 0 || height == 0 || !factory_) return;
    if (!picture_ || !target_ || picture_->width != width || picture_->height != height) {
      player_.set_target(nullptr);
      if (!picture_ || picture_->width != width || picture_->height != height) {
        picture_.reset();
        auto made = std::make_unique<Picture>(width, height);
        if (!*made) return;
        picture_ = std::move(made);
      }
      if (!target_) {
        const D2D1_RENDER_TARGET_PROPERTIES properties =
            D2D1::RenderTargetProperties(D2D1_RENDER_TARGET_TYPE_DEFAULT,
                                         D2D1::PixelFormat(DXGI_FORMAT_B8G8R8A8_UNORM, D2D1_ALPHA_MODE_IGNORE), 96, 96);
        if (FAILED(factory_->CreateDCRenderTarget(&properties, target_.GetAddressOf()))) return;
      }
      const RECT whole{0, 0, static_cast<LONG>(width), static_cast<LONG>(height)};
      if (FAILED(target_->BindDC(picture_->dc, &whole))) {
        target_.Reset();
        return;
      }
      player_.set_target(target_.Get());
      drawn_scale_ = 0;  // a new picture holds nothing yet
    }
    player_.set_scale(scale);
    const Rect everything{0, 0, static_cast<float>(width) / scale, static_cast<float>(height) / scale};
    const Rect area = drawn_scale_ == scale ? region : everything;
    paint::win32::PlayResult result;
    if (!player_.record(driver_->display_list(), area, result)) return;
    drawn_scale_ = scale;
    // The changed part in device pixels, rounded outwards.
    const RECT part{static_cast<LONG>(area.x * scale), static_cast<LONG>(area.y * scale),
                    static_cast<LONG>(std::ceil((area.x + area.width) * scale)),
                    static_cast<LONG>(std::ceil((area.y + area.height) * scale))};
    // Direct2D does its work in EndDraw (under Wine, a flush to the GPU and a
    // copy to the picture); it runs on the presenter while this thread
    // handles input, and the part is copied to the window when it is over.
    // Until then nothing here touches the player, the target or the picture.
    presenting_ = true;
    presented_part_ = part;
    presenter_.start([this] {
      end_draw_result_ = player_.end_draw();
      PostMessageW(hwnd_, presented_message, 0, 0);  // lost with the window: settled at its end
    });
  }

  // Waits for the frame being presented, if any, takes its result and copies
  // what it drew to the window. A lost device drops the target: the next
  // frame makes a new one and draws everything.
  void settle_frame(bool copy = true) {
    if (!presenting_) return;
    presenter_.wait();
    presenting_ = false;
    if (player_.finish(end_draw_result_) == paint::win32::PlayResult::recreate_target) {
      target_.Reset();
      force_full_ = true;
      request_frame();
      return;
    }
    if (!copy || FAILED(end_draw_result_)) return;
    HDC dc = GetDC(hwnd_);
    copy_to(dc, presented_part_);
    ReleaseDC(hwnd_, dc);
  }

  // Copies part of the kept picture to a device context of the window.
  void copy_to(HDC dc, RECT part) {
    if (!picture_) return;
    part.left = std::max<LONG>(part.left, 0);
    part.top = std::max<LONG>(part.top, 0);
    part.right = std::min<LONG>(part.right, static_cast<LONG>(picture_->width));
    part.bottom = std::min<LONG>(part.bottom, static_cast<LONG>(picture_->height));
    if (part.right <= part.left || part.bottom <= part.top) return;
    BitBlt(dc, part.left, part.top, part.right - part.left, part.bottom - part.top, picture_->dc, part.left, part.top,
           SRCCOPY);
  }

  View& view_;
  HWND hwnd_ = nullptr;
  bool com_initialised_ = false;
  text::FakeFont fake_font_;  // measures when DirectWrite is missing, so layout still works
  std::unique_ptr<text::win32::FontSystem> fonts_;
  std::unique_ptr<text::MeasureCache> measurer_;
  std::unique_ptr<GlyphTextPainter> painter_;
  ComPtr<ID2D1Factory> factory_;
  std::unique_ptr<Picture> picture_;
  ComPtr<ID2D1DCRenderTarget> target_;  // draws into picture_
  paint::win32::D2DPlayer player_;
  Presenter presenter_;      // after what its jobs use, so it stops first
  bool presenting_ = false;  // a frame's EndDraw is on the presenter
  HRESULT end_draw_result_ = S_OK;
  RECT presented_part_{};  // what that frame drew, device px
  std::unique_ptr<FrameDriver> driver_;
  SystemClipboard clipboard_{nullptr};
  std::unique_ptr<TextEditor> editor_;  // after driver_: these read the driver's layout
  std::unique_ptr<SelectPopup> popup_;
  std::unique_ptr<Keyboard> keyboard_;
  std::unique_ptr<Pointer> pointer_;  // after keyboard_: it moves the focus
  std::unique_ptr<Tooltip> tooltip_;
  std::unique_ptr<Accessibility> accessibility_;  // after what it reads
  HWND top_ = nullptr;                            // the top-level window watched for activation
  bool tracking_leave_ = false;
  bool input_method_on_ = true;  // a new window has the default context
  bool blinking_ = false;
  std::uint64_t blink_activity_ = 0;
  wchar_t high_surrogate_ = 0;
  bool force_full_ = true;
  float drawn_scale_ = 0;

  UniqueHandle wake_;
  std::thread worker_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> pending_{false};
};

LRESULT CALLBACK window_procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* window = reinterpret_cast<ViewWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!window || message == WM_NCCREATE || message == WM_CREATE) return DefWindowProcW(hwnd, message, wparam, lparam);
  return window->handle(message, wparam, lparam);
}

class WindowsViews final : public ViewPlatform {
 public:
  int attach(View& view, void* parent) override {
    const HWND parent_window = static_cast<HWND>(parent);
    if (!IsWindow(parent_window)) {
      set_last_error("attach: parent is not a window");
      return status_window_failed;
    }
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    if (!registered_) {
      WNDCLASSEXW wc{};
      wc.cbSize = sizeof wc;
      wc.style = CS_DBLCLKS;
      wc.lpfnWndProc = window_procedure;
      wc.hInstance = instance;
      wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
      wc.lpszClassName = class_name;
      if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
        set_last_error("RegisterClassEx failed (%lu)", GetLastError());
        return status_window_failed;
      }
      registered_ = true;
    }
    auto window = std::make_unique<ViewWindow>(view);
    const DWORD style = WS_CHILD | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | (view.visible ? WS_VISIBLE : 0);
    const HWND hwnd = CreateWindowExW(0, class_name, L"", style, view.x, view.y, view.width, view.height, parent_window,
                                      nullptr, instance, window.get());
    if (!hwnd) {
      set_last_error("CreateWindowEx failed (%lu)", GetLastError());
      return status_window_failed;
    }
    window->set_window(hwnd);
    view.window = hwnd;
    view.platform_data = window.release();
    request_frame(view);
    return status_ok;
  }

  void detach(View& view) override {
    delete static_cast<ViewWindow*>(view.platform_data);  // stops the worker, then destroys the window
    view.platform_data = nullptr;
    view.window = nullptr;
  }

  void move(View& view) override {
    SetWindowPos(static_cast<HWND>(view.window), nullptr, view.x, view.y, view.width, view.height,
                 SWP_NOZORDER | SWP_NOACTIVATE | (view.visible ? SWP_SHOWWINDOW : SWP_HIDEWINDOW));
  }

  void request_frame(View& view) override {
    if (auto* window = static_cast<ViewWindow*>(view.platform_data)) window->request_frame();
  }

  void update_layout(View& view) override {
    if (auto* window = static_cast<ViewWindow*>(view.platform_data)) window->update_layout();
  }

 private:
  bool registered_ = false;
};

}  // namespace

bool memory_usage(HWND view_window, MemoryUsage& out) {
  wchar_t name[32] = {};
  if (!GetClassNameW(view_window, name, 32) || std::wstring_view(name) != class_name) return false;
  const auto* window = reinterpret_cast<const ViewWindow*>(GetWindowLongPtrW(view_window, GWLP_USERDATA));
  if (!window) return false;
  window->add_memory_usage(out);
  return true;
}

void use_windows_views() {
  static WindowsViews platform;
  set_view_platform(&platform);
}

}  // namespace ostrel::win32
