// Any NoClean.txt: it decodes to valid UTF-8, loads without a crash, and the
// prepared path matcher answers exactly as the plain path rule does.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "common/text.h"
#include "process/close_run.h"
#include "process/keep_list.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  // An "ANSI code page" that accepts only even-length input, so both of its answers are exercised.
  const vx::process::AnsiDecoder ansi = [](std::string_view raw) -> std::optional<std::string> {
    if (raw.size() % 2) return std::nullopt;
    return vx::sanitize_utf8(raw);
  };
  const std::string text = vx::process::decode_list_file(bytes, ansi);
  if (!vx::is_valid_utf8(text)) std::abort();
  const vx::process::KeepList list = vx::process::load_list_text(text);
  if (list.raw().size() != list.keys().size()) std::abort();
  const vx::process::PathMatcher matcher(list.keys());
  // The entries themselves, and each in a folder, as paths to judge.
  for (std::size_t i = 0; i < list.size() && i < 64; ++i) {
    for (const std::string& path : {list.raw()[i], "C:\\dir\\" + list.raw()[i], text.substr(0, 80)}) {
      if (matcher.matches(path) != vx::process::matches_path(list.keys(), path)) std::abort();
      (void)vx::process::matches_signer(list.keys(), path);
    }
  }
  return 0;
}
