// Programs the Windows tests start: found beside the test programs, ended
// when the test is done, their standard error kept in a file.
#pragma once

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace vx::testing {

// A program in the folder of the test programs.
inline std::wstring beside_tests(const wchar_t* name) {
  wchar_t self[MAX_PATH];
  const DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring path(self, n);
  return path.substr(0, path.find_last_of(L'\\') + 1) + name;
}

struct Process {
  PROCESS_INFORMATION info{};
  Process() = default;
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;
  ~Process() {
    if (info.hProcess) {
      if (WaitForSingleObject(info.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(info.hProcess, 1);
      CloseHandle(info.hProcess);
      CloseHandle(info.hThread);
    }
  }
  // `error_log`, when given, receives the program's standard error.
  bool start(const std::wstring& exe, const std::wstring& arguments = {}, const std::wstring& error_log = {}) {
    STARTUPINFOW si{};
    si.cb = sizeof si;
    HANDLE log = INVALID_HANDLE_VALUE;
    if (!error_log.empty()) {
      SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
      log = CreateFileW(error_log.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, CREATE_ALWAYS,
                        FILE_ATTRIBUTE_NORMAL, nullptr);
      si.dwFlags = STARTF_USESTDHANDLES;
      si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
      si.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
      si.hStdError = log;
    }
    std::wstring cmd = L"\"" + exe + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
    const bool started = CreateProcessW(exe.c_str(), cmd.data(), nullptr, nullptr, log != INVALID_HANDLE_VALUE, 0,
                                        nullptr, nullptr, &si, &info);
    if (log != INVALID_HANDLE_VALUE) CloseHandle(log);
    return started;
  }
  DWORD wait_exit(DWORD ms) {
    if (WaitForSingleObject(info.hProcess, ms) != WAIT_OBJECT_0) return STILL_ACTIVE;
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(info.hProcess, &code);
    return code;
  }
};

// A file a program wrote (its standard error, a list), with Wine's CR LF as LF.
inline std::string read_text(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::erase(text, '\r');
  return text;
}

// Waits until the file holds `text`: a program logs in its own time.
inline bool file_has(const std::filesystem::path& path, const std::string& text, unsigned ms = 20000) {
  const ULONGLONG until = GetTickCount64() + ms;
  while (read_text(path).find(text) == std::string::npos) {
    if (GetTickCount64() > until) return false;
    Sleep(50);
  }
  return true;
}

}  // namespace vx::testing
