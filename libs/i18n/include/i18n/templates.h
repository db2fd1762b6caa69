// The main window's document and style text, and the images it shows, all
// carried inside the program (res/ of this module, linked in at build time).
#pragma once

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace vx::i18n {

// The main template with the startup, cleanup and bundle fragments spliced in
// (in that order) where it names them; "{{key}}" placeholders still unexpanded.
std::string compose_document();

// `text` with every "{{key}}" replaced by the key's text in `language`, in one
// left-to-right pass (inserted text is never rescanned). Blanks around the key
// are ignored; the text is escaped for HTML (& < > "). An unknown key keeps its
// placeholder as written, and a "{{" with no "}}" after it keeps the rest as is.
std::string expand_template(std::string_view text, std::string_view language);

// The same with the texts taken from `texts` (a key's text, or nullopt when
// the key is unknown), for templates whose keys come from elsewhere.
using TextSource = std::function<std::optional<std::string_view>(std::string_view key)>;
std::string expand_template(std::string_view text, const TextSource& texts);

// The style text handed to the toolkit: the common sheet, then the startup,
// cleanup and bundle sheets, then the application sheet, joined by "\n". The
// order matters: later rules win over earlier ones of equal weight.
std::string compose_style();

// Images the document names, registered under these names at start-up: the
// logo and the four fallback icons of programs whose own icon is unreadable
// (0 a program, 1 a startup program, 2 a task, 3 a service).
inline constexpr std::array<std::string_view, 5> builtin_image_names = {"logo.svg", "vx-0.png", "vx-1.png", "vx-2.png",
                                                                        "vx-3.png"};

// A file carried in the program, by its name ("main.html", "common.css",
// "logo.svg", "vx-0.png", ...); empty for a name that is not carried.
std::string_view builtin_file(std::string_view name) noexcept;

}  // namespace vx::i18n
