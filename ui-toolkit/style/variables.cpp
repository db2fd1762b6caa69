#include "style/variables.h"

#include <cstddef>

#include "common/text.h"

namespace ostrel::style {

using css::Token;
using css::TokenList;
using css::TokenType;

namespace {

constexpr int max_var_depth = 16;
constexpr std::size_t max_substituted_tokens = 4096;

const TokenList* find_custom(const ComputedStyle& s, std::string_view name) {
  if (!s.custom) return nullptr;
  for (const auto& [key, value] : *s.custom)
    if (key == name) return &value;
  return nullptr;
}

bool substitute(const TokenList& in, const ComputedStyle& s, int depth, TokenList& out) {
  if (depth > max_var_depth) return false;
  for (const Token& t : in) {
    if (out.size() > max_substituted_tokens) return false;
    if (t.type == TokenType::function && vx::iequals_ascii(t.text, "var")) {
      // var( <custom-name> [, <fallback>]? )
      std::size_t i = 0;
      while (i < t.children.size() && t.children[i].type == TokenType::whitespace) ++i;
      if (i >= t.children.size() || t.children[i].type != TokenType::ident || !t.children[i].text.starts_with("--"))
        return false;
      const std::string& name = t.children[i].text;
      ++i;
      while (i < t.children.size() && t.children[i].type == TokenType::whitespace) ++i;
      const bool has_fallback = i < t.children.size() && t.children[i].type == TokenType::comma;
      const TokenList* value = find_custom(s, name);
      if (value && !value->empty()) {
        if (!substitute(*value, s, depth + 1, out)) return false;
      } else if (has_fallback) {
        const TokenList fallback(t.children.begin() + static_cast<std::ptrdiff_t>(i + 1), t.children.end());
        if (!substitute(fallback, s, depth + 1, out)) return false;
      } else {
        return false;
      }
      continue;
    }
    if (!t.children.empty() && contains_var(t.children)) {
      Token copy = t;
      copy.children.clear();
      if (!substitute(t.children, s, depth + 1, copy.children)) return false;
      out.push_back(std::move(copy));
      continue;
    }
    out.push_back(t);
  }
  return true;
}

}  // namespace

bool contains_var(const TokenList& tokens) {
  for (const Token& t : tokens) {
    if (t.type == TokenType::function && vx::iequals_ascii(t.text, "var")) return true;
    if (!t.children.empty() && contains_var(t.children)) return true;
  }
  return false;
}

bool substitute(const TokenList& in, const ComputedStyle& s, TokenList& out) { return substitute(in, s, 0, out); }

}  // namespace ostrel::style
