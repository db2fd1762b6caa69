#include "winutil/url.h"

#include "common/text.h"

namespace vx::winutil {

Result<std::string> quoted_url_argument(std::string_view url) {
  const bool web = starts_with_ascii_ci(url, "https://") || starts_with_ascii_ci(url, "http://");
  if (!web || url.size() <= (url[4] == ':' ? 7u : 8u))
    return fail("argument", "웹 주소가 아닙니다: " + sanitize_utf8(url.substr(0, 200)));
  static constexpr char hex[] = "0123456789ABCDEF";
  std::string out = "\"";
  for (const char ch : url) {
    const auto c = static_cast<unsigned char>(ch);
    if (c <= 0x20 || c == 0x7F || c == '"' || c == '\\') {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 0xF];
    } else {
      out += ch;
    }
  }
  out += '"';
  return out;
}

}  // namespace vx::winutil
