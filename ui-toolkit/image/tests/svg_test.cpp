#include "ostrel/image/svg.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

using namespace ostrel::image;
using namespace std::string_literals;

SvgPicture parse(const std::string& text) {
  auto p = parse_svg(text);
  EXPECT_TRUE(p.has_value()) << text;
  return p ? std::move(*p) : SvgPicture{};
}

SvgShape only_shape(const std::string& inner, const std::string& root_attributes = "") {
  const SvgPicture p = parse("<svg xmlns='http://www.w3.org/2000/svg' " + root_attributes + ">" + inner + "</svg>");
  EXPECT_EQ(p.shapes.size(), 1u) << inner;
  return p.shapes.empty() ? SvgShape{} : p.shapes[0];
}

void expect_color(const Paint& paint, int r, int g, int b, int a) {
  EXPECT_FALSE(paint.none);
  EXPECT_FALSE(paint.current_color);
  EXPECT_EQ(paint.color.r, r);
  EXPECT_EQ(paint.color.g, g);
  EXPECT_EQ(paint.color.b, b);
  EXPECT_EQ(paint.color.a, a);
}

void expect_point(const Point& p, float x, float y) {
  EXPECT_NEAR(p.x, x, 1e-3);
  EXPECT_NEAR(p.y, y, 1e-3);
}

TEST(SvgSniff, FirstElementAfterTheProlog) {
  EXPECT_TRUE(looks_like_svg("<svg>"));
  EXPECT_TRUE(looks_like_svg("<svg"));  // sniffing the first bytes only
  EXPECT_TRUE(
      looks_like_svg("\xEF\xBB\xBF<?xml version='1.0'?>\n<!-- made by hand -->\n"
                     "<!DOCTYPE svg PUBLIC \"-//W3C//DTD SVG 1.1//EN\" \"x.dtd\" [<!ENTITY a '>'>]>\n"
                     "  <svg width='1'/>"));
  EXPECT_TRUE(looks_like_svg("<svg:svg xmlns:svg='http://www.w3.org/2000/svg'>"));
  EXPECT_FALSE(looks_like_svg(""));
  EXPECT_FALSE(looks_like_svg("<svg:"));
  EXPECT_FALSE(looks_like_svg("<svgx>"));
  EXPECT_FALSE(looks_like_svg("<SVG>"));
  EXPECT_FALSE(looks_like_svg("<html><svg>"));
  EXPECT_FALSE(looks_like_svg("text <svg>"));
  EXPECT_FALSE(looks_like_svg("<!-- unterminated <svg>"));
}

TEST(SvgDocument, RootAndWellFormedness) {
  EXPECT_FALSE(parse_svg(""));
  EXPECT_FALSE(parse_svg("<html><body/></html>"));
  EXPECT_FALSE(parse_svg("junk<svg/>"));
  EXPECT_FALSE(parse_svg("<svg><g></svg>"));             // mismatched end tag
  EXPECT_FALSE(parse_svg("<svg width=10></svg>"));       // unquoted attribute
  EXPECT_FALSE(parse_svg("<svg><rect x='1' y></svg>"));  // attribute without value
  EXPECT_FALSE(parse_svg("<svg><!DOCTYPE x></svg>"));
  EXPECT_FALSE(parse_svg("<?xml version='1.0'?><svg"));  // root never opened

  // Running out of input after the root opened keeps what was complete.
  EXPECT_EQ(parse("<svg><rect width='1' height='1'/><rect width='2' height='2'/>").shapes.size(), 2u);
  EXPECT_EQ(parse("<svg><rect width='1' height='1'/><rect width='2' hei").shapes.size(), 1u);
  EXPECT_EQ(parse("<svg><g><!-- cut").shapes.size(), 0u);
  // After the root closes nothing matters any more.
  EXPECT_EQ(parse("<svg><circle r='1'/></svg><rect width='1' height='1'/> & junk <").shapes.size(), 1u);
}

