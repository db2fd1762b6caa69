// The program's built-in language table and the choice of interface language.
// Every text the program shows comes from here; the table is fixed at build time.
#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>

namespace vx::i18n {

inline constexpr std::size_t language_count = 9;

// Language codes in column order; the column of a code is its index here.
inline constexpr std::array<std::string_view, language_count> languages = {"ko", "en", "ja", "zh", "ru",
                                                                           "it", "fr", "es", "ar"};
// English: the column read for any code that is not in the table.
inline constexpr std::size_t fallback_column = 1;

// One key with its text in every language, in column order.
struct LangRow {
  std::string_view key;
  std::array<std::string_view, language_count> texts;
};

// The whole table, rows in their fixed order.
std::span<const LangRow> lang_table() noexcept;

// The column of a language code (exact, case-sensitive); English for any other code.
std::size_t language_column(std::string_view language) noexcept;

// The key's text in the language (English for an unknown language), or nullopt
// for a key that is not in the table: callers then show the key itself.
// Placeholders such as "{n}" are left for the caller to fill in.
std::optional<std::string_view> lookup(std::string_view key, std::string_view language) noexcept;

// The key's text (the key itself when missing) with each placeholder replaced
// by its value literally, every occurrence, in the order given.
using Placeholders = std::initializer_list<std::pair<std::string_view, std::string>>;
std::string text_with(std::string_view key, std::string_view language, Placeholders values);

// The system's locale name, in UTF-8 ("ko-KR"); empty when the system has none.
// Asked for only when the command line does not name a language.
using LocaleSource = std::function<std::string()>;

// The interface language: the argument after the first "--lang" when that is
// not blank, else the system locale; cut at the first "-" or "_", trimmed, and
// ASCII lower-cased ("ko-KR" -> "ko", "PT-br" -> "pt"); "en" when nothing is left.
// A code outside the table is kept as it is (the server is told it) and reads
// the English texts.
std::string choose_language(std::span<const std::string> args, const LocaleSource& system_locale);

}  // namespace vx::i18n
