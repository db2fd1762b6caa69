// Any answer to the companion: the path reader never crashes, always returns
// valid UTF-8, and agrees with a plain JSON tree of the same bytes wherever
// the tree can say what the reader should find (no repeated keys, no \b or \f,
// which the reader keeps as letters).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "common/text.h"
#include "service/json_path.h"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

constexpr std::string_view paths[] = {"update", "notify", "info.style", "info.text", "info.url", "info.flag", "a.b.c"};

// The tree, or discarded when the body is not JSON, an object repeats a key,
// or a key holds \b or \f (read as other keys by the reader).
nlohmann::json comparable_tree(std::string_view body) {
  std::vector<std::set<std::string>> keys;
  bool unclear = false;
  const nlohmann::json::parser_callback_t note = [&](int, nlohmann::json::parse_event_t event, nlohmann::json& parsed) {
    if (event == nlohmann::json::parse_event_t::object_start) keys.emplace_back();
    if (event == nlohmann::json::parse_event_t::object_end) keys.pop_back();
    if (event == nlohmann::json::parse_event_t::key) {
      const std::string key = parsed.get<std::string>();
      unclear |= !keys.back().insert(key).second || key.find_first_of("\b\f") != std::string::npos;
    }
    return true;
  };
  nlohmann::json tree = nlohmann::json::parse(body, note, /*allow_exceptions=*/false);
  if (unclear) return nlohmann::json(nlohmann::json::value_t::discarded);
  return tree;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string_view path = paths[data[0] % std::size(paths)];
  const std::string_view body(reinterpret_cast<const char*>(data + 1), size - 1);
  const std::string text = vx::service::json_text(body, path);
  check(vx::is_valid_utf8(text));

  const nlohmann::json tree = comparable_tree(body);
  if (tree.is_discarded()) return 0;
  const nlohmann::json* node = &tree;
  for (std::string_view rest = path;;) {
    const std::string_view segment = rest.substr(0, rest.find('.'));
    if (!node->is_object() || !node->contains(std::string(segment))) {
      check(text.empty());
      return 0;
    }
    node = &(*node)[std::string(segment)];
    if (segment.size() == rest.size()) break;
    rest.remove_prefix(segment.size() + 1);
  }
  if (node->is_string()) {
    const std::string& expected = node->get_ref<const std::string&>();
    if (expected.find_first_of("\b\f") == std::string::npos) check(text == expected);
  } else if (node->is_null() || node->is_object() || node->is_array()) {
    check(text.empty());
  } else {
    check(!text.empty());
  }
  return 0;
}