TEST(SvgDocument, SkipsUnknownElementsWithTheirSubtrees) {
  const SvgPicture p = parse(R"(<svg:svg xmlns:svg="http://www.w3.org/2000/svg">
    <title>a &lt;rect/&gt; &amp; more</title>
    <defs><linearGradient id="g"><stop/></linearGradient><rect width="5" height="5"/></defs>
    <style><![CDATA[ rect { fill: red } </style> <rect/> ]]></style>
    <metadata><rdf:RDF><rect width="5" height="5"/></rdf:RDF></metadata>
    <svg:rect width="1" height="2"/>
    <text>label<rect width="5" height="5"/></text>
    <path d="M0 0 H3"><title>tip</title><path d="M0 0 H9"/></path>
  </svg:svg>)");
  ASSERT_EQ(p.shapes.size(), 2u);
  expect_point(p.shapes[0].path[2].p[0], 1, 2);
  expect_point(p.shapes[1].path[1].p[0], 3, 0);
}

TEST(SvgDocument, NaturalSize) {
  struct Case {
    std::string attributes;
    float width, height;
  };
  const Case cases[] = {
      {"width='120' height='40px'", 120, 40},
      {"width='2in' height='36pt'", 192, 48},
      {"viewBox='0 0 287.985 92.996'", 287.985f, 92.996f},
      {"width='100%' height='50%' viewBox='0,0,30,10'", 30, 10},
      {"width='60' viewBox='0 0 30 10'", 60, 20},  // the other side keeps the aspect ratio
      {"height='5' viewBox='0 0 30 10'", 15, 5},
      {"", 300, 150},
      {"width='20'", 20, 150},
      {"width='-5' height='bad' viewBox='0 0 -4 4'", 300, 150},
      {"viewBox='0 0 4'", 300, 150},
  };
  for (const Case& c : cases) {
    const SvgPicture p = parse("<svg " + c.attributes + "/>");
    EXPECT_FLOAT_EQ(p.width, c.width) << c.attributes;
    EXPECT_FLOAT_EQ(p.height, c.height) << c.attributes;
  }
  const SvgPicture p = parse("<svg viewBox=' -1.5,2 , 30e1 1e1 '/>");
  ASSERT_TRUE(p.has_view_box);
  EXPECT_FLOAT_EQ(p.view_box[0], -1.5f);
  EXPECT_FLOAT_EQ(p.view_box[1], 2);
  EXPECT_FLOAT_EQ(p.view_box[2], 300);
  EXPECT_FLOAT_EQ(p.view_box[3], 10);
  EXPECT_FALSE(parse("<svg viewBox='0 0 10 0'/>").has_view_box);
}

TEST(SvgPresentation, DefaultsInheritanceAndStyleOverride) {
  const SvgShape plain = only_shape("<rect width='1' height='1'/>");
  expect_color(plain.fill, 0, 0, 0, 255);
  EXPECT_TRUE(plain.stroke.none);
  EXPECT_FLOAT_EQ(plain.stroke_width, 1);
  EXPECT_FALSE(plain.even_odd);

  const SvgPicture p = parse(R"(<svg>
    <g fill="red" stroke="blue" stroke-width="3" fill-rule="evenodd" opacity="0.5">
      <g style="fill: lime ; stroke-opacity:50%">
        <rect width="1" height="1"/>
        <rect style="fill:navy !important" fill="teal" width="1" height="1" opacity=".5"/>
        <rect fill="inherit" stroke="none" fill-rule="nonzero" width="1" height="1"/>
        <rect fill="not-a-colour" style="fill:#12" width="1" height="1"/>
      </g>
    </g></svg>)");
  ASSERT_EQ(p.shapes.size(), 4u);
  expect_color(p.shapes[0].fill, 0, 255, 0, 255);
  expect_color(p.shapes[0].stroke, 0, 0, 255, 128);
  EXPECT_FLOAT_EQ(p.shapes[0].stroke_width, 3);
  EXPECT_TRUE(p.shapes[0].even_odd);
  EXPECT_FLOAT_EQ(p.shapes[0].opacity, 0.5f);
  expect_color(p.shapes[1].fill, 0, 0, 128, 255);  // style beats the attribute written after it
  EXPECT_FLOAT_EQ(p.shapes[1].opacity, 0.25f);
  expect_color(p.shapes[2].fill, 0, 255, 0, 255);
  EXPECT_TRUE(p.shapes[2].stroke.none);
  EXPECT_FALSE(p.shapes[2].even_odd);
  expect_color(p.shapes[3].fill, 0, 255, 0, 255);  // both invalid: inherited value stays
}

