/* Runs the command line it is given as a child process and exits with the
 * child's exit code, taken from the Wine server.
 *
 * Wine SIGKILLs a process whose Unix side is still tearing down (graphics
 * drivers, atexit handlers) shortly after its last thread has ended; on a busy
 * machine a test program that passed then reports "Killed" to the shell. The
 * server records the real exit code first, so asking it through a small parent
 * that loads nothing heavy gives the true result. */
#include <windows.h>

static const wchar_t* after_first_argument(const wchar_t* line) {
  if (*line == L'"') {
    ++line;
    while (*line && *line != L'"') ++line;
    if (*line) ++line;
  } else {
    while (*line && *line != L' ' && *line != L'\t') ++line;
  }
  while (*line == L' ' || *line == L'\t') ++line;
  return line;
}

int wmain(void) {
  const wchar_t* rest = after_first_argument(GetCommandLineW());
  if (!*rest) return 2;
  wchar_t* command = (wchar_t*)HeapAlloc(GetProcessHeap(), 0, (lstrlenW(rest) + 1) * sizeof(wchar_t));
  if (!command) return 2;
  lstrcpyW(command, rest);

  STARTUPINFOW si = {0};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  si.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION pi;
  if (!CreateProcessW(NULL, command, NULL, NULL, TRUE, 0, NULL, NULL, &si, &pi)) {
    DWORD error = GetLastError();
    HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    char text[96];
    DWORD written;
    int n = wsprintfA(text, "wine-launch: CreateProcess failed (%lu)\r\n", error);
    WriteFile(err, text, (DWORD)n, &written, NULL);
    return 127;
  }
  WaitForSingleObject(pi.hProcess, INFINITE);
  DWORD code = 1;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return (int)code;
}
