#include "win32/devserver.h"

#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>

namespace vx::testing {
namespace {

namespace fs = std::filesystem;

std::string read_all(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

bool is_record(const fs::path& path) {
  const std::wstring name = path.filename().wstring();
  return name.size() == 11 && name.ends_with(L".json") &&
         std::all_of(name.begin(), name.begin() + 6, [](wchar_t c) { return c >= L'0' && c <= L'9'; });
}

}  // namespace

std::optional<std::string> Recorded::header(std::string_view name) const {
  for (const auto& [key, value] : headers)
    if (key.size() == name.size() &&
        std::equal(key.begin(), key.end(), name.begin(), [](char a, char b) { return (a | 32) == (b | 32); }))
      return value;
  return std::nullopt;
}

std::optional<DevServer> DevServer::find() {
  wchar_t unix_path[4096];
  const DWORD n = GetEnvironmentVariableW(L"VORLIX_DEVSERVER_DIR", unix_path, 4096);
  if (n == 0 || n >= 4096 || unix_path[0] != L'/') return std::nullopt;
  // Wine shows the host's root as drive Z:.
  std::wstring folder = L"Z:" + std::wstring(unix_path, n);
  std::replace(folder.begin(), folder.end(), L'/', L'\\');
  DevServer server;
  server.folder_ = folder;
  return server;
}

bool DevServer::trust() const {
  static const bool trusted = [this] {
    wchar_t self[MAX_PATH];
    const std::wstring path(self, GetModuleFileNameW(nullptr, self, MAX_PATH));
    std::wstring command =
        L"\"" + path.substr(0, path.find_last_of(L'\\') + 1) + L"trust-cert.exe\" \"" + folder_ + L"\\cert\\cert.pem\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
      return false;
    WaitForSingleObject(process.hProcess, 60000);
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return code == 0;
  }();
  return trusted;
}

bool DevServer::set_scenario(const std::string& json) const {
  const fs::path target = fs::path(folder_) / L"record" / L"scenario.json";
  const fs::path temporary = fs::path(folder_) / L"record" / L"scenario.json.new";
  {
    std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
    file << json;
    if (!file) return false;
  }
  return MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

std::vector<Recorded> DevServer::requests() const {
  std::vector<fs::path> files;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(fs::path(folder_) / L"record", error))
    if (is_record(entry.path())) files.push_back(entry.path());
  std::ranges::sort(files);
  std::vector<Recorded> out;
  for (const fs::path& file : files) {
    const nlohmann::json record = nlohmann::json::parse(read_all(file), nullptr, false);
    if (record.is_discarded()) continue;
    Recorded r;
    r.method = record.value("method", "");
    r.path = record.value("path", "");
    r.body = record.value("body", "");
    for (const auto& pair : record.value("headers", nlohmann::json::array()))
      if (pair.is_array() && pair.size() == 2)
        r.headers.emplace_back(pair[0].get<std::string>(), pair[1].get<std::string>());
    out.push_back(std::move(r));
  }
  return out;
}

std::vector<Recorded> DevServer::wait_for_requests(std::size_t count, unsigned ms) const {
  const ULONGLONG until = GetTickCount64() + ms;
  std::vector<Recorded> got = requests();
  while (got.size() < count && GetTickCount64() < until) {
    Sleep(50);
    got = requests();
  }
  return got;
}

}  // namespace vx::testing
