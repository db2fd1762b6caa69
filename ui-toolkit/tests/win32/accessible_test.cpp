// The view's accessible objects under Wine, read through oleacc as a client
// reads them: the tree, locations, actions, events, and objects outliving
// their nodes and their view.
#include <windows.h>
#include <oleacc.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host_window.h"
#include "ostrel/ostrel.h"
#include "win32/view_window.h"

namespace {

using ostrel::testing::Host;
using ostrel::testing::pump;

VARIANT self() {
  VARIANT v;
  v.vt = VT_I4;
  v.lVal = CHILDID_SELF;
  return v;
}

std::wstring name_of(IAccessible* a) {
  BSTR name = nullptr;
  if (a->get_accName(self(), &name) != S_OK) return L"";
  std::wstring out(name, SysStringLen(name));
  SysFreeString(name);
  return out;
}

LONG role_of(IAccessible* a) {
  VARIANT role;
  VariantInit(&role);
  a->get_accRole(self(), &role);
  return role.vt == VT_I4 ? role.lVal : -1;
}

LONG state_of(IAccessible* a) {
  VARIANT state;
  VariantInit(&state);
  a->get_accState(self(), &state);
  return state.vt == VT_I4 ? state.lVal : -1;
}

// The child at a 1-based index, or null.
IAccessible* child_of(IAccessible* a, LONG index) {
  VARIANT v;
  v.vt = VT_I4;
  v.lVal = index;
  IDispatch* d = nullptr;
  if (a->get_accChild(v, &d) != S_OK || !d) return nullptr;
  IAccessible* out = nullptr;
  d->QueryInterface(__uuidof(IAccessible), reinterpret_cast<void**>(&out));
  d->Release();
  return out;
}

// The first node, depth first, with this name; AddRef'd.
IAccessible* find(IAccessible* a, const std::wstring& name) {
  if (name_of(a) == name) {
    a->AddRef();
    return a;
  }
  LONG count = 0;
  a->get_accChildCount(&count);
  for (LONG i = 1; i <= count; ++i) {
    IAccessible* c = child_of(a, i);
    if (!c) continue;
    IAccessible* found = find(c, name);
    c->Release();
    if (found) return found;
  }
  return nullptr;
}

std::vector<std::pair<DWORD, LONG>> events;  // what the hook heard: event, child id
void CALLBACK hear(HWINEVENTHOOK, DWORD event, HWND, LONG object, LONG child, DWORD, DWORD) {
  if (object == OBJID_CLIENT) events.emplace_back(event, child);
}

class Accessible : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ostrel::win32::use_windows_views(); }
  void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))); }
  void TearDown() override {
    if (root) root->Release();
    if (view) ostrel::view_free(view);
    CoUninitialize();
  }

  void show(std::string_view html) {
    static constexpr char css[] = "body { margin: 0; font: 13px sans-serif } .hidden { display: none }";
    ostrel::load_html(view, html.data(), html.size());
    ostrel::load_css(view, css, sizeof css - 1);
    ostrel::set_bounds(view, 0, 0, 400, 300);
    ASSERT_EQ(ostrel::attach(view, host.get()), ostrel::status_ok);
    pump(300);
    window = FindWindowExW(host.get(), nullptr, L"OstrelUIView", nullptr);
    ASSERT_TRUE(SUCCEEDED(AccessibleObjectFromWindow(window, static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                                                     reinterpret_cast<void**>(&root))));
  }
  ostrel::Node* by_id(const char* id) {
    return ostrel::get_element_by_id(ostrel::view_document(view), id, std::char_traits<char>::length(id));
  }

  Host host;
  ostrel::View* view = ostrel::view_new();
  HWND window = nullptr;
  IAccessible* root = nullptr;
};

TEST_F(Accessible, TheTreeRolesStatesAndLocations) {
  show(
      "<title>Cleaner</title><div role=tablist><button role=tab aria-selected=true>Home</button>"
      "<button role=tab aria-selected=false>Cleanup</button></div>"
      "<p>Ready</p><label><input type=checkbox id=c checked> Chrome</label>");
  EXPECT_EQ(role_of(root), ROLE_SYSTEM_CLIENT);
  EXPECT_EQ(name_of(root), L"Cleaner") << "the document's title";
  LONG count = 0;
  ASSERT_EQ(root->get_accChildCount(&count), S_OK);
  EXPECT_EQ(count, 3);  // the tab list, the text, the box (its label names it)

  IAccessible* tabs = child_of(root, 1);
  ASSERT_NE(tabs, nullptr);
  EXPECT_EQ(role_of(tabs), ROLE_SYSTEM_PAGETABLIST);
  IAccessible* home = child_of(tabs, 1);
  ASSERT_NE(home, nullptr);
  EXPECT_EQ(role_of(home), ROLE_SYSTEM_PAGETAB);
  EXPECT_EQ(name_of(home), L"Home");
  EXPECT_TRUE(state_of(home) & STATE_SYSTEM_SELECTED);
  IDispatch* parent = nullptr;
  ASSERT_EQ(home->get_accParent(&parent), S_OK);
  IAccessible* parent_a = nullptr;
  parent->QueryInterface(__uuidof(IAccessible), reinterpret_cast<void**>(&parent_a));
  parent->Release();
  EXPECT_EQ(role_of(parent_a), ROLE_SYSTEM_PAGETABLIST);
  parent_a->Release();

  VARIANT next;
  ASSERT_EQ(home->accNavigate(NAVDIR_NEXT, self(), &next), S_OK);
  ASSERT_EQ(next.vt, VT_DISPATCH);
  IAccessible* cleanup = nullptr;
  next.pdispVal->QueryInterface(__uuidof(IAccessible), reinterpret_cast<void**>(&cleanup));
  VariantClear(&next);
  EXPECT_EQ(name_of(cleanup), L"Cleanup");

  // Locations are screen pixels: the hit test at the tab's middle finds it.
  long x = 0, y = 0, w = 0, h = 0;
  ASSERT_EQ(cleanup->accLocation(&x, &y, &w, &h, self()), S_OK);
  POINT origin{0, 0};
  ClientToScreen(window, &origin);
  const ostrel::Rect css = ostrel::element_rect(ostrel::next_sibling(ostrel::first_child(
      ostrel::query_selector(ostrel::document_body(ostrel::view_document(view)), "[role=tablist]", 14))));
  EXPECT_EQ(x, origin.x + static_cast<long>(css.x));
  EXPECT_GT(w, 10);
  VARIANT hit;
  ASSERT_EQ(root->accHitTest(x + w / 2, y + h / 2, &hit), S_OK);
  ASSERT_EQ(hit.vt, VT_DISPATCH);
  IAccessible* hit_a = nullptr;
  hit.pdispVal->QueryInterface(__uuidof(IAccessible), reinterpret_cast<void**>(&hit_a));
  VariantClear(&hit);
  EXPECT_EQ(name_of(hit_a), L"Cleanup");
  hit_a->Release();
  cleanup->Release();
  home->Release();
  tabs->Release();

  IAccessible* box = child_of(root, 3);
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(role_of(box), ROLE_SYSTEM_CHECKBUTTON);
  EXPECT_EQ(name_of(box), L"Chrome");
  EXPECT_EQ(state_of(box), STATE_SYSTEM_CHECKED | STATE_SYSTEM_FOCUSABLE);
  box->Release();
}

