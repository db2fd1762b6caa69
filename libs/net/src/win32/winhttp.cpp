#include "net/win32/winhttp.h"

#include <windows.h>

#include <winhttp.h>

#include <atomic>
#include <string_view>

#include "common/win32/error_text.h"
#include "common/win32/text.h"

namespace vx::net::win32 {
namespace {

using vx::win32::widen;

// Our texts for the codes a user meets; the system's own come first.
struct CodeText {
  std::uint32_t code;
  std::string_view text;
};
constexpr CodeText own_texts[] = {
    {12002, "The operation timed out"},
    {12005, "The URL is invalid"},
    {12006, "The URL uses an unrecognised scheme"},
    {12007, "The server name could not be resolved"},
    {12009, "An option is invalid"},
    {12017, "The operation was cancelled"},
    {12019, "The handle is in the wrong state for this operation"},
    {12029, "A connection with the server could not be established"},
    {12030, "The connection with the server was ended"},
    {12031, "The connection with the server was reset"},
    {12032, "The request must be sent again"},
    {12044, "The server asks for a client certificate"},
    {12150, "The requested header was not found"},
    {12152, "The server's answer could not be understood"},
    {12156, "Too many redirects"},
    {12157, "The secure channel failed (the server's certificate may not be trusted)"},
    {12175, "The server's certificate was not accepted"},
    {12178, "The proxy settings could not be detected"},
    {10060, "The server did not answer in time"},
    {10061, "The server refused the connection"},
};

std::string text_of(DWORD code) {
  // WinHTTP keeps its messages in its own module, not the system's table.
  if (code >= 12000 && code < 13000) {
    wchar_t* message = nullptr;
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS,
                       GetModuleHandleW(L"winhttp.dll"), code, 0, reinterpret_cast<wchar_t*>(&message), 0, nullptr);
    std::wstring text(message ? message : L"", message ? length : 0);
    if (message) LocalFree(message);
    while (!text.empty() &&
           (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ' || text.back() == L'.'))
      text.pop_back();
    if (!text.empty()) return vx::win32::narrow(text) + " (" + std::to_string(code) + ")";
  }
  const std::string system = vx::win32::error_text(code);
  if (!system.starts_with("0x")) return system;
  for (const CodeText& own : own_texts)
    if (own.code == code) return std::string(own.text) + " (" + std::to_string(code) + ")";
  return "error " + std::to_string(code);
}

HttpError failure(std::string_view prefix) { return {std::nullopt, std::string(prefix) + text_of(GetLastError())}; }

class Handle {
 public:
  explicit Handle(HINTERNET handle = nullptr) : handle_(handle) {}
  ~Handle() {
    if (handle_) WinHttpCloseHandle(handle_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HINTERNET get() const { return handle_; }
  // For a handle someone else has closed.
  void forget() { handle_ = nullptr; }
  explicit operator bool() const { return handle_ != nullptr; }

 private:
  HINTERNET handle_;
};

std::atomic<HINTERNET> shared_session{nullptr};

// The process's one session, opened on first use. Two threads may race to
// open it: the first stored wins and the other closes its own.
HINTERNET session() {
  if (HINTERNET existing = shared_session.load(std::memory_order_acquire)) return existing;
  HINTERNET opened =
      WinHttpOpen(nullptr, WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY, WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
  if (!opened) return nullptr;
  HINTERNET expected = nullptr;
  if (shared_session.compare_exchange_strong(expected, opened, std::memory_order_acq_rel)) return opened;
  WinHttpCloseHandle(opened);
  return expected;
}

}  // namespace

std::string winhttp_error_text(std::uint32_t code) { return text_of(code); }

void WinHttpTransport::cancel() {
  const std::lock_guard lock(mutex_);
  cancelled_ = true;
  // Closing the handle makes the call blocked on it fail with "cancelled".
  if (running_) WinHttpCloseHandle(static_cast<HINTERNET>(running_));
}

HttpResult WinHttpTransport::send(const Request& request) {
  const std::optional<std::string> url = check_url(request.url);
  if (!url) return std::unexpected(HttpError{std::nullopt, full_url_error(request.url)});

  const std::wstring wide_url = widen(*url);
  std::wstring host(256, L'\0'), path(2048, L'\0'), extra(2048, L'\0');
  URL_COMPONENTS parts{};
  parts.dwStructSize = sizeof parts;
  parts.lpszHostName = host.data();
  parts.dwHostNameLength = static_cast<DWORD>(host.size());
  parts.lpszUrlPath = path.data();
  parts.dwUrlPathLength = static_cast<DWORD>(path.size());
  parts.lpszExtraInfo = extra.data();
  parts.dwExtraInfoLength = static_cast<DWORD>(extra.size());
  if (!WinHttpCrackUrl(wide_url.c_str(), static_cast<DWORD>(wide_url.size()), 0, &parts))
    return std::unexpected(failure("주소를 해석하지 못했습니다: "));
  host.resize(parts.dwHostNameLength);
  const std::wstring object =
      widen(object_name(vx::win32::narrow(std::wstring_view(path.data(), parts.dwUrlPathLength)),
                        vx::win32::narrow(std::wstring_view(extra.data(), parts.dwExtraInfoLength))));

  const HINTERNET shared = session();
  if (!shared) return std::unexpected(failure("WinHttpOpen: "));
  const Handle connection(WinHttpConnect(shared, host.c_str(), parts.nPort, 0));
  if (!connection) return std::unexpected(failure("WinHttpConnect: "));
  Handle handle(WinHttpOpenRequest(connection.get(), request.method == Method::post ? L"POST" : L"GET", object.c_str(),
                                   nullptr, WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                   parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0));
  if (!handle) return std::unexpected(failure("WinHttpOpenRequest: "));
  {
    const std::lock_guard lock(mutex_);
    if (cancelled_) return std::unexpected(HttpError{std::nullopt, text_of(ERROR_WINHTTP_OPERATION_CANCELLED)});
    running_ = handle.get();
  }
  // Whoever closes the request last: cancel() may have done it already.
  struct Release {
    WinHttpTransport& self;
    Handle& handle;
    ~Release() {
      const std::lock_guard lock(self.mutex_);
      if (self.cancelled_) handle.forget();
      self.running_ = nullptr;
    }
  } release{*this, handle};

  const int connect_ms = static_cast<int>(timeout_ms(request.connect_timeout));
  const int receive_ms = static_cast<int>(timeout_ms(request.receive_timeout));
  if (!WinHttpSetTimeouts(handle.get(), connect_ms, connect_ms, receive_ms, receive_ms))
    return std::unexpected(failure("WinHttpSetTimeouts: "));
  // Without it a silent server holds the wait for its answer for ever under
  // Wine; Windows takes the receive timeout for it anyway.
  DWORD response_ms = static_cast<DWORD>(receive_ms);
  WinHttpSetOption(handle.get(), WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &response_ms, sizeof response_ms);

  if (const std::string headers = header_block(request); !headers.empty()) {
    const std::wstring wide = widen(headers);
    if (!WinHttpAddRequestHeaders(handle.get(), wide.c_str(), static_cast<DWORD>(wide.size()), WINHTTP_ADDREQ_FLAG_ADD))
      return std::unexpected(failure("WinHttpAddRequestHeaders: "));
  }
  const DWORD body_size = static_cast<DWORD>(request.body.size());
  if (!WinHttpSendRequest(handle.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0,
                          body_size ? const_cast<char*>(request.body.data()) : WINHTTP_NO_REQUEST_DATA, body_size,
                          body_size, 0))
    return std::unexpected(failure("보내지 못했습니다: "));
  if (!WinHttpReceiveResponse(handle.get(), nullptr)) return std::unexpected(failure("응답을 받지 못했습니다: "));

  DWORD status = 0, status_size = sizeof status;
  if (!WinHttpQueryHeaders(handle.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                           WINHTTP_HEADER_NAME_BY_INDEX, &status, &status_size, WINHTTP_NO_HEADER_INDEX))
    return std::unexpected(failure("상태 코드를 읽지 못했습니다: "));

  Response response;
  response.status = static_cast<std::uint16_t>(status);
  for (;;) {
    DWORD available = 0;
    if (!WinHttpQueryDataAvailable(handle.get(), &available))
      return std::unexpected(failure("본문 길이를 읽지 못했습니다: "));
    if (available == 0) break;
    const std::size_t chunk = std::min<std::size_t>(available, body_chunk_size);
    if (response.body.size() + chunk > max_body_size) {
      response.cut = true;  // the caller learns that this is not the whole body
      break;
    }
    const std::size_t at = response.body.size();
    response.body.resize(at + chunk);
    DWORD read = 0;
    if (!WinHttpReadData(handle.get(), response.body.data() + at, static_cast<DWORD>(chunk), &read))
      return std::unexpected(failure("본문을 읽지 못했습니다: "));
    response.body.resize(at + read);
    if (read == 0) break;
  }
  // A connection that ends before the announced length is not a whole body,
  // though WinHTTP (under Wine at least) reports the short read as the end.
  DWORD announced = 0, announced_size = sizeof announced;
  if (!response.cut &&
      WinHttpQueryHeaders(handle.get(), WINHTTP_QUERY_CONTENT_LENGTH | WINHTTP_QUERY_FLAG_NUMBER,
                          WINHTTP_HEADER_NAME_BY_INDEX, &announced, &announced_size, WINHTTP_NO_HEADER_INDEX) &&
      response.body.size() < announced)
    return std::unexpected(HttpError{std::nullopt, "본문을 읽지 못했습니다: " + std::to_string(response.body.size()) +
                                                       " / " + std::to_string(announced) +
                                                       " bytes before the connection ended"});
  if (status < 200 || status > 299) return std::unexpected(HttpError{response.status, {}});
  return response;
}

}  // namespace vx::net::win32