TEST(SvgPresentation, ColourForms) {
  struct Case {
    std::string value;
    int r, g, b, a;
  };
  const Case cases[] = {
      {"#32A3F2", 0x32, 0xA3, 0xF2, 255},      {"#fff", 255, 255, 255, 255},
      {"#12345678", 0x12, 0x34, 0x56, 0x78},   {"#f008", 255, 0, 0, 0x88},
      {"rgb(1, 2, 3)", 1, 2, 3, 255},          {"rgb(100%,50%,0%)", 255, 128, 0, 255},
      {"rgba(10,20,30,0.5)", 10, 20, 30, 128}, {"rgb(10 20 30 / 25%)", 10, 20, 30, 64},
      {"RGB(300,-5,0)", 255, 0, 0, 255},       {"Grey", 128, 128, 128, 255},
      {"fuchsia", 255, 0, 255, 255},           {"transparent", 0, 0, 0, 0},
      {"&#x23;0000ff", 0, 0, 255, 255},        {"url(#gradient) orange", 255, 165, 0, 255},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    expect_color(only_shape("<circle r='1' fill='" + c.value + "'/>").fill, c.r, c.g, c.b, c.a);
  }
  for (const std::string bad :
       {"#12", "#12345", "#ggg", "rgb(1,2)", "rgb(1,2,3", "rgb(1,2,3,4,5)", "bluish", "&amp;"}) {
    SCOPED_TRACE(bad);
    expect_color(only_shape("<circle r='1' fill='red' style='fill:" + bad + "'/>").fill, 255, 0, 0, 255);
  }
  EXPECT_TRUE(only_shape("<circle r='1' fill='url(#missing)'/>").fill.none);
  EXPECT_TRUE(only_shape("<circle r='1' fill='none'/>").fill.none);
  expect_color(only_shape("<circle r='1' fill='#ff000080' fill-opacity='0.5'/>").fill, 255, 0, 0, 64);
}

TEST(SvgPresentation, CurrentColorAndVisibility) {
  const SvgShape open = only_shape("<circle r='1' fill='currentColor' fill-opacity='0.5'/>");
  EXPECT_TRUE(open.fill.current_color);
  EXPECT_EQ(open.fill.color.a, 128);
  const SvgShape resolved = only_shape("<g color='teal'><circle r='1' stroke='currentColor'/></g>");
  expect_color(resolved.stroke, 0, 128, 128, 255);

  const SvgPicture p = parse(R"(<svg>
    <g display="none"><rect width="1" height="1"/></g>
    <rect style="display:none" width="1" height="1"/>
    <g visibility="hidden"><rect width="1" height="1"/><rect visibility="visible" width="2" height="2"/></g>
  </svg>)");
  ASSERT_EQ(p.shapes.size(), 1u);
  expect_point(p.shapes[0].path[2].p[0], 2, 2);
}

TEST(SvgTransform, ComposedFromOutsideIn) {
  // The group maps first-drawn shape points last: translate(scale(p)).
  const SvgShape s = only_shape("<g transform='translate(10,20)'><line x2='1' y2='1' transform='scale(2 3)'/></g>");
  expect_point(s.path[0].p[0], 10, 20);
  expect_point(s.path[1].p[0], 12, 23);

  expect_point(only_shape("<line x1='5' y1='0' transform='rotate(90)'/>").path[0].p[0], 0, 5);
  expect_point(only_shape("<line x1='2' y1='1' transform='rotate(180 1 1)'/>").path[0].p[0], 0, 1);
  expect_point(only_shape("<line x1='1' y1='2' transform='matrix(1 0 0 1 5 6)'/>").path[0].p[0], 6, 8);
  expect_point(only_shape("<line x1='0' y1='2' transform='skewX(45)'/>").path[0].p[0], 2, 2);
  expect_point(only_shape("<line x1='2' y1='0' transform='skewY(45)'/>").path[0].p[0], 2, 2);
  expect_point(only_shape("<line x1='1' y1='1' transform='translate(1)scale(2),rotate(0)'/>").path[0].p[0], 3, 2);
  // A malformed list is ignored as a whole.
  for (std::string bad :
       {"translate(1", "scale()", "rotate(1 2)", "shift(3)", "translate(1 2 3)", "matrix(1 0 0 1 5)"}) {
    expect_point(only_shape("<line x1='1' y1='1' transform='" + bad + "'/>").path[0].p[0], 1, 1);
  }

  EXPECT_FLOAT_EQ(only_shape("<circle r='1' stroke-width='2' transform='scale(2 4)'/>").stroke_width, 6);
  EXPECT_FLOAT_EQ(only_shape("<circle r='1' stroke-width='2' transform='rotate(33) scale(3)'/>").stroke_width, 6);
}

