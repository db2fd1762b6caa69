// layout-dump: lays out an HTML file with a style sheet and prints, as JSON, the
// border box of every element that has an id or a class — for golden tests and
// for comparing our layout with a browser's getBoundingClientRect().
//
//   layout-dump page.html [sheet.css] [--width 464] [--height 417] [--dark] [--scale 1]
//   layout-dump --app [--lang en] [--panel home] [--write-html F] [--write-css F] [size options]
//   layout-dump --font-table
//
// --app lays out the program's own document and style, composed in a language
// with one panel shown (home, startup, cleanup or bundle), as the window shows
// them; --write-html and --write-css also save the composed texts, for a
// browser to lay out the same page.
// Without a sheet, the text of the page's <style> elements is used. On Windows
// text is measured with the installed fonts (DirectWrite), elsewhere with the
// fake font, which gives every machine the same numbers.
// --font-table prints the fake font's advances instead, so that a real font with
// the same metrics can be built for the browser (tools/compare-chromium).
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <utility>

#include "i18n/templates.h"
#include "layout/box.h"
#include "ostrel/ostrel.h"
#include "ostrel/text/measure.h"
#ifdef _WIN32
#include "ostrel/text/win32/font_system.h"
#endif
#include "src/view.h"
#include "style/engine.h"
#include "ui/tabs.h"

