#include "style/animation.h"

#include <algorithm>
#include <cmath>

namespace ostrel::style {
namespace {

// Parts of AnimatedValues that transition independently.
enum Group : std::uint8_t { group_color, group_background, group_border, group_opacity, group_transform, group_count };

bool group_of(css::Property p, std::uint8_t& out) {
  using P = css::Property;
  switch (p) {
    case P::color:
      out = group_color;
      return true;
    case P::background_color:
    case P::background:
      out = group_background;
      return true;
    case P::border_color:
    case P::border:
    case P::border_top_color:
    case P::border_right_color:
    case P::border_bottom_color:
    case P::border_left_color:
      out = group_border;
      return true;
    case P::opacity:
      out = group_opacity;
      return true;
    case P::transform:
      out = group_transform;
      return true;
    default:
      return false;
  }
}

bool same_group(const AnimatedValues& a, const AnimatedValues& b, std::uint8_t g) {
  switch (g) {
    case group_color:
      return a.color == b.color;
    case group_background:
      return a.background == b.background;
    case group_border:
      return std::equal(std::begin(a.border), std::end(a.border), std::begin(b.border));
    case group_opacity:
      return a.opacity == b.opacity;
    default:
      return a.transform == b.transform;
  }
}

void copy_group(AnimatedValues& to, const AnimatedValues& from, std::uint8_t g) {
  switch (g) {
    case group_color:
      to.color = from.color;
      break;
    case group_background:
      to.background = from.background;
      break;
    case group_border:
      std::copy(std::begin(from.border), std::end(from.border), std::begin(to.border));
      break;
    case group_opacity:
      to.opacity = from.opacity;
      break;
    default:
      to.transform = from.transform;
      break;
  }
}

// The transition of a style that covers a group, if any.
const Transition* transition_for(const ComputedStyle& s, std::uint8_t g) {
  const Transition* found = nullptr;
  for (const Transition& t : s.transitions) {
    std::uint8_t tg = 0;
    if (t.property == css::Property::unknown || (group_of(t.property, tg) && tg == g)) found = &t;  // the last one wins
  }
  return found && (found->duration > 0 || found->delay > 0) ? found : nullptr;
}

std::uint8_t mix(std::uint8_t a, std::uint8_t b, float p) {
  return static_cast<std::uint8_t>(std::lround(std::clamp(a + (b - a) * p, 0.0f, 255.0f)));
}

Color mix(const Color& a, const Color& b, float p) {
  return {mix(a.r, b.r, p), mix(a.g, b.g, p), mix(a.b, b.b, p), mix(a.a, b.a, p)};
}

}  // namespace

AnimatedValues AnimatedValues::of(const ComputedStyle& s) {
  AnimatedValues v;
  v.color = s.color;
  v.background = s.background_color;
  for (int i = 0; i < 4; ++i) v.border[i] = s.used_border_color(i);
  v.opacity = s.opacity;
  v.transform = s.transform;
  return v;
}

void AnimatedValues::apply_to(ComputedStyle& s) const {
  s.color = color;
  s.background_color = background;
  for (int i = 0; i < 4; ++i) {
    s.border_color[i] = border[i];
    s.border_color_current[i] = false;
  }
  s.opacity = opacity;
  s.transform = transform;
}

AnimatedValues interpolate(const AnimatedValues& from, const AnimatedValues& to, float p) {
  AnimatedValues v;
  v.color = mix(from.color, to.color, p);
  v.background = mix(from.background, to.background, p);
  for (int i = 0; i < 4; ++i) v.border[i] = mix(from.border[i], to.border[i], p);
  v.opacity = from.opacity + (to.opacity - from.opacity) * p;
  const Transform& a = from.transform;
  const Transform& b = to.transform;
  if (a.pure_rotation && b.pure_rotation) {
    v.transform = Transform::rotation(a.degrees + (b.degrees - a.degrees) * p);
  } else {
    auto lerp = [p](float x, float y) { return x + (y - x) * p; };
    v.transform = {lerp(a.a, b.a), lerp(a.b, b.b), lerp(a.c, b.c), lerp(a.d, b.d), lerp(a.e, b.e), lerp(a.f, b.f)};
    v.transform.pure_rotation = false;
  }
  return v;
}

Animator::Entry& Animator::entry_for(Node* node) {
  auto it = entries_.find(node);
  if (it != entries_.end() && it->second.serial == node->serial) return it->second;
  Entry& e = entries_[node];
  e = Entry{node, node->serial, nullptr, nullptr, {}, {}};
  return e;
}

void Animator::styles_changed(const StyleEngine& engine, double now) {
  for (const StyleEngine::Change& change : engine.changes()) {
    Node* node = change.element;
    const std::shared_ptr<const ComputedStyle>& style = node->style;
    if (!style) continue;
    auto existing = entries_.find(node);
    const bool known = existing != entries_.end() && existing->second.serial == node->serial;
    const bool wants_transition = change.before && !style->transitions.empty();
    const bool shown = style->display != Display::none;
    if (!known && !wants_transition && (style->animations.empty() || !shown)) continue;

    Entry& e = entry_for(node);
    // Transitions start from what is on screen now, which may be mid-way through another.
    const AnimatedValues current = e.displayed     ? AnimatedValues::of(*e.displayed)
                                   : change.before ? AnimatedValues::of(*change.before)
                                                   : AnimatedValues::of(*style);
    const AnimatedValues target = AnimatedValues::of(*style);
    for (std::uint8_t g = 0; g < group_count; ++g) {
      std::erase_if(e.transitions, [&](const Running& r) { return r.group == g && !same_group(r.to, target, g); });
      if (same_group(current, target, g)) continue;
      const Transition* t = change.before ? transition_for(*style, g) : nullptr;
      if (!t) continue;
      e.transitions.push_back({g, current, target, now, t->duration, t->delay, t->timing});
    }
    // Animations run while their name stays in the style and the element is shown.
    std::vector<Playing> playing;
    if (shown) {
      for (const Animation& a : style->animations) {
        auto same = std::find_if(e.animations.begin(), e.animations.end(),
                                 [&](const Playing& p) { return p.animation.name == a.name; });
        playing.push_back({a, same != e.animations.end() ? same->start : now});
      }
    }
    e.animations = std::move(playing);
    e.base = style;
    e.displayed = nullptr;
  }
}

bool Animator::tick(const StyleEngine& engine, double now) {
  bool more = false;
  for (auto it = entries_.begin(); it != entries_.end();) {
    Entry& e = it->second;
    Node* node = e.node;
    // A recycled node, or one restyled without styles_changed: let it go.
    if (node->serial != e.serial || !e.base || (node->style != e.base && node->style != e.displayed)) {
      it = entries_.erase(it);
      continue;
    }
    AnimatedValues values = AnimatedValues::of(*e.base);
    std::erase_if(e.transitions, [&](const Running& r) { return now - r.start >= r.delay + r.duration; });
    for (const Running& r : e.transitions) {
      const double elapsed = now - r.start - r.delay;
      const float p = elapsed <= 0 ? 0.0f : r.timing.apply(static_cast<float>(elapsed / r.duration));
      copy_group(values, interpolate(r.from, r.to, p), r.group);
    }
    const ComputedStyle* parent =
        node->parent && node->parent->is_element() && node->parent->style ? node->parent->style.get() : e.base.get();
    std::erase_if(e.animations, [&](const Playing& a) {
      const double elapsed = now - a.start - a.animation.delay;
      return a.animation.duration <= 0 ||
             (a.animation.iterations >= 0 && elapsed >= a.animation.duration * a.animation.iterations &&
              !(a.animation.fill & 1));
    });
    for (const Playing& a : e.animations) {
      const css::KeyframesRule* rule = engine.keyframes(a.animation.name);
      if (!rule) continue;
      const double elapsed = now - a.start - a.animation.delay;
      if (elapsed < 0 && !(a.animation.fill & 2)) continue;
      double iteration = std::max(0.0, elapsed) / a.animation.duration;
      if (a.animation.iterations >= 0) iteration = std::min(iteration, static_cast<double>(a.animation.iterations));
      double whole = std::floor(iteration);
      float p = static_cast<float>(iteration - whole);
      if (a.animation.iterations >= 0 && iteration >= a.animation.iterations && p == 0 && whole > 0) p = 1, whole -= 1;
      bool reversed = a.animation.reverse;
      if (a.animation.alternate && static_cast<long long>(whole) % 2 == 1) reversed = !reversed;
      if (reversed) p = 1 - p;
      // Key frames as (offset, values); missing ends take the element's own values.
      std::vector<std::pair<float, AnimatedValues>> frames;
      for (const css::Keyframe& frame : rule->frames) {
        const AnimatedValues v = AnimatedValues::of(engine.with_declarations(*e.base, *parent, frame.declarations));
        for (float offset : frame.offsets) frames.emplace_back(offset, v);
      }
      std::stable_sort(frames.begin(), frames.end(), [](const auto& x, const auto& y) { return x.first < y.first; });
      if (frames.empty() || frames.front().first > 0)
        frames.insert(frames.begin(), {0.0f, AnimatedValues::of(*e.base)});
      if (frames.back().first < 1) frames.emplace_back(1.0f, AnimatedValues::of(*e.base));
      std::size_t k = 1;
      while (k + 1 < frames.size() && frames[k].first < p) ++k;
      const auto& [o0, v0] = frames[k - 1];
      const auto& [o1, v1] = frames[k];
      const float local = o1 > o0 ? (p - o0) / (o1 - o0) : 1.0f;
      const AnimatedValues at = interpolate(v0, v1, a.animation.timing.apply(std::clamp(local, 0.0f, 1.0f)));
      // Only what the key frames set is animated: a colour transition on a
      // turning spinner still runs.
      const AnimatedValues own = AnimatedValues::of(*e.base);
      for (std::uint8_t g = 0; g < group_count; ++g)
        if (std::any_of(frames.begin(), frames.end(), [&](const auto& f) { return !same_group(f.second, own, g); }))
          copy_group(values, at, g);
      if (a.animation.iterations < 0 || elapsed < a.animation.duration * a.animation.iterations) more = true;
    }
    if (!e.transitions.empty()) more = true;

    if (values == AnimatedValues::of(*e.base)) {
      node->style = e.base;
      e.displayed = nullptr;
    } else {
      auto shown = std::make_shared<ComputedStyle>(*e.base);
      values.apply_to(*shown);
      e.displayed = shown;
      node->style = std::move(shown);
    }
    // The layout swaps the style into its boxes, and lays out again only if
    // an animated value moves something.
    node->document->invalidate(node, flag_style_changed | flag_needs_paint);
    if (e.transitions.empty() && e.animations.empty()) {
      node->style = e.base;
      it = entries_.erase(it);
    } else {
      ++it;
    }
  }
  return more;
}

}  // namespace ostrel::style