TEST(SvgLimits, DeepNestingAndHugeInputsStayBounded) {
  std::string deep = "<svg>";
  for (int i = 0; i < 5000; ++i) deep += "<g>";
  deep += "<rect width='1' height='1'/>";
  for (int i = 0; i < 5000; ++i) deep += "</g>";
  deep += "<rect width='2' height='2'/></svg>";
  const SvgPicture p = parse(deep);
  ASSERT_EQ(p.shapes.size(), 1u);  // the one beyond the depth limit is skipped, the one after it is not
  expect_point(p.shapes[0].path[2].p[0], 2, 2);

  std::string long_path = "<svg><path d='M0 0";
  for (int i = 0; i < 150000; ++i) long_path += " l1 1";
  long_path += "'/><rect width='1' height='1'/></svg>";
  const SvgPicture big = parse(long_path);
  ASSERT_EQ(big.shapes.size(), 1u);
  EXPECT_EQ(big.shapes[0].path.size(), max_svg_segments);

  const SvgShape huge = only_shape("<path d='M1e38 -1e300 L1e-400 3' transform='scale(1e30) scale(1e30)'/>");
  for (const Segment& s : huge.path) EXPECT_TRUE(std::isfinite(s.p[0].x) && std::isfinite(s.p[0].y));
}

TEST(SvgLogo, ManyCommandsWithFractionalCoordinates) {
  const SvgPicture p = parse(R"(<?xml version="1.0" encoding="UTF-8"?>
<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 287.985 92.996">
  <path fill="#32A3F2" d="M46.498 0C72.178 0 92.996 20.818 92.996 46.498S72.178 92.996 46.498 92.996 0 72.178 0 46.498
    20.818 0 46.498 0zm67.7 18.35h17.6l10.2 36.9 10.5-36.9h17.3l-19.4 56.3h-17.1zM287.985 74.646h-16.5V18.35h16.5z"/>
  <g fill="none" stroke="#FFF" stroke-width="6.5" stroke-linecap="round">
    <path d="M24.5 30.25l12.25 34.5 12.25-34.5M56.1 64.75V30.25h9.8c7.05.0 10.4 3.6 10.4 9.3s-3.35 9.3-10.4 9.3h-9.8"/>
    <polyline points="200.5,30 210.25,64.7 220,30"/>
  </g>
</svg>)");
  EXPECT_FLOAT_EQ(p.width, 287.985f);
  EXPECT_FLOAT_EQ(p.height, 92.996f);
  ASSERT_EQ(p.shapes.size(), 3u);
  expect_color(p.shapes[0].fill, 0x32, 0xA3, 0xF2, 255);
  expect_color(p.shapes[1].stroke, 255, 255, 255, 255);
  EXPECT_TRUE(p.shapes[1].fill.none);
  EXPECT_FLOAT_EQ(p.shapes[1].stroke_width, 6.5f);
  const auto& logo = p.shapes[0].path;
  ASSERT_EQ(logo.size(), 19u);
  EXPECT_EQ(logo[6].kind, SegmentKind::Move);
  expect_point(logo[6].p[0], 114.198f, 18.35f);  // "m" after "z" starts from the closed subpath's start
  expect_point(logo[9].p[0], 152.498f, 18.35f);  // implicit "l" after "l"
  expect_point(logo[12].p[0], 133.298f, 74.65f);
  expect_point(logo[16].p[0], 271.485f, 18.35f);
  EXPECT_EQ(logo[18].kind, SegmentKind::Close);
}

}  // namespace
