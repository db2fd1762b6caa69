// Vorlix.exe: start-up, single instance, the document in its window and the message loop.
#include <windows.h>

#include <objbase.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app.h"
#include "common/win32/text.h"
#include "common/win32/unique.h"
#include "crash/win32/reporter.h"
#include "i18n/lang.h"
#include "i18n/templates.h"
#include "main_window.h"
#include "network.h"
#include "win32/view_window.h"

namespace {

std::string system_locale() {
  wchar_t name[LOCALE_NAME_MAX_LENGTH];
  const int n = GetUserDefaultLocaleName(name, LOCALE_NAME_MAX_LENGTH);
  return n > 1 ? vx::win32::narrow(std::wstring_view(name, static_cast<std::size_t>(n - 1))) : std::string();
}

// A second start raises the first window and ends. The mutex handle stays
// open for the life of the first process on purpose.
bool another_instance_running() {
  HANDLE mutex = CreateMutexW(nullptr, FALSE, L"Local\\Vorlix.SingleInstance");
  if (!mutex || GetLastError() != ERROR_ALREADY_EXISTS) return false;
  if (HWND first = FindWindowW(vx::app::main_window_class, nullptr)) {
    if (IsIconic(first)) ShowWindow(first, SW_RESTORE);
    SetForegroundWindow(first);
  }
  return true;
}

std::optional<std::string> environment(const wchar_t* name) {
  const DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
  if (size == 0) return std::nullopt;
  std::wstring value(size, L'\0');
  value.resize(GetEnvironmentVariableW(name, value.data(), size));
  return vx::win32::narrow(value);
}

std::string text_of(std::string_view key, std::string_view language) {
  const std::optional<std::string_view> text = vx::i18n::lookup(key, language);
  return std::string(text ? *text : key);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  const std::string document = vx::i18n::compose_document();
  const std::vector<std::string> args = vx::win32::command_line_arguments();
  vx::app::Startup startup;
  startup.language = vx::i18n::choose_language(args, system_locale);
  vx::crash::win32::Settings crash;
  crash.program = "Vorlix";
  crash.version = std::string(vx::ui::program_version);
  crash.language = startup.language;
  crash.user_agent = "Mozilla/5.0 (Windows NT 10.0; Win64; x64)";
  crash.origin = VORLIX_SERVER_ORIGIN;
  crash.title = text_of("app.vorlix", startup.language);
  if (const vx::Result<> installed = vx::crash::win32::install(crash); !installed)
    std::fprintf(stderr, "[except] %s\n", installed.error().message.c_str());
  if (std::ranges::find(args, "--crash-test") != args.end()) vx::crash::win32::crash_test();
  if (another_instance_running()) return 0;
  startup.title = text_of("app.vorlix", startup.language);
  startup.html = vx::i18n::expand_template(document, startup.language);
  startup.css = vx::i18n::compose_style();
  const std::optional<std::string> version = environment(L"VORLIX_UPDATE_VERSION");
  startup.update = vx::ui::make_update_config(VORLIX_SERVER_ORIGIN, startup.title, startup.language,
                                              version ? std::optional<std::string_view>(*version) : std::nullopt);
  startup.mode = vx::process::run_mode_from_args(args);

  SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
  const vx::win32::ComApartment com;
  ostrel::win32::use_windows_views();
  // A window or view that cannot be made ends the program quietly.
  if (const std::unique_ptr<vx::app::App> app = vx::app::App::create(instance, std::move(startup))) {
    vx::app::start_update_check(app->window(), app->context().update);
    app->run();
  }
  return 0;
}
