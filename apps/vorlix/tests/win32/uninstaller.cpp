// An uninstaller for the bundle page's tests: it notes how it was started (its
// arguments and the program that started it) beside itself, and ends.
#include <windows.h>

#include <tlhelp32.h>

#include <string>

namespace {

// The file name of the process that started this one; empty when unknown.
std::wstring parent_name() {
  const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return {};
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  DWORD parent = 0;
  for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
    if (entry.th32ProcessID == GetCurrentProcessId()) parent = entry.th32ParentProcessID;
  std::wstring name;
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
    if (entry.th32ProcessID == parent) name = entry.szExeFile;
  CloseHandle(snapshot);
  return name;
}

}  // namespace

int main() {
  // The command line after the program's own name.
  const wchar_t* args = GetCommandLineW();
  const bool quoted = *args == L'"';
  args += quoted ? 1 : 0;
  while (*args && *args != (quoted ? L'"' : L' ')) ++args;
  if (*args == L'"') ++args;
  while (*args == L' ') ++args;

  wchar_t self[MAX_PATH];
  std::wstring log(self, GetModuleFileNameW(nullptr, self, MAX_PATH));
  log = log.substr(0, log.find_last_of(L'\\') + 1) + L"vorlix-test-uninstaller.log";
  const std::wstring line = std::wstring(args) + L"|" + parent_name() + L"\n";
  const HANDLE file = CreateFileW(log.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  const int size =
      WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), bytes.data(), size, nullptr, nullptr);
  DWORD written = 0;
  WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
  return 0;
}