TEST_F(Accessible, TheDefaultActionWorksThePageAndEventsTellOfIt) {
  show("<input type=checkbox id=c> Chrome <button id=b>Go</button><table><tr id=row><td>Row</td></tr></table>");
  events.clear();
  HWINEVENTHOOK hook =
      SetWinEventHook(EVENT_MIN, EVENT_MAX, nullptr, hear, GetCurrentProcessId(), 0, WINEVENT_OUTOFCONTEXT);
  IAccessible* box = find(root, L"Chrome");
  ASSERT_NE(box, nullptr);
  BSTR action = nullptr;
  ASSERT_EQ(box->get_accDefaultAction(self(), &action), S_OK);
  EXPECT_EQ(std::wstring(action), L"Check");
  SysFreeString(action);
  ASSERT_EQ(box->accDoDefaultAction(self()), S_OK);
  pump(100);
  EXPECT_TRUE(ostrel::is_checked(by_id("c"))) << "checked in the page";
  EXPECT_TRUE(state_of(box) & STATE_SYSTEM_CHECKED);

  // The event names the box by an id the client object resolves.
  LONG changed = 0;
  for (const auto& [event, child] : events)
    if (event == EVENT_OBJECT_STATECHANGE && child < 0) changed = child;
  ASSERT_NE(changed, 0) << events.size() << " events";
  VARIANT id;
  id.vt = VT_I4;
  id.lVal = changed;
  IDispatch* d = nullptr;
  ASSERT_EQ(root->get_accChild(id, &d), S_OK);
  IAccessible* same = nullptr;
  d->QueryInterface(__uuidof(IAccessible), reinterpret_cast<void**>(&same));
  d->Release();
  EXPECT_EQ(name_of(same), L"Chrome");
  same->Release();

  // Focus taken through the tree is the page's focus, and told.
  IAccessible* go = find(root, L"Go");
  ASSERT_NE(go, nullptr);
  SetFocus(window);
  events.clear();
  ASSERT_EQ(go->accSelect(SELFLAG_TAKEFOCUS, self()), S_OK);
  pump(50);
  EXPECT_TRUE(state_of(go) & STATE_SYSTEM_FOCUSED);
  bool focus_told = false;
  for (const auto& [event, child] : events) focus_told = focus_told || event == EVENT_OBJECT_FOCUS;
  EXPECT_TRUE(focus_told);
  go->Release();
  box->Release();

  // A row chosen with the keys is told as the selection.
  events.clear();
  ostrel::set_attribute(by_id("row"), "aria-selected", 13, "true", 4);
  pump(50);
  bool selection_told = false;
  for (const auto& [event, child] : events) selection_told = selection_told || event == EVENT_OBJECT_SELECTION;
  EXPECT_TRUE(selection_told);
  UnhookWinEvent(hook);
}

TEST_F(Accessible, ObjectsOfGoneNodesAndViewsAnswerNotConnected) {
  show("<button id=b>Go</button><p id=p>text</p>");
  IAccessible* go = find(root, L"Go");
  ASSERT_NE(go, nullptr);
  ostrel::remove(by_id("b"));
  BSTR name = nullptr;
  EXPECT_EQ(go->get_accName(self(), &name), CO_E_OBJNOTCONNECTED);
  LONG count = -1;
  EXPECT_EQ(go->get_accChildCount(&count), CO_E_OBJNOTCONNECTED);
  EXPECT_EQ(go->accDoDefaultAction(self()), CO_E_OBJNOTCONNECTED);
  go->Release();

  // A new node in the same place is a new object: the old one stays gone.
  IAccessible* text = find(root, L"text");
  ASSERT_NE(text, nullptr);
  ostrel::view_free(view);
  view = nullptr;
  EXPECT_EQ(text->get_accName(self(), &name), CO_E_OBJNOTCONNECTED);
  EXPECT_EQ(root->get_accChildCount(&count), CO_E_OBJNOTCONNECTED);
  text->Release();
}

}  // namespace
