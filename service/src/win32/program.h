// The running companion: one object from start to exit, owning its tray
// window, icon, single-instance mutex and update check.
#pragma once

#include <windows.h>

#include <chrono>
#include <span>
#include <string>

#include "common/win32/unique.h"
#include "service/companion.h"
#include "service/translate.h"
#include "update_worker.h"

namespace vx::service::win32 {

inline constexpr wchar_t tray_window_class[] = L"SvcVorlix";
inline constexpr wchar_t instance_mutex[] = L"VorlixServiceMutex";
inline constexpr wchar_t main_window_class[] = L"TFrmVorlix";

inline constexpr UINT check_done_message = WM_APP + 1;
inline constexpr UINT tray_message = WM_APP + 2;
inline constexpr UINT tray_icon_id = 1;

// Menu commands.
inline constexpr UINT command_show = 100, command_exception_list = 101, command_about = 102, command_quit = 103;

// What differs between the product and its test build.
struct Setup {
  std::string report_origin;  // the update check asks <origin>/vorlix.php
  std::string web_site;       // opened by "About" and when the main program is missing
  std::chrono::milliseconds retry_pause{10'000};
};

class Program {
 public:
  explicit Program(Setup setup);
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;
  ~Program();

  // The whole run, from the command line's arguments (without the program's
  // own name) to the exit code.
  int run(std::span<const std::string> args);

 private:
  static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT handle(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

  bool create_window();
  void add_tray_icon();
  void show_menu();
  void start_check();
  void start_or_raise_main();
  void open_exception_list();
  std::string text(std::string_view korean) const;

  Setup setup_;
  std::string language_ = "en";
  TranslationTable table_;
  std::string main_path_;
  std::string main_version_;  // "a.b.c.d", "0.0.0.0" when the file has none
  vx::win32::UniqueHandle mutex_;
  HWND window_ = nullptr;
  UINT taskbar_created_ = 0;
  UpdateCheck check_;
};

}  // namespace vx::service::win32
