#include "crash/privacy.h"

#include <algorithm>

#include "common/text.h"

namespace vx::crash {

namespace {

inline constexpr std::string_view placeholder = "%USER%";

std::string last_component(std::string_view path) {
  while (!path.empty() && (path.back() == '\\' || path.back() == '/')) path.remove_suffix(1);
  const std::size_t slash = path.find_last_of("\\/");
  if (slash != std::string_view::npos) path.remove_prefix(slash + 1);
  return std::string(path);
}

// Replaces every `prefix + name + suffix` whose text matches (without regard
// to ASCII case when `any_case`), keeping prefix and suffix as written.
std::string replace_framed(std::string_view text, std::string_view prefix, std::string_view name,
                           std::string_view suffix, bool any_case) {
  const std::size_t whole = prefix.size() + name.size() + suffix.size();
  const auto same = [any_case](std::string_view a, std::string_view b) {
    return any_case ? iequals_ascii(a, b) : a == b;
  };
  std::string out;
  out.reserve(text.size());
  std::size_t pos = 0;
  while (pos < text.size()) {
    if (text.size() - pos >= whole && same(text.substr(pos, prefix.size()), prefix) &&
        same(text.substr(pos + prefix.size(), name.size()), name) &&
        same(text.substr(pos + prefix.size() + name.size(), suffix.size()), suffix)) {
      out.append(text.substr(pos, prefix.size()));
      out.append(placeholder);
      out.append(text.substr(pos + prefix.size() + name.size(), suffix.size()));
      pos += whole;
    } else {
      out += text[pos++];
    }
  }
  return out;
}

}  // namespace

std::vector<std::string> user_names(std::optional<std::string> userprofile, std::optional<std::string> home,
                                    std::optional<std::string> username) {
  std::vector<std::string> names;
  const auto add = [&names](std::string name) {
    if (name.empty() || name.back() == ':') return;
    if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(std::move(name));
  };
  if (userprofile) add(last_component(*userprofile));
  if (home) add(last_component(*home));
  if (username) add(std::move(*username));
  return names;
}

std::string hide_user(std::string_view report, const std::vector<std::string>& names) {
  std::vector<std::string_view> order;
  for (const std::string& name : names) {
    if (name.size() >= 2) order.push_back(name);
  }
  std::stable_sort(order.begin(), order.end(),
                   [](std::string_view a, std::string_view b) { return a.size() > b.size(); });

  // Every path form first: once a shorter name's bare form has run, a longer
  // name's paths could no longer be recognised.
  std::string text(report);
  for (const std::string_view name : order) {
    text = replace_framed(text, "\\Users\\", name, "\\", true);
    text = replace_framed(text, "/home/", name, "/", false);
  }
  for (const std::string_view name : order) text = replace_framed(text, "", name, "", false);
  return text;
}

}  // namespace vx::crash
