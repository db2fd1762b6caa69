// Transitions and @keyframes animations, advanced by frame time. They change
// what is drawn (colours, opacity, transforms), never the layout.
#pragma once

#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

#include "dom/dom.h"
#include "style/computed.h"
#include "style/engine.h"

namespace ostrel::style {

// The properties that animate.
struct AnimatedValues {
  Color color, background;
  Color border[4];
  float opacity = 1;
  Transform transform;

  static AnimatedValues of(const ComputedStyle& s);
  void apply_to(ComputedStyle& s) const;
  friend bool operator==(const AnimatedValues&, const AnimatedValues&) = default;
};

AnimatedValues interpolate(const AnimatedValues& from, const AnimatedValues& to, float progress);

class Animator {
 public:
  // Starts transitions for the elements the last style update changed; run
  // after every StyleEngine::update, with the frame time in seconds.
  void styles_changed(const StyleEngine& engine, double now);
  // Puts the animated values of time `now` into the elements' styles. Returns
  // whether another frame is needed (something is still moving).
  bool tick(const StyleEngine& engine, double now);
  bool idle() const { return entries_.empty(); }

 private:
  struct Running {       // one property group in transition
    std::uint8_t group;  // which part of AnimatedValues (see animation.cpp)
    AnimatedValues from, to;
    double start = 0;
    float duration = 0, delay = 0;
    TimingFunction timing;
  };
  struct Playing {  // one @keyframes animation
    Animation animation;
    double start = 0;
  };
  struct Entry {
    Node* node;
    std::uint64_t serial;
    std::shared_ptr<const ComputedStyle> base;       // the style the cascade computed
    std::shared_ptr<const ComputedStyle> displayed;  // what tick() put on the node
    std::vector<Running> transitions;
    std::vector<Playing> animations;
  };

  Entry& entry_for(Node* node);

  std::unordered_map<Node*, Entry> entries_;
};

}  // namespace ostrel::style
