#include "i18n/templates.h"

#include <cstdint>

#include "common/embedded.h"
#include "common/text.h"
#include "i18n/lang.h"

// Symbols made by vorlix_embed() in CMakeLists.txt, one per file in res/.
VX_EMBEDDED(vx_i18n_main_html)
VX_EMBEDDED(vx_i18n_autorun_html)
VX_EMBEDDED(vx_i18n_cleanup_html)
VX_EMBEDDED(vx_i18n_install_html)
VX_EMBEDDED(vx_i18n_common_css)
VX_EMBEDDED(vx_i18n_autorun_css)
VX_EMBEDDED(vx_i18n_cleanup_css)
VX_EMBEDDED(vx_i18n_install_css)
VX_EMBEDDED(vx_i18n_app_css)
VX_EMBEDDED(vx_i18n_logo_svg)
VX_EMBEDDED(vx_i18n_vx_0_png)
VX_EMBEDDED(vx_i18n_vx_1_png)
VX_EMBEDDED(vx_i18n_vx_2_png)
VX_EMBEDDED(vx_i18n_vx_3_png)

namespace vx::i18n {

namespace {

struct File {
  std::string_view name;
  const unsigned char* data;
  const std::uint64_t* size;
};

#define VX_FILE(name, symbol) \
  File { name, symbol, &symbol##_size }
const File files[] = {
    VX_FILE("main.html", vx_i18n_main_html),       VX_FILE("autorun.html", vx_i18n_autorun_html),
    VX_FILE("cleanup.html", vx_i18n_cleanup_html), VX_FILE("install.html", vx_i18n_install_html),
    VX_FILE("common.css", vx_i18n_common_css),     VX_FILE("autorun.css", vx_i18n_autorun_css),
    VX_FILE("cleanup.css", vx_i18n_cleanup_css),   VX_FILE("install.css", vx_i18n_install_css),
    VX_FILE("app.css", vx_i18n_app_css),           VX_FILE("logo.svg", vx_i18n_logo_svg),
    VX_FILE("vx-0.png", vx_i18n_vx_0_png),         VX_FILE("vx-1.png", vx_i18n_vx_1_png),
    VX_FILE("vx-2.png", vx_i18n_vx_2_png),         VX_FILE("vx-3.png", vx_i18n_vx_3_png),
};
#undef VX_FILE

void replace_all(std::string& text, std::string_view marker, std::string_view replacement) {
  for (std::size_t at = text.find(marker); at != std::string::npos; at = text.find(marker, at + replacement.size())) {
    text.replace(at, marker.size(), replacement);
  }
}

}  // namespace

std::string_view builtin_file(std::string_view name) noexcept {
  for (const File& f : files) {
    if (f.name == name) return embedded_bytes(f.data, *f.size);
  }
  return {};
}

std::string compose_document() {
  std::string document(builtin_file("main.html"));
  replace_all(document, "@AUTORUN@", builtin_file("autorun.html"));
  replace_all(document, "@CLEANUP@", builtin_file("cleanup.html"));
  replace_all(document, "@INSTALL@", builtin_file("install.html"));
  return document;
}

std::string expand_template(std::string_view text, std::string_view language) {
  return expand_template(text, [language](std::string_view key) { return lookup(key, language); });
}

std::string expand_template(std::string_view text, const TextSource& texts) {
  std::string out;
  out.reserve(text.size() + text.size() / 4);
  std::size_t pos = 0;
  for (;;) {
    const std::size_t open = text.find("{{", pos);
    if (open == std::string_view::npos) break;
    const std::size_t close = text.find("}}", open + 2);
    if (close == std::string_view::npos) break;
    out.append(text.substr(pos, open - pos));
    if (const auto value = texts(trim(text.substr(open + 2, close - open - 2)))) {
      out += escape_markup(*value);
    } else {
      out.append(text.substr(open, close + 2 - open));
    }
    pos = close + 2;
  }
  out.append(text.substr(pos));
  return out;
}

std::string compose_style() {
  std::string style;
  for (const std::string_view sheet : {"common.css", "autorun.css", "cleanup.css", "install.css", "app.css"}) {
    if (!style.empty()) style += '\n';
    style += builtin_file(sheet);
  }
  return style;
}

}  // namespace vx::i18n