namespace {

bool write_file(const char* path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  return static_cast<bool>(out << text);
}

// The composed document as the tab switch leaves it with `panel` shown: the
// template marks the home tab and panel "active". Empty when the template no
// longer has the form this expects.
std::string with_panel_shown(std::string html, const std::string& panel) {
  for (const std::string prefix : {"tab", "panel"}) {
    const std::string home = "class=\"" + prefix + " active\" id=\"" + prefix + "-home\"";
    const std::string other = "class=\"" + prefix + "\" id=\"" + prefix + "-" + panel + "\"";
    if (panel == "home") continue;
    const std::size_t at_home = html.find(home);
    if (at_home == std::string::npos) return {};
    html.replace(at_home, home.size(), "class=\"" + prefix + "\" id=\"" + prefix + "-home\"");
    const std::size_t at_other = html.find(other);
    if (at_other == std::string::npos) return {};
    html.replace(at_other, other.size(), "class=\"" + prefix + " active\" id=\"" + prefix + "-" + panel + "\"");
  }
  return html;
}

bool read_file(const char* path, std::string& out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

std::string style_elements(const std::string& html) {
  std::string css;
  for (std::size_t pos = html.find("<style"); pos != std::string::npos; pos = html.find("<style", pos + 1)) {
    const std::size_t open = html.find('>', pos);
    const std::size_t close = html.find("</style>", open);
    if (open == std::string::npos || close == std::string::npos) break;
    css += html.substr(open + 1, close - open - 1);
    css += '\n';
  }
  return css;
}

int usage() {
  std::fprintf(
      stderr,
      "usage: layout-dump page.html [sheet.css] [--width N] [--height N] [--dark] [--scale N]\n"
      "       layout-dump --app [--lang CODE] [--panel home|startup|cleanup|bundle]\n"
      "                   [--write-html FILE] [--write-css FILE] [--width N] [--height N] [--dark] [--scale N]\n"
      "       layout-dump --font-table\n");
  return 2;
}

// The code points a browser must find in the generated font rather than fall
// back to a system font: text the program shows, the ellipsis and the
// replacement character included. Zero-width ones are listed too, with 0.
constexpr std::pair<char32_t, char32_t> font_table_ranges[] = {
    {0x0020, 0x007E},  // ASCII
    {0x00A0, 0x00FF},  // Latin-1
    {0x2000, 0x206F},  // spaces, dashes, quotes, ellipsis, zero-width and format characters
    {0x3000, 0x303F},  // CJK punctuation
    {0xAC00, 0xD7A3},  // Hangul syllables
    {0xFF01, 0xFF60},  // fullwidth forms
    {0xFFFD, 0xFFFD},  // replacement character
};

// One line per code point: "U+XXXX regular bold", in units of a 1000 px font so
// that unitsPerEm 1000 makes every advance exact (the generator checks that).
int print_font_table() {
  static constexpr float em = 1000;
  const std::string families[] = {"sans-serif"};
  const ostrel::text::FontSpec regular{families, em, 400, false}, bold{families, em, 700, false};
  const ostrel::text::FontMetrics m = ostrel::text::FakeFont().metrics(regular);
  std::printf("metrics %g %g %g\n", m.ascent, m.descent, m.line_gap);
  for (const auto& [first, last] : font_table_ranges)
    for (char32_t cp = first; cp <= last; ++cp)
      std::printf("U+%04X %g %g\n", static_cast<unsigned>(cp), ostrel::text::FakeFont::advance(regular, cp),
                  ostrel::text::FakeFont::advance(bold, cp));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const char* html_path = nullptr;
  const char* css_path = nullptr;
  const char* html_out = nullptr;
  const char* css_out = nullptr;
  std::string language = "en", panel = "home";
  float width = 464, height = 417, scale = 1;
  bool dark = false, app = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto number = [&](float& out) {
      if (i + 1 >= argc) return false;
      char* end = nullptr;
      out = std::strtof(argv[++i], &end);
      return end && *end == '\0' && out > 0;
    };
    auto text = [&](auto& out) {
      if (i + 1 >= argc) return false;
      out = argv[++i];
      return true;
    };
    if (arg == "--app") {
      app = true;
    } else if (arg == "--lang") {
      if (!text(language)) return usage();
    } else if (arg == "--panel") {
      if (!text(panel)) return usage();
    } else if (arg == "--write-html") {
      if (!text(html_out)) return usage();
    } else if (arg == "--write-css") {
      if (!text(css_out)) return usage();
    } else if (arg == "--width") {
      if (!number(width)) return usage();
    } else if (arg == "--height") {
      if (!number(height)) return usage();
    } else if (arg == "--scale") {
      if (!number(scale)) return usage();
    } else if (arg == "--dark") {
      dark = true;
    } else if (arg == "--font-table" && argc == 2) {
      return print_font_table();
    } else if (!html_path) {
      html_path = argv[i];
    } else if (!css_path) {
      css_path = argv[i];
    } else {
      return usage();
    }
  }
  std::string html, css;
  if (app) {
    if (html_path) return usage();
    bool known_panel = false;
    for (const std::string_view name : vx::ui::tab_names) known_panel |= name == panel;
    if (!known_panel) return usage();
    html = vx::i18n::expand_template(vx::i18n::compose_document(), language);
    css = vx::i18n::compose_style();
    const std::string shown = html_out ? with_panel_shown(html, panel) : std::string();
    if (html_out && shown.empty()) {
      std::fprintf(stderr, "layout-dump: the template's tabs are not marked as expected\n");
      return 1;
    }
    for (const auto& [path, composed] :
         {std::pair{html_out, &shown}, std::pair{css_out, static_cast<const std::string*>(&css)}}) {
      if (path && !write_file(path, *composed)) {
        std::fprintf(stderr, "layout-dump: cannot write %s\n", path);
        return 1;
      }
    }
  } else {
    if (!html_path || html_out || css_out) return usage();
    if (!read_file(html_path, html)) {
      std::fprintf(stderr, "layout-dump: cannot read %s\n", html_path);
      return 1;
    }
    if (css_path ? !read_file(css_path, css) : (css = style_elements(html), false)) {
      std::fprintf(stderr, "layout-dump: cannot read %s\n", css_path);
      return 1;
    }
  }

  ostrel::View* view = ostrel::view_new();
  ostrel::Document* doc = ostrel::view_document(view);
  ostrel::load_html(view, html.data(), html.size());
  ostrel::load_css(view, css.data(), css.size());
  ostrel::set_color_scheme(doc, dark, 0);
  if (app) {
    vx::ui::show_tab(doc, panel);
    for (const std::string_view name : vx::i18n::builtin_image_names) {
      const std::string_view bytes = vx::i18n::builtin_file(name);
      ostrel::image_set(doc, name.data(), name.size(), bytes.data(), bytes.size());
    }
  }
  // CSS pixels: the window's device pixels divided by the scale.
  const float css_width = width / scale, css_height = height / scale;
  ostrel::style::StyleEngine engine(*doc);
  engine.update({css_width, css_height, dark, true, true, false});
  std::unique_ptr<ostrel::text::TextMeasurer> measurer;
#ifdef _WIN32
  measurer = ostrel::text::win32::FontSystem::create();
  if (!measurer) std::fprintf(stderr, "layout-dump: measuring with the fake font\n");
#endif
  if (!measurer) measurer = std::make_unique<ostrel::text::FakeFont>();
  // As the program measures: widths memoised in front of the fonts.
  ostrel::text::MeasureCache font(*measurer);
  ostrel::layout::LayoutTree tree(*doc, font);
  tree.layout({css_width, css_height, 17});

  nlohmann::json out = nlohmann::json::array();
  for (ostrel::Node* n = doc->document_node; n;) {
    if (n->is_element()) {
      const std::string* id = ostrel::attribute_value(n, ostrel::atom_id);
      const std::string* cls = ostrel::attribute_value(n, ostrel::atom_class);
      if ((id || cls) && tree.box_of(n)) {
        const ostrel::Rect r = ostrel::element_rect(n);
        auto px = [](float v) { return std::round(static_cast<double>(v) * 100) / 100; };  // 1/100 px is plenty
        nlohmann::json e{{"tag", std::string(doc->names.name(n->tag))},
                         {"x", px(r.x)},
                         {"y", px(r.y)},
                         {"width", px(r.width)},
                         {"height", px(r.height)}};
        if (id) e["id"] = *id;
        if (cls) e["class"] = *cls;
        out.push_back(std::move(e));
      }
    }
    if (n->first_child) {
      n = n->first_child;
      continue;
    }
    while (n && !n->next) n = n->parent;
    if (n) n = n->next;
  }
  std::printf("%s\n", out.dump(1).c_str());
  ostrel::view_free(view);
  return 0;
}
