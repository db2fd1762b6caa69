#include "i18n/lang.h"

#include "common/text.h"

namespace vx::i18n {

namespace {

constexpr LangRow table[] = {
#include "lang_table.inc"
};

// Locks the row count so a row lost in an edit is caught by the build.
static_assert(std::size(table) == 54);

}  // namespace

std::span<const LangRow> lang_table() noexcept { return table; }

std::size_t language_column(std::string_view language) noexcept {
  for (std::size_t i = 0; i < languages.size(); ++i) {
    if (languages[i] == language) return i;
  }
  return fallback_column;
}

std::optional<std::string_view> lookup(std::string_view key, std::string_view language) noexcept {
  for (const LangRow& row : table) {
    if (row.key == key) return row.texts[language_column(language)];
  }
  return std::nullopt;
}

std::string text_with(std::string_view key, std::string_view language, Placeholders values) {
  std::string text(lookup(key, language).value_or(key));
  for (const auto& [placeholder, value] : values) {
    if (placeholder.empty()) continue;
    for (std::size_t at = text.find(placeholder); at != std::string::npos;
         at = text.find(placeholder, at + value.size()))
      text.replace(at, placeholder.size(), value);
  }
  return text;
}

std::string choose_language(std::span<const std::string> args, const LocaleSource& system_locale) {
  std::string candidate;
  bool from_args = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] != "--lang") continue;
    // Only the first "--lang" counts, even when its value is missing or blank.
    if (i + 1 < args.size()) {
      candidate = std::string(trim(args[i + 1]));
      from_args = !candidate.empty();
    }
    break;
  }
  if (!from_args && system_locale) candidate = system_locale();

  const std::string_view language = trim(std::string_view(candidate).substr(0, candidate.find_first_of("-_")));
  return language.empty() ? std::string("en") : ascii_lower(language);
}

}  // namespace vx::i18n
