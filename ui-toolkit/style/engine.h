// The cascade: default sheet, author sheet and inline styles resolved into a
// computed style for every element, restyling only what was marked.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "css/stylesheet.h"
#include "dom/dom.h"
#include "style/computed.h"

namespace ostrel::style {

// Bytes of one computed style and what it alone holds.
std::size_t style_bytes(const ComputedStyle& style);

class StyleEngine {
 public:
  explicit StyleEngine(Document& document);
  ~StyleEngine();
  StyleEngine(const StyleEngine&) = delete;
  StyleEngine& operator=(const StyleEngine&) = delete;

  // Brings computed styles up to date: everything after a new sheet or a media
  // change, otherwise the subtrees of elements marked for restyle. Returns the
  // number of elements whose style was computed.
  std::size_t update(const css::MediaEnvironment& environment);

  const css::StyleSheet& author_sheet() const { return author_; }
  // A copy of `base` with declarations applied over it (a key frame's values).
  ComputedStyle with_declarations(const ComputedStyle& base, const ComputedStyle& parent,
                                  const std::vector<css::Declaration>& declarations) const;
  // Elements whose style the last update replaced, with the style they had
  // before (null for a first style). Transitions start from these. The
  // ::before and ::after nodes the update made or kept are among them.
  struct Change {
    Node* element;
    std::shared_ptr<const ComputedStyle> before;
  };
  const std::vector<Change>& changes() const { return changes_; }
  const css::KeyframesRule* keyframes(std::string_view name) const;
  // The computed style of an element (after update); text nodes use their parent's.
  static const ComputedStyle* style_of(const Node* node);
  // Bytes of the sheets and the engine's caches. The styles the caches keep
  // are added to `styles` rather than counted, so that each style counts
  // once whoever holds it (see style_bytes).
  std::size_t memory_usage(std::unordered_set<const ComputedStyle*>& styles) const;

 private:
  struct MatchedRule {
    const css::StyleRule* rule;
    css::Specificity specificity;
    std::uint32_t origin;  // 0 default sheet, 1 author sheet
  };
  // An element's style with those of its generated boxes (null: no box).
  struct StyleSet {
    std::shared_ptr<const ComputedStyle> element, before, after;
  };

  void reload_sheets();
  bool media_changed(const css::MediaEnvironment& environment);
  StyleSet compute(Node* element, const std::shared_ptr<const ComputedStyle>& parent);
  void prune_share_cache();
  // Rules that match `element`, in cascade order: for the element itself, its ::before and its ::after.
  void match_rules(const Node* element, std::vector<MatchedRule> (&out)[3]) const;
  // Cascades `matched` into `out`; `generated` for a ::before/::after of `element`.
  void apply_rules(Node* element, bool generated, const std::vector<MatchedRule>& matched, const ComputedStyle& parent,
                   ComputedStyle& out);
  // Elements whose content the toolkit draws itself (controls, pictures) get no ::before or ::after.
  static bool generates_content(const Node* element);
  std::shared_ptr<const ComputedStyle> generated_style(Node* host, const std::vector<MatchedRule>& matched,
                                                       const ComputedStyle& host_style);
  // Makes, updates in place or removes the host's ::before (first child) or ::after (last child).
  void place_generated(Node* host, Atom tag, std::shared_ptr<const ComputedStyle> style);

  Document& document_;
  css::StyleSheet defaults_;
  css::StyleSheet author_;
  std::vector<const css::MediaQueryList*> media_lists_;
  std::vector<bool> media_results_;
  css::MediaEnvironment environment_;
  bool sibling_sensitive_ = false;  // some selector looks at siblings: no style sharing
  std::shared_ptr<const ComputedStyle> initial_;
  // Generated boxes are shared with their element: the same key matches the same pseudo-element rules.
  // An entry keeps the parent style its key names alive, so that no other
  // style can take that address and find children computed for another parent.
  struct Shared {
    StyleSet styles;
    std::shared_ptr<const ComputedStyle> parent;
  };
  std::unordered_map<std::string, Shared> share_cache_;
  std::size_t prune_at_ = 512;  // share_cache_ entries at which unused ones are let go
  std::vector<Change> changes_;
};

// The box type of an element that must be a block: the root, an absolutely
// positioned box, a flex item (CSS Display 3 §2.7).
Display blockified(Display d);

}  // namespace ostrel::style
