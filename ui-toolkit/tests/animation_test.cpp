#include "style/animation.h"

#include <gtest/gtest.h>

#include "pipeline_fixture.h"

namespace {

using namespace ostrel;
using style::Color;

struct Animated : PipelineTest {
  style::Animator animator;
  void restyle(double now) {
    engine.update({464, 417, false, true, true, false});
    animator.styles_changed(engine, now);
  }
  const style::ComputedStyle& shown(const char* id) { return *by_id(id)->style; }
};

TEST_F(Animated, TabBackgroundTransitionsOverItsDuration) {
  load("<button id=t class=tab>Home</button>",
       ".tab { background: #ffffff; transition: background-color 120ms linear, color 120ms }"
       ".tab.active { background: #000000 }");
  restyle(0);
  EXPECT_TRUE(animator.idle());  // a first style does not transition
  add_class(by_id("t"), "active", 6);
  restyle(1.0);
  EXPECT_TRUE(animator.tick(engine, 1.06));
  const Color mid = shown("t").background_color;
  EXPECT_NEAR(mid.r, 128, 1);
  EXPECT_EQ(mid.a, 255);
  EXPECT_FALSE(animator.tick(engine, 1.2));  // done: nothing more to draw
  EXPECT_EQ(shown("t").background_color, (Color{0, 0, 0, 255}));
  EXPECT_TRUE(animator.idle());
}

TEST_F(Animated, ReversingMidWayStartsFromWhatIsShown) {
  load("<button id=t class=tab>Home</button>",
       ".tab { background: #ffffff; transition: background-color 100ms linear } .tab.active { background: #000000 }");
  restyle(0);
  add_class(by_id("t"), "active", 6);
  restyle(1.0);
  animator.tick(engine, 1.05);  // half-way to black
  remove_class(by_id("t"), "active", 6);
  restyle(1.05);
  animator.tick(engine, 1.05);
  EXPECT_NEAR(shown("t").background_color.r, 128, 1);  // no jump back to white or black
  animator.tick(engine, 1.1);
  EXPECT_NEAR(shown("t").background_color.r, 191, 2);
  EXPECT_FALSE(animator.tick(engine, 1.2));
  EXPECT_EQ(shown("t").background_color, (Color{255, 255, 255, 255}));
}

TEST_F(Animated, SpinnerTurnsForeverOnlyWhileShown) {
  load("<div id=s class='cl-spin hidden'></div>",
       ".cl-spin { width: 40px; height: 40px; animation: cl-rot 0.8s linear infinite }"
       "@keyframes cl-rot { to { transform: rotate(360deg) } } .hidden { display: none }");
  restyle(0);
  EXPECT_FALSE(animator.tick(engine, 0.1));  // hidden: nothing runs, no frames asked
  remove_class(by_id("s"), "hidden", 6);
  restyle(2.0);
  EXPECT_TRUE(animator.tick(engine, 2.2));
  EXPECT_NEAR(shown("s").transform.degrees, 90, 0.01);
  EXPECT_TRUE(animator.tick(engine, 3.0));  // 1.0 s in: one full turn plus a quarter
  EXPECT_NEAR(shown("s").transform.degrees, 90, 0.01);
  EXPECT_NEAR(shown("s").transform.b, 1.0f, 1e-5f);
  add_class(by_id("s"), "hidden", 6);
  restyle(3.1);
  EXPECT_FALSE(animator.tick(engine, 3.2));
  EXPECT_TRUE(animator.idle());
}

TEST_F(Animated, RunningAnimationsReachTheLayoutWithoutLayingOut) {
  load("<div id=s class=cl-spin>wait</div>",
       ".cl-spin { width: 40px; height: 40px; animation: cl-rot 0.8s linear infinite; color: red;"
       " transition: color 100ms } .cl-spin.blue { color: blue }"
       "@keyframes cl-rot { to { transform: rotate(360deg) } }");
  restyle(0);
  tree.layout({464, 417, 17});
  for (double now : {0.2, 0.3}) {
    ASSERT_TRUE(animator.tick(engine, now));
    tree.layout({464, 417, 17});
    EXPECT_EQ(tree.boxes_laid_out(), 0u) << "a turning spinner only draws";
    const layout::Box* box = tree.box_of(by_id("s"));
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->style, by_id("s")->style.get()) << "the box paints the animated style";
    EXPECT_EQ(box->children[0]->style, box->style) << "and so does its text";
  }
  add_class(by_id("s"), "blue", 4);
  restyle(0.4);
  animator.tick(engine, 0.45);
  tree.layout({464, 417, 17});
  EXPECT_EQ(tree.box_of(by_id("s"))->style->color, by_id("s")->style->color);
  EXPECT_NE(by_id("s")->style->color, (Color{0, 0, 255, 255})) << "half-way through the transition";
}

TEST(AnimatedValues, RotationsInterpolateByAngleAndColoursByChannel) {
  style::AnimatedValues a, b;
  b.transform = style::Transform::rotation(360);
  const auto half = style::interpolate(a, b, 0.5f);
  EXPECT_NEAR(half.transform.degrees, 180, 1e-4);
  EXPECT_NEAR(half.transform.a, -1, 1e-5);  // a matrix blend of two identities would stay at 1
  a.background = {0, 0, 0, 0};
  b.background = {200, 100, 50, 255};
  EXPECT_EQ(style::interpolate(a, b, 0.5f).background, (style::Color{100, 50, 25, 128}));
}

}  // namespace
