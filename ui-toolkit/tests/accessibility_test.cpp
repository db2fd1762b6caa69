// What screen readers are told about a document: roles, names, states,
// rectangles and the shape of the tree, read from a styled and laid-out page.
#include "src/accessibility.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pipeline_fixture.h"
#include "src/controls.h"
#include "src/keyboard.h"

namespace ostrel {
namespace {

using namespace a11y;

struct Accessibility : InputTest {
  Tree a11y{*doc, tree};
  std::string dump() {
    run(400, 300);
    return a11y.dump();
  }
  // Every exposed node below `parent`, depth first.
  void walk(Node* parent, std::vector<Node*>& out) {
    std::vector<Node*> kids;
    a11y.children(parent, kids);
    for (Node* k : kids) {
      out.push_back(k);
      if (k->is_element()) walk(k, out);
    }
  }
};

constexpr char sheet[] = R"(
  body { margin: 0; font: 10px sans-serif }
  .hidden { display: none }
  .ghost { visibility: hidden }
  .scroll { height: 40px; overflow: auto }
  .scroll div { height: 20px }
  button, input { margin: 0; padding: 0; border: 0 }
)";

TEST_F(Accessibility, RolesNamesAndTheElementsLookedThrough) {
  load(R"(<div><div role=tablist><button role=tab aria-selected=true id=a>Home</button>)"
       R"(<button role=tab aria-selected=false>Clean  <b>up</b></button></div>)"
       R"(<p>Some <i>words</i></p><img alt="" src=x.png><img title="Settings" src=x.png>)"
       R"(<a href=x>Help</a><a>not a link</a><span role=presentation><button aria-label="Close">x</button></span>)"
       R"(<input id=f placeholder="Find"><label for=f2>Name</label><input id=f2 value=Bob>)"
       R"(<select><option>One<option selected>Two</select><div aria-hidden=true><button>gone</button></div>)"
       R"(<input type=hidden value=secret></div>)",
       sheet);
  // Text inside a tab names it and is not told twice; a decorative image,
  // a presentation span, aria-hidden content and a hidden input are left out.
  EXPECT_EQ(dump(),
            "tab list \"\" (0, 0, 400, 15)\n"
            "  tab \"Home\" [selected focusable selectable] (0, 0, 31, 15)\n"
            "  tab \"Clean up\" [focusable selectable] (31, 0, 48, 15)\n"
            "text \"Some\" [readonly] (0, 25, 26, 12)\n"
            "text \"words\" [readonly] (26, 25, 28, 12)\n"
            "image \"Settings\" (0, 58, 0, 0)\n"
            "link \"Help\" [focusable linked] (0, 50, 18, 10)\n"
            "text \"not a link\" [readonly] (18, 47, 40, 15)\n"
            "button \"Close\" [focusable] (58, 47, 7, 15)\n"
            "text box \"Find\" [focusable] (64, 47, 150, 15)\n"
            "text \"Name\" [readonly] (214, 47, 23, 15)\n"
            "text box \"Name\" value=\"Bob\" [focusable] (237, 47, 150, 15)\n"
            "combo box \"\" value=\"Two\" [focusable] (0, 62, 46, 19)\n"
            "  list item \"One\" [invisible selectable]\n"
            "  list item \"Two\" [selected invisible selectable]\n");
}

TEST_F(Accessibility, BoxesAreNamedByTheirLabelOrTheWordsBesideThem) {
  load(R"(<div id=a><input type=checkbox id=c1> Chrome <span>(3)</span><img src=i.png alt=warn> <input id=t></div>)"
       R"(<label><input type=radio id=r1> Light <b>theme</b></label>)"
       R"(<div><input type=checkbox id=c2 aria-label="Own name"> words</div>)"
       R"(<div><input type=checkbox id=c3><span class=hidden>not shown</span>shown</div>)"
       R"(<div><input type=checkbox id=c4 title="Only a title"></div>)",
       sheet);
  run(400, 300);
  EXPECT_EQ(a11y.name(by_id("c1")), "Chrome (3)") << "up to the next control, icons skipped";
  EXPECT_EQ(a11y.name(by_id("t")), "") << "a text box takes no words from around it";
  EXPECT_EQ(a11y.name(by_id("r1")), "Light theme");
  EXPECT_FALSE(a11y.exposed(by_id("r1")->next)) << "the label's words are the radio's name, not told again";
  std::vector<Node*> all;
  walk(nullptr, all);
  for (const Node* n : all) EXPECT_NE(a11y.name(n), "theme");
  EXPECT_EQ(a11y.name(by_id("c2")), "Own name");
  EXPECT_EQ(a11y.name(by_id("c3")), "shown");
  EXPECT_EQ(a11y.name(by_id("c4")), "Only a title");
  EXPECT_EQ(a11y.description(by_id("c4")), "") << "the title already is the name";
}

TEST_F(Accessibility, LongNamesAreCutAtACharacterBoundary) {
  std::string words;
  while (words.size() < 3000) words += "가나다 ";  // three bytes a character
  load("<button id=b>" + words + "</button><button id=a aria-label=\"" + words + "\">x</button>", sheet);
  run(400, 300);
  for (const char* id : {"a", "b"}) {
    const std::string name = a11y.name(by_id(id));
    EXPECT_LE(name.size(), max_text);
    EXPECT_GT(name.size(), max_text - 4);
    EXPECT_EQ(words.substr(0, name.size()), name);
    EXPECT_EQ(name.size() % 10 % 3, 0u) << "whole characters only";
  }
}

TEST_F(Accessibility, StatesFollowTheDocument) {
  load(
      R"(<input type=checkbox id=on checked><input type=checkbox id=off><input type=checkbox id=part aria-checked=mixed>)"
      R"(<fieldset disabled><button id=dis>x</button></fieldset><button id=ghost class=ghost>g</button>)"
      R"(<div class=hidden><button id=gone>x</button></div>)"
      R"(<div class=scroll id=s><div><button id=top>1</button></div><div>2</div><div>3</div>)"
      R"(<div><button id=low>4</button></div></div><div tabindex=0 id=focusable aria-expanded=true>x</div>)",
      sheet);
  run(400, 300);
  EXPECT_EQ(a11y.states(by_id("on")), state_checked | state_focusable);
  EXPECT_EQ(a11y.states(by_id("off")), state_focusable);
  EXPECT_EQ(a11y.states(by_id("part")), state_mixed | state_focusable);
  EXPECT_EQ(a11y.states(by_id("dis")), state_unavailable);
  EXPECT_EQ(a11y.states(by_id("ghost")), state_invisible);
  EXPECT_EQ(a11y.states(by_id("gone")), state_invisible) << "display:none still listed, as invisible";
  EXPECT_EQ(a11y.states(by_id("top")), state_focusable);
  EXPECT_EQ(a11y.states(by_id("low")), state_offscreen | state_focusable) << "below the scrolled box's edge";
  EXPECT_EQ(a11y.states(by_id("focusable")), state_focusable | state_expanded);
  EXPECT_EQ(a11y.role(by_id("focusable")), Role::grouping) << "what Tab reaches is listed";

  scroll_to(by_id("s"), 0, 60);
  Keyboard keyboard{*doc, tree};
  keyboard.focus(by_id("low"));
  run(400, 300);
  EXPECT_EQ(a11y.states(by_id("top")), state_offscreen | state_focusable);
  EXPECT_EQ(a11y.states(by_id("low")), state_focused | state_focusable);
  EXPECT_EQ(a11y.bounds(by_id("low"))->y, a11y.bounds(by_id("s"))->y + 0) << "scrolled to the top of the box";

  set_checked(by_id("off"), true);
  remove_class(by_id("ghost"), "ghost", 5);
  run(400, 300);
  EXPECT_EQ(a11y.states(by_id("off")), state_checked | state_focusable);
  EXPECT_EQ(a11y.states(by_id("ghost")), state_focusable);
}

// Every node's children name it as their parent, whatever lies between.
TEST_F(Accessibility, ParentsAndChildrenAgree) {
  load(R"(<table><tr><td><div><input type=checkbox> A</div></td><td>1 MB</td></tr></table>)"
       R"(<ul><li>One <a href=x>link</a></li></ul><div><span><span>deep text</span></span></div>)",
       sheet);
  run(400, 300);
  std::vector<Node*> all;
  walk(nullptr, all);
  ASSERT_EQ(all.size(), 9u);
  std::vector<Node*> kids;
  for (Node* n : all) {
    EXPECT_TRUE(a11y.exposed(n));
    if (!n->is_element()) continue;
    a11y.children(n, kids);
    for (Node* k : kids) EXPECT_EQ(a11y.parent(k), n);
  }
  EXPECT_EQ(a11y.parent(all.front()), nullptr);
  EXPECT_EQ(a11y.name(all.back()), "deep text");
}

TEST_F(Accessibility, HitTestingAndDefaultActions) {
  load(R"(<div id=list><table><tr id=row><td id=cell><input type=checkbox id=c> Chrome</td></tr></table></div>)"
       R"(<a href=x id=l>Help</a><button id=b>Go</button><button id=off disabled>No</button><p id=p>words</p>)",
       sheet);
  listen("list", "click");
  run(400, 300);
  const Rect box = *a11y.bounds(by_id("c"));
  EXPECT_EQ(a11y.at(box.x + 2, box.y + 2), by_id("c"));
  const Rect cell = *a11y.bounds(by_id("cell"));
  EXPECT_EQ(a11y.at(cell.x + cell.width - 2, cell.y + 2), by_id("cell")) << "the words: the cell holds them";
  EXPECT_EQ(a11y.at(399, 299), nullptr);

  EXPECT_EQ(a11y.default_action(by_id("c")), "Check");
  EXPECT_EQ(a11y.default_action(by_id("l")), "Jump");
  EXPECT_EQ(a11y.default_action(by_id("b")), "Press");
  EXPECT_EQ(a11y.default_action(by_id("off")), "") << "disabled";
  EXPECT_EQ(a11y.default_action(by_id("row")), "Click") << "the list listens for clicks on its rows";
  activate(by_id("c"), {});
  EXPECT_EQ(a11y.default_action(by_id("c")), "Uncheck");
  EXPECT_EQ(seen, std::vector<std::string>{"click list"});
}

TEST_F(Accessibility, PixelRectanglesShareEdges) {
  // Two 10.4 px boxes at 150%: the second begins where the first ends.
  const PixelRect a = to_pixels({0, 0, 10.4f, 10.4f}, 1.5f, 100, 50);
  const PixelRect b = to_pixels({10.4f, 0, 10.4f, 10.4f}, 1.5f, 100, 50);
  EXPECT_EQ(a.left, 100);
  EXPECT_EQ(a.top, 50);
  EXPECT_EQ(a.left + a.width, b.left);
  EXPECT_EQ(b.width, 15);
}

}  // namespace
}  // namespace ostrel
