// ::before and ::after: their styles, and the nodes that stand for them as the
// host's first and last child.
#include <memory>

#include "style/engine.h"
#include "style/properties.h"

namespace ostrel::style {

bool StyleEngine::generates_content(const Node* element) {
  return !is_void_element(element->tag_kind) && element->tag_kind != TagKind::svg &&
         element->tag_kind != TagKind::select && element->tag_kind != TagKind::textarea;
}

std::shared_ptr<const ComputedStyle> StyleEngine::generated_style(Node* host, const std::vector<MatchedRule>& matched,
                                                                  const ComputedStyle& host_style) {
  if (matched.empty()) return nullptr;  // content stays "none": no box
  std::shared_ptr<ComputedStyle> style = std::make_shared<ComputedStyle>(inherited_only(host_style));
  apply_rules(host, true, matched, host_style, *style);
  if (!style->has_content || style->display == Display::none) return nullptr;
  if (style->position == Position::absolute || style->position == Position::fixed ||
      host_style.display == Display::flex || host_style.display == Display::inline_flex)
    style->display = blockified(style->display);
  return style;
}

void StyleEngine::place_generated(Node* host, Atom tag, std::shared_ptr<const ComputedStyle> style) {
  Node* box = tag == atom_pseudo_before ? host->first_child : host->last_child;
  if (box && !(box->is_pseudo() && box->tag == tag)) box = nullptr;
  if (!style) {
    if (box) {
      detach(box);
      document_.release_subtree(box);
      document_.invalidate(host, flag_needs_layout | flag_needs_paint);
    }
    return;
  }
  if (!box) {
    Node* text = document_.create_text(style->content);
    box = document_.new_node(NodeType::element);
    box->tag = tag;
    box->flags |= flag_pseudo;
    link_child(box, text, nullptr);
    link_child(host, box, tag == atom_pseudo_before ? host->first_child : nullptr);
    changes_.push_back({box, nullptr});
    document_.invalidate(host, flag_needs_layout | flag_needs_paint);
  } else {
    // Updated in place: a hover that changes the text keeps the nodes.
    if (box->style != style) {
      changes_.push_back({box, box->style});
      document_.invalidate(box, flag_style_changed | flag_needs_paint);  // layout judges what it changes
    }
    if (Node* text = box->first_child; text && text->is_text() && text->text != style->content) {
      text->text = style->content;
      document_.invalidate(box, flag_needs_layout | flag_needs_paint);
    }
  }
  box->style = std::move(style);
  box->flags &= ~(flag_needs_restyle | flag_descendant_needs_restyle);
}

}  // namespace ostrel::style
