#include "style/engine.h"

#include <algorithm>
#include <cstdio>

#include "common/text.h"
#include "src/memory_usage.h"
#include "style/apply.h"
#include "style/default_sheet.h"
#include "style/properties.h"
#include "style/variables.h"

namespace ostrel::style {
namespace {

using css::Declaration;
using css::Property;
using css::TokenList;

// Inherited properties come from the parent, the rest start at their initial values.
std::shared_ptr<ComputedStyle> inheriting_from(const ComputedStyle& parent) {
  return std::make_shared<ComputedStyle>(inherited_only(parent));
}

// :empty as the selectors see it: no element and no text, generated boxes aside.
bool is_empty(const Node* element) {
  for (const Node* c = first_real_child(element); c; c = next_real_sibling(c))
    if (c->is_element() || (c->is_text() && !c->text.empty())) return false;
  return true;
}

void append_bytes(std::string& key, const void* data, std::size_t size) {
  key.append(static_cast<const char*>(data), size);
}

// Tells the author what a sheet dropped, once for each time it is loaded.
void report_rejections(const css::StyleSheet& sheet, const char* which) {
  for (const css::RejectedDeclaration& r : sheet.rejected)
    std::fprintf(stderr, "[css] %s line %u: dropped \"%s\" (invalid or unsupported value)\n", which,
                 static_cast<unsigned>(r.line), r.text.c_str());
  if (sheet.rejected_count > sheet.rejected.size())
    std::fprintf(stderr, "[css] %s: %zu more declarations dropped\n", which,
                 sheet.rejected_count - sheet.rejected.size());
}

}  // namespace

Display blockified(Display d) {
  switch (d) {
    case Display::inline_:
    case Display::inline_block:
    case Display::table_row_group:
    case Display::table_header_group:
    case Display::table_footer_group:
    case Display::table_row:
    case Display::table_cell:
    case Display::table_column:
    case Display::table_column_group:
    case Display::table_caption:
      return Display::block;
    case Display::inline_flex:
      return Display::flex;
    case Display::inline_table:
      return Display::table;
    default:
      return d;
  }
}

StyleEngine::StyleEngine(Document& document) : document_(document) {
  auto initial = std::make_shared<ComputedStyle>();
  initial_ = initial;
  defaults_ = css::parse_stylesheet(default_sheet, document_.names);
  report_rejections(defaults_, "built-in sheet");
}

StyleEngine::~StyleEngine() = default;

const ComputedStyle* StyleEngine::style_of(const Node* node) {
  while (node && !node->is_element()) node = node->parent;
  return node ? node->style.get() : nullptr;
}

const css::KeyframesRule* StyleEngine::keyframes(std::string_view name) const {
  // The last @keyframes of a name wins, in the author sheet before the defaults.
  for (auto it = author_.keyframes.rbegin(); it != author_.keyframes.rend(); ++it)
    if (it->name == name && (!it->media || it->media->matches(environment_))) return &*it;
  return nullptr;
}

void StyleEngine::reload_sheets() {
  author_ = css::parse_stylesheet(document_.author_css, document_.names);
  report_rejections(author_, "sheet");
  document_.selector_attributes = author_.attribute_names;
  for (Atom a : defaults_.attribute_names)
    if (std::find(document_.selector_attributes.begin(), document_.selector_attributes.end(), a) ==
        document_.selector_attributes.end())
      document_.selector_attributes.push_back(a);
  media_lists_.clear();
  for (const css::StyleSheet* sheet : {&defaults_, &author_})
    for (const auto& list : sheet->media_lists) media_lists_.push_back(list.get());
  media_results_.clear();
  sibling_sensitive_ = false;
  for (const css::StyleSheet* sheet : {&defaults_, &author_})
    for (const css::StyleRule& rule : sheet->rules)
      for (std::size_t i = 0; i < rule.selectors.size(); ++i)
        sibling_sensitive_ = sibling_sensitive_ || rule.selectors.looks_at_siblings(i);
  document_.sibling_selectors = sibling_sensitive_;
}

bool StyleEngine::media_changed(const css::MediaEnvironment& environment) {
  environment_ = environment;
  bool changed = media_results_.size() != media_lists_.size();
  media_results_.resize(media_lists_.size());
  for (std::size_t i = 0; i < media_lists_.size(); ++i) {
    const bool m = media_lists_[i]->matches(environment);
    if (m != media_results_[i]) changed = true;
    media_results_[i] = m;
  }
  return changed;
}

void StyleEngine::match_rules(const Node* element, std::vector<MatchedRule> (&out)[3]) const {
  // One pass over the rules for the element and its ::before and ::after: the
  // selectors are the same, only the pseudo-element at their end tells them apart.
  const css::StyleSheet* sheets[] = {&defaults_, &author_};
  for (std::uint32_t origin = 0; origin < 2; ++origin) {
    for (const css::StyleRule& rule : sheets[origin]->rules) {
      if (rule.media && !rule.media->matches(environment_)) continue;
      bool any[3] = {};
      css::Specificity best[3];
      for (std::size_t i = 0; i < rule.selectors.size(); ++i) {
        int target = 0;
        switch (rule.selectors.pseudo_element(i)) {
          case css::PseudoElement::none:
            target = 0;
            break;
          case css::PseudoElement::before:
            target = 1;
            break;
          case css::PseudoElement::after:
            target = 2;
            break;
          case css::PseudoElement::marker:
            continue;  // list markers are drawn by the layout
        }
        if (!rule.selectors.matches(i, element)) continue;
        const css::Specificity sp = rule.selectors.specificity(i);
        if (!any[target] || best[target] < sp) best[target] = sp;
        any[target] = true;
      }
      for (int target = 0; target < 3; ++target)
        if (any[target]) out[target].push_back({&rule, best[target], origin});
    }
  }
  for (std::vector<MatchedRule>& matched : out)
    std::stable_sort(matched.begin(), matched.end(), [](const MatchedRule& a, const MatchedRule& b) {
      if (a.origin != b.origin) return a.origin < b.origin;
      if (a.specificity != b.specificity) return a.specificity < b.specificity;
      return a.rule->order < b.rule->order;
    });
}

void StyleEngine::apply_rules(Node* element, bool generated, const std::vector<MatchedRule>& matched,
                              const ComputedStyle& parent, ComputedStyle& out) {
  // A style attribute styles its element, never the boxes generated for it.
  std::vector<Declaration> inline_declarations;
  if (const std::string* text = generated ? nullptr : attribute_value(element, atom_style); text && !text->empty())
    inline_declarations = css::parse_declarations(*text);

  // The application order: default normal, author normal, inline normal,
  // author important, inline important, default important.
  std::vector<const Declaration*> order;
  auto add = [&](std::uint32_t origin, bool important) {
    for (const MatchedRule& m : matched)
      if (m.origin == origin)
        for (const Declaration& d : m.rule->declarations)
          if (d.important == important) order.push_back(&d);
  };
  auto add_inline = [&](bool important) {
    for (const Declaration& d : inline_declarations)
      if (d.important == important) order.push_back(&d);
  };
  add(0, false);
  add(1, false);
  add_inline(false);
  add(1, true);
  add_inline(true);
  add(0, true);

  // Custom properties first: other values may refer to them.
  std::shared_ptr<CustomProperties> custom;
  for (const Declaration* d : order) {
    if (d->property != Property::custom) continue;
    if (!custom) custom = std::make_shared<CustomProperties>(parent.custom ? *parent.custom : CustomProperties());
    TokenList resolved;
    ComputedStyle view;
    view.custom = custom;
    const bool ok = !contains_var(d->value) || substitute(d->value, view, resolved);
    TokenList value = ok ? (contains_var(d->value) ? std::move(resolved) : d->value) : TokenList();
    auto it = std::find_if(custom->begin(), custom->end(), [&](const auto& kv) { return kv.first == d->custom_name; });
    if (it != custom->end())
      it->second = std::move(value);
    else
      custom->emplace_back(d->custom_name, std::move(value));
  }
  out.custom = custom ? std::shared_ptr<const CustomProperties>(custom) : parent.custom;

  Applier applier{out, parent, *initial_, {}};
  const ComputedStyle* root = document_.root && document_.root->style ? document_.root->style.get() : nullptr;
  applier.units.root_font_size = root && (generated || element != document_.root) ? root->font_size : 16;
  applier.units.viewport_width = environment_.width;
  applier.units.viewport_height = environment_.height;

  auto resolved_value = [&](const Declaration* d, TokenList& storage) -> const TokenList* {
    if (!contains_var(d->value)) return &d->value;
    storage.clear();
    if (!substitute(d->value, out, storage)) return nullptr;
    return &storage;
  };

  // Font size first (em in other properties refers to it), then the rest.
  TokenList storage;
  applier.units.font_size = parent.font_size;
  for (const Declaration* d : order) {
    if (d->property != Property::font_size && d->property != Property::font) continue;
    if (const TokenList* v = resolved_value(d, storage)) {
      if (d->property == Property::font) {
        ComputedStyle probe = out;
        Applier p2{probe, parent, *initial_, applier.units};
        if (p2.apply(Property::font, *v)) out.font_size = probe.font_size;
      } else {
        applier.apply(d->property, *v);
      }
    }
  }
  applier.units.font_size = out.font_size;
  if (element == document_.root && !generated) applier.units.root_font_size = out.font_size;
  for (const Declaration* d : order) {
    if (d->property == Property::custom || d->property == Property::font_size) continue;
    const TokenList* v = resolved_value(d, storage);
    if (!v) {
      // Invalid at computed-value time: the property behaves as "unset".
      for (Property l : longhands_of(d->property))
        copy_property(l, out, css::property_inherited(l) ? parent : *initial_);
      continue;
    }
    // The size was settled above, in order with the font-size longhands: a
    // shorthand from an earlier rule must not undo a later font-size.
    if (d->property == Property::font) {
      const float size = out.font_size;
      applier.apply(d->property, *v);
      out.font_size = size;
      continue;
    }
    applier.apply(d->property, *v);
  }
}

StyleEngine::StyleSet StyleEngine::compute(Node* element, const std::shared_ptr<const ComputedStyle>& parent_ref) {
  const ComputedStyle& parent = *parent_ref;
  // Elements that look alike share one style: rows of a long table are the
  // common case. Ids, inline styles and sibling-sensitive sheets opt out.
  std::string key;
  const bool shareable = !sibling_sensitive_ && !find_attribute(element, atom_id);
  if (shareable) {
    const ComputedStyle* parent_ptr = &parent;
    append_bytes(key, &parent_ptr, sizeof parent_ptr);
    append_bytes(key, &element->tag, sizeof element->tag);
    const std::uint32_t state = element->flags & (flag_hover | flag_active | flag_focus | flag_disabled | flag_checked);
    append_bytes(key, &state, sizeof state);
    const std::uint8_t control = static_cast<std::uint8_t>(element->control);
    append_bytes(key, &control, 1);
    const std::uint8_t position =
        (prev_real_sibling(element) ? 0 : 1) | (next_real_sibling(element) ? 0 : 2) | (is_empty(element) ? 4 : 0);
    append_bytes(key, &position, 1);
    const std::uint32_t classes = static_cast<std::uint32_t>(element->classes.size());
    append_bytes(key, &classes, sizeof classes);
    append_bytes(key, element->classes.data(), element->classes.size() * sizeof(Atom));
    for (Atom a : document_.selector_attributes) {
      if (const std::string* v = attribute_value(element, a)) {
        append_bytes(key, &a, sizeof a);
        const std::uint32_t n = static_cast<std::uint32_t>(v->size());
        append_bytes(key, &n, sizeof n);
        key += *v;
      }
    }
    if (const std::string* inline_style = attribute_value(element, atom_style)) {
      key += '\x01';
      key += *inline_style;
    }
    if (auto it = share_cache_.find(key); it != share_cache_.end()) return it->second.styles;
  }

  std::vector<MatchedRule> matched[3];
  match_rules(element, matched);
  std::shared_ptr<ComputedStyle> style = inheriting_from(parent);
  ComputedStyle& s = *style;
  apply_rules(element, false, matched[0], parent, s);

  if (element == document_.root || s.position == Position::absolute || s.position == Position::fixed)
    s.display = blockified(s.display);
  if (const ComputedStyle* p =
          element->parent && element->parent->is_element() ? element->parent->style.get() : nullptr;
      p && (p->display == Display::flex || p->display == Display::inline_flex))
    s.display = blockified(s.display);

  StyleSet result{std::move(style), nullptr, nullptr};
  if (generates_content(element)) {
    result.before = generated_style(element, matched[1], *result.element);
    result.after = generated_style(element, matched[2], *result.element);
  }
  if (shareable && share_cache_.size() < 65536) share_cache_.emplace(std::move(key), Shared{result, parent_ref});
  return result;
}

ComputedStyle StyleEngine::with_declarations(const ComputedStyle& base, const ComputedStyle& parent,
                                             const std::vector<css::Declaration>& declarations) const {
  ComputedStyle out = base;
  Applier applier{out, parent, *initial_, {}};
  applier.units.font_size = out.font_size;
  applier.units.viewport_width = environment_.width;
  applier.units.viewport_height = environment_.height;
  TokenList storage;
  for (const Declaration& d : declarations) {
    if (d.property == Property::custom) continue;
    const TokenList* value = &d.value;
    if (contains_var(d.value)) {
      storage.clear();
      if (!substitute(d.value, out, storage)) continue;
      value = &storage;
    }
    applier.apply(d.property, *value);
  }
  return out;
}

std::size_t StyleEngine::update(const css::MediaEnvironment& environment) {
  bool full = false;
  if (document_.css_dirty) {
    reload_sheets();
    document_.css_dirty = false;
    full = true;
  }
  if (media_changed(environment)) full = true;
  // A whole page restyled leaves a list as long as the page; later updates
  // change a few elements, so that room is given back.
  if (changes_.capacity() > 4096)
    changes_ = {};
  else
    changes_.clear();
  if (full)
    share_cache_.clear();
  else if (share_cache_.size() >= prune_at_)
    prune_share_cache();

  std::size_t computed = 0;
  // Iterative walk: a subtree is restyled when its root is marked or any
  // ancestor was; unmarked subtrees without marked descendants are skipped.
  struct Frame {
    Node* node;
    bool restyle;
  };
  std::vector<Frame> stack;
  Node* doc_node = document_.document_node;
  for (Node* c = doc_node->last_child; c; c = c->prev) stack.push_back({c, full});
  while (!stack.empty()) {
    const Frame f = stack.back();
    stack.pop_back();
    Node* n = f.node;
    if (!n->is_element()) continue;
    const bool restyle = f.restyle || (n->flags & flag_needs_restyle) || !n->style;
    if (restyle) {
      const std::shared_ptr<const ComputedStyle>& parent =
          n->parent && n->parent->is_element() && n->parent->style ? n->parent->style : initial_;
      StyleSet styles = compute(n, parent);
      if (styles.element != n->style) {
        changes_.push_back({n, n->style});
        n->style = std::move(styles.element);
        document_.invalidate(n, flag_style_changed | flag_needs_paint);  // layout judges what it changes
      }
      ++computed;
      // Generated boxes are restyled with their host and only then.
      place_generated(n, atom_pseudo_before, std::move(styles.before));
      place_generated(n, atom_pseudo_after, std::move(styles.after));
    }
    const bool descend = restyle || (n->flags & flag_descendant_needs_restyle);
    n->flags &= ~(flag_needs_restyle | flag_descendant_needs_restyle);
    if (!descend) continue;
    for (Node* c = n->last_child; c; c = c->prev)
      if (!c->is_pseudo()) stack.push_back({c, restyle});
  }
  doc_node->flags &= ~(flag_needs_restyle | flag_descendant_needs_restyle);
  return computed;
}

namespace {

std::size_t token_bytes(const css::TokenList& tokens) {
  std::size_t bytes = memory::heap(tokens);
  for (const css::Token& t : tokens) bytes += memory::heap(t.text) + token_bytes(t.children);
  return bytes;
}

std::size_t declaration_bytes(const std::vector<css::Declaration>& declarations) {
  std::size_t bytes = memory::heap(declarations);
  for (const css::Declaration& d : declarations) bytes += memory::heap(d.custom_name) + token_bytes(d.value);
  return bytes;
}

std::size_t sheet_bytes(const css::StyleSheet& sheet) {
  std::size_t bytes = memory::heap(sheet.rules) + memory::heap(sheet.keyframes) + memory::heap(sheet.media_lists) +
                      memory::heap(sheet.attribute_names);
  for (const css::StyleRule& rule : sheet.rules) bytes += declaration_bytes(rule.declarations);
  for (const css::KeyframesRule& rule : sheet.keyframes) {
    bytes += memory::heap(rule.name) + memory::heap(rule.frames);
    for (const css::Keyframe& frame : rule.frames)
      bytes += memory::heap(frame.offsets) + declaration_bytes(frame.declarations);
  }
  return bytes;
}

}  // namespace

std::size_t style_bytes(const ComputedStyle& style) {
  std::size_t bytes = sizeof(ComputedStyle) + memory::heap(style.font_family) + memory::heap(style.background_image) +
                      memory::heap(style.content) + memory::heap(style.transitions) + memory::heap(style.animations);
  for (const std::string& family : style.font_family) bytes += memory::heap(family);
  for (const Animation& a : style.animations) bytes += memory::heap(a.name);
  return bytes;
}

// Entries whose styles only the cache holds any more go: a restyled parent
// leaves its children's entries behind under its old address, and a list
// whose rows come and go would otherwise keep every style it ever had.
void StyleEngine::prune_share_cache() {
  const auto unused = [](const std::shared_ptr<const ComputedStyle>& s) { return !s || s.use_count() == 1; };
  std::erase_if(share_cache_, [&](const auto& entry) {
    const StyleSet& s = entry.second.styles;
    return unused(s.element) && unused(s.before) && unused(s.after);
  });
  prune_at_ = std::max<std::size_t>(512, 2 * share_cache_.size());
}

std::size_t StyleEngine::memory_usage(std::unordered_set<const ComputedStyle*>& styles) const {
  std::size_t bytes = sheet_bytes(defaults_) + sheet_bytes(author_) + memory::heap(media_lists_) +
                      memory::heap(changes_) + memory::heap(share_cache_);
  for (const auto& [key, entry] : share_cache_) {
    bytes += memory::heap(key);
    for (const auto& s : {entry.styles.element, entry.styles.before, entry.styles.after, entry.parent})
      if (s) styles.insert(s.get());
  }
  for (const Change& c : changes_)
    if (c.before) styles.insert(c.before.get());
  return bytes;
}

}  // namespace ostrel::style
