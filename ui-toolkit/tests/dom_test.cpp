#include "dom/dom.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "html/parser.h"
#include "ostrel/ostrel.h"

namespace {

using namespace ostrel;

TEST(Dom, InternedNamesAreStableAndKnownAtomsFixed) {
  InternTable names;
  EXPECT_EQ(names.find("div"), atom_div);
  EXPECT_EQ(names.find("data-theme"), atom_data_theme);
  EXPECT_EQ(names.find("never-seen"), no_atom);
  EXPECT_EQ(names.intern(""), no_atom);
  const Atom a = names.intern("tab-home");
  const char* text = names.name(a).data();
  for (int i = 0; i < 5000; ++i) names.intern("name-" + std::to_string(i));
  EXPECT_EQ(names.intern("tab-home"), a);
  EXPECT_EQ(names.name(a).data(), text);  // tag_name() pointers survive growth
  EXPECT_EQ(tag_kind_of(atom_td), TagKind::td);
  EXPECT_EQ(tag_kind_of(names.intern("custom")), TagKind::other);
}

TEST(Dom, FreeListsRecycleNodesAndAttributes) {
  View* view = view_new();
  Document* doc = view_document(view);
  load_html(view, "", 0);
  Node* body = document_body(doc);
  std::set<Node*> first_round;
  for (int i = 0; i < 1000; ++i) {
    Node* row = create_element(doc, "tr", 2);
    set_attribute(row, "data-index", 10, "1", 1);
    append_child(body, row);
    first_round.insert(row);
  }
  while (Node* child = first_child(body)) remove(child);
  int reused = 0;
  for (int i = 0; i < 1000; ++i) {
    Node* row = create_element(doc, "tr", 2);
    reused += first_round.contains(row);
    EXPECT_EQ(row->attributes, nullptr);  // a recycled node comes back clean
    EXPECT_TRUE(row->listeners.empty());
    append_child(body, row);
  }
  EXPECT_EQ(reused, 1000);
  view_free(view);
}

TEST(Dom, NavigationSkipsPseudoElementBoxes) {
  Document doc;
  parse_html(doc, doc.document_node, "<p id=p>text</p>");
  Node* p = doc.document_node->first_child->last_child->first_child;  // html > body > p
  Node* before = doc.create_element("before");
  before->flags |= flag_pseudo;
  doc.create_text("ignored");
  Node* generated = doc.create_text("generated ");
  link_child(before, generated, nullptr);
  link_child(p, before, p->first_child);
  Node* after = doc.create_element("after");
  after->flags |= flag_pseudo;
  link_child(p, after, nullptr);

  EXPECT_TRUE(first_child(p)->is_text());
  EXPECT_EQ(next_sibling(first_child(p)), nullptr);
  std::size_t n = 0;
  const char* text = text_content(p, &n);
  EXPECT_EQ(std::string(text, n), "text");
  EXPECT_EQ(dump(p), "p id=\"p\"\n  \"text\"\n");
}

TEST(Dom, ClassAttributeAndControlKindsFollowAttributes) {
  Document doc;
  Node* input = doc.create_element("input");
  EXPECT_EQ(input->control, ControlKind::text);
  set_attribute_value(input, atom_type, " CheckBox ");
  EXPECT_EQ(input->control, ControlKind::checkbox);
  set_attribute_value(input, atom_type, "submit");
  EXPECT_EQ(input->control, ControlKind::button);
  remove_attribute_value(input, atom_type);
  EXPECT_EQ(input->control, ControlKind::text);
  set_attribute_value(input, atom_class, "\ta b\n a ");
  EXPECT_EQ(input->classes.size(), 2u);
  EXPECT_TRUE(has_class(input, doc.names.find("b")));
  remove_attribute_value(input, atom_class);
  EXPECT_TRUE(input->classes.empty());
}

TEST(Dom, DataAttributesRestyleOnlyWhenASelectorNamesThem) {
  View* view = view_new();
  Document* doc = view_document(view);
  const char html[] = "<div id=d></div>";
  load_html(view, html, sizeof html - 1);
  Node* d = get_element_by_id(doc, "d", 1);
  const char css[] = ":root[data-theme=\"light\"] { color: red }";
  load_css(view, css, sizeof css - 1);

  d->flags = 0;
  set_attribute(d, "data-resize", 11, "1", 1);
  EXPECT_FALSE(d->flags & flag_needs_restyle);
  set_attribute(d, "data-theme", 10, "light", 5);
  EXPECT_TRUE(d->flags & flag_needs_restyle);
  d->flags = 0;
  set_attribute(d, "title", 5, "t", 1);
  EXPECT_TRUE(d->flags & flag_needs_restyle);
  view_free(view);
}

}  // namespace
