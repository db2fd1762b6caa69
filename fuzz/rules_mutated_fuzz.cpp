// The built-in rule file with random damage: each 4-byte group of the input
// overwrites one byte of the text (3 bytes of position, 1 of value), so the
// fuzzer explores near-valid files of full size. Parsing must not crash, hang
// or keep an entry without detection or something to clean.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "common/text.h"
#include "winapp2/rule_text.h"
#include "winapp2/rules.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string original(vx::winapp2::builtin_rule_text());
  if (original.empty() || size > 4 * 64) return 0;
  std::string text = original;
  for (std::size_t i = 0; i + 4 <= size; i += 4) {
    const std::size_t at = (static_cast<std::size_t>(data[i]) << 16 | data[i + 1] << 8 | data[i + 2]) * 8 % text.size();
    text[at] = static_cast<char>(data[i + 3]);
  }
  text = vx::sanitize_utf8(text);
  for (const auto& e : vx::winapp2::parse_rules(text)) {
    if (e.detect.empty() && e.detect_file.empty() && !e.special_detect) std::abort();
    if (e.file_keys.empty() && e.reg_keys.empty()) std::abort();
  }
  return 0;
}
