// The view's window under Wine: attaching, bounds, frames and what they draw.
#include <windows.h>
#include <imm.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "dom/dom.h"
#include "dom/events.h"
#include "host_window.h"
#include "ostrel/ostrel.h"
#include "win32/screen.h"
#include "win32/view_window.h"

namespace {

using ostrel::testing::Host;
using ostrel::testing::pump;

std::string read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class ViewWindow : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // FRAMELOG lines go to a file the tests read; the switch is read at the first frame.
    log_path_ = std::filesystem::temp_directory_path() / "ostrel-frames.log";
    std::filesystem::remove(log_path_);
    SetEnvironmentVariableW(L"OSTREL_FRAMELOG", L"1");
    std::freopen(log_path_.string().c_str(), "w", stderr);
    ostrel::win32::use_windows_views();
  }
  static std::filesystem::path log_path_;

  Host host;
  ostrel::View* view = ostrel::view_new();
  ~ViewWindow() override { ostrel::view_free(view); }

  void load(std::string_view html, std::string_view css) {
    ostrel::load_html(view, html.data(), html.size());
    ostrel::load_css(view, css.data(), css.size());
  }
  HWND child() const { return FindWindowExW(host.get(), nullptr, L"OstrelUIView", nullptr); }
  // Loads a page into the view, attaches it at the given size and lets its first frames come.
  bool show(std::string_view html, std::string_view css, int width, int height) {
    load(html, css);
    ostrel::set_bounds(view, 0, 0, width, height);
    if (ostrel::attach(view, host.get()) != ostrel::status_ok) return false;
    pump(300);
    return true;
  }
};
std::filesystem::path ViewWindow::log_path_;

TEST_F(ViewWindow, AttachOnceMoveAndFree) {
  ASSERT_EQ(ostrel::attach(view, nullptr), ostrel::status_bad_argument);
  ASSERT_EQ(ostrel::attach(view, reinterpret_cast<void*>(static_cast<std::uintptr_t>(0x1234))),
            ostrel::status_window_failed);
  EXPECT_STREQ(ostrel::last_error(), "attach: parent is not a window");
  ostrel::set_bounds(view, 10, 20, 300, 200);
  ASSERT_EQ(ostrel::attach(view, host.get()), ostrel::status_ok);
  const HWND first = child();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(GetWindowLongW(first, GWL_STYLE) & (WS_CHILD | WS_CLIPSIBLINGS | WS_CLIPCHILDREN),
            WS_CHILD | WS_CLIPSIBLINGS | WS_CLIPCHILDREN);
  EXPECT_EQ(ostrel::attach(view, host.get()), ostrel::status_already_attached);
  EXPECT_STREQ(ostrel::last_error(), "attach: already attached");
  EXPECT_EQ(child(), first);
  EXPECT_EQ(FindWindowExW(host.get(), first, L"OstrelUIView", nullptr), nullptr) << "no second window";

  RECT rc;
  GetClientRect(first, &rc);
  EXPECT_EQ(rc.right, 300);
  EXPECT_EQ(rc.bottom, 200);
  ostrel::set_bounds(view, 0, 0, 200, 100);  // moves at once
  GetClientRect(first, &rc);
  EXPECT_EQ(rc.right, 200);

  ostrel::view_free(view);  // stops the worker and destroys the window
  view = nullptr;
  EXPECT_FALSE(IsWindow(first));
}

TEST_F(ViewWindow, FramesDrawTheDocumentAndThenOnlyWhatChanged) {
  std::string html = "<div id=top>Vorlix 한국어 텍스트 <input type=checkbox checked> <button>Run</button></div>";
  for (int i = 0; i < 8; ++i)
    html += "<div class=row id=r" + std::to_string(i) + ">row " + std::to_string(i) + "</div>";
  load(html,
       "body { margin: 0; font: 14px sans-serif; background: #ffffff } #top { height: 40px; background: #3d84dd;"
       " color: #fff } .row { height: 20px } .on { background: #ff0000 }");
  ostrel::set_bounds(view, 0, 0, 320, 240);
  ASSERT_EQ(ostrel::attach(view, host.get()), ostrel::status_ok);
  pump(400);

  vx::testing::Capture shot = vx::testing::capture(child());
  ASSERT_EQ(shot.width, 320);
  auto at = [&](int x, int y) { return shot.at(x, y); };
  EXPECT_EQ(at(300, 5), 0x3D84DDu) << "the header's background";
  EXPECT_EQ(at(300, 100), 0xFFFFFFu) << "the page's background";
  vx::testing::save_artifact(shot, L"view.png");

  // One row changes: the next frame draws that row's region only.
  std::fflush(stderr);
  const std::size_t before = read_file(log_path_).size();
  ostrel::Document* doc = ostrel::view_document(view);
  ostrel::add_class(ostrel::get_element_by_id(doc, "r3", 2), "on", 2);
  pump(200);
  shot = vx::testing::capture(child());
  EXPECT_EQ(at(300, 40 + 3 * 20 + 10), 0xFF0000u) << "the row turned red";
  EXPECT_EQ(at(300, 40 + 4 * 20 + 10), 0xFFFFFFu);
  std::fflush(stderr);
  const std::string log = read_file(log_path_).substr(before);
  EXPECT_NE(log.find(" part 320x240 n="), std::string::npos) << log;
  EXPECT_EQ(log.find("FULL"), std::string::npos) << "a one-row change is not a full repaint:\n" << log;
}

TEST_F(ViewWindow, PostedMouseMessagesClickTheElementUnderThePointer) {
  ASSERT_TRUE(
      show("<div id=a>first</div><div id=b>second</div><input id=c type=checkbox>",
           "body { margin: 0 } div { height: 30px } input { display: block; width: 13px; height: 13px; margin: 0 }",
           200, 100));
  ostrel::Document* doc = ostrel::view_document(view);
  static std::vector<std::string> clicked;
  clicked.clear();
  auto record = [](ostrel::Event* event, void*) {
    clicked.emplace_back(ostrel::get_attribute(ostrel::event_target(event), "id", 2, nullptr));
  };
  ostrel::on(ostrel::document_body(doc), "click", 5, record, nullptr);  // clicks bubble to the body
  auto click = [&](int x, int y) {
    PostMessageW(child(), WM_MOUSEMOVE, 0, MAKELPARAM(x, y));
    PostMessageW(child(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
    PostMessageW(child(), WM_LBUTTONUP, 0, MAKELPARAM(x, y));
    pump(100);
  };
  click(20, 40);
  click(20, 10);
  click(5, 65);
  EXPECT_EQ(clicked, (std::vector<std::string>{"b", "a", "c"}));
  EXPECT_TRUE(ostrel::is_checked(ostrel::get_element_by_id(doc, "c", 1))) << "the check box's own action";
}

TEST_F(ViewWindow, KeysMoveFocusAndWorkControlsAndTheRootFollowsActivation) {
  ASSERT_TRUE(show("<button id=go>Go</button><input id=box type=checkbox>", "body { margin: 0 }", 200, 100));
  ostrel::Document* doc = ostrel::view_document(view);
  static std::vector<std::string> seen;
  seen.clear();
  auto record = [](ostrel::Event* event, void*) {
    seen.emplace_back(ostrel::get_attribute(ostrel::event_target(event), "id", 2, nullptr));
  };
  ostrel::on(ostrel::document_body(doc), "click", 5, record, nullptr);
  EXPECT_EQ(SendMessageW(child(), WM_GETDLGCODE, 0, 0) & DLGC_WANTTAB, DLGC_WANTTAB) << "Tab is the page's";
  auto key = [&](WPARAM code) {
    PostMessageW(child(), WM_KEYDOWN, code, 1);
    PostMessageW(child(), WM_KEYUP, code, 0xC0000001);
    pump(50);
  };
  key(VK_TAB);
  key(VK_RETURN);  // the button
  key(VK_TAB);
  key(VK_SPACE);  // the check box
  EXPECT_EQ(seen, (std::vector<std::string>{"go", "box"}));
  EXPECT_TRUE(ostrel::is_checked(ostrel::get_element_by_id(doc, "box", 3)));

  // The host's top-level window loses and regains activation.
  ostrel::Node* root = ostrel::document_root(doc);
  SendMessageW(host.get(), WM_ACTIVATE, WA_INACTIVE, 0);
  EXPECT_TRUE(ostrel::has_class(root, doc->names.find("ui-window-inactive")));
  SendMessageW(host.get(), WM_ACTIVATE, WA_ACTIVE, 0);
  EXPECT_FALSE(ostrel::has_class(root, doc->names.find("ui-window-inactive")));
}

TEST_F(ViewWindow, ATitleShowsAsATooltipOnceThePointerRests) {
  ASSERT_TRUE(show("<div id=a title='Closes every program Windows does not need'>Close all</div>",
                   "body { margin: 0; font: 14px sans-serif } #a { height: 40px; background: #e5f3ff }", 320, 120));
  ostrel::Document* doc = ostrel::view_document(view);
  ostrel::Node* root = ostrel::document_root(doc);
  PostMessageW(child(), WM_MOUSEMOVE, 0, MAKELPARAM(30, 20));
  pump(200);
  EXPECT_EQ(ostrel::query_selector(root, ".ui-tooltip", 11), nullptr) << "not before the pointer rests";
  pump(700);
  ostrel::Node* tip = ostrel::query_selector(root, ".ui-tooltip", 11);
  ASSERT_NE(tip, nullptr);
  EXPECT_STREQ(ostrel::get_attribute(tip, "style", 5, nullptr), "left:30px;top:40px");
  const vx::testing::Capture shot = vx::testing::capture(child());
  EXPECT_EQ(shot.at(32, 45), 0xFFFFE1u) << "the tooltip is drawn";
  vx::testing::save_artifact(shot, L"tooltip.png");
  PostMessageW(child(), WM_KEYDOWN, VK_SHIFT, 1);
  pump(100);
  EXPECT_EQ(ostrel::query_selector(root, ".ui-tooltip", 11), nullptr) << "a key sends it away";
}

TEST_F(ViewWindow, AListsScrollBarIsDrawnAndDragged) {
  std::string rows;
  for (int i = 0; i < 40; ++i) rows += "<div class=row>Row " + std::to_string(i) + "</div>";
  ASSERT_TRUE(show("<div id=list>" + rows + "</div>",
                   "body { margin: 0; font: 13px sans-serif } #list { height: 200px; overflow-y: auto }"
                   " .row { height: 20px; border-bottom: 1px solid #e5e5e5 }",
                   240, 200));
  ostrel::Node* list = ostrel::get_element_by_id(ostrel::view_document(view), "list", 4);
  PostMessageW(child(), WM_MOUSEMOVE, 0, MAKELPARAM(231, 10));
  PostMessageW(child(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(231, 10));
  PostMessageW(child(), WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(231, 60));
  PostMessageW(child(), WM_LBUTTONUP, 0, MAKELPARAM(231, 60));
  pump(300);
  EXPECT_GT(ostrel::scroll_position(list).y, 200) << "the thumb was dragged down";
  const vx::testing::Capture shot = vx::testing::capture(child());
  EXPECT_EQ(shot.at(225, 2), 0xF0F0F0u) << "the track";
  vx::testing::save_artifact(shot, L"scroll-bar.png");
}

// Keys posted with Ctrl held: the view reads modifiers from the thread's key state.
void post_with_ctrl(HWND hwnd, WPARAM code) {
  BYTE keys[256];
  GetKeyboardState(keys);
  keys[VK_CONTROL] = 0x80;
  SetKeyboardState(keys);
  PostMessageW(hwnd, WM_KEYDOWN, code, 1);
  pump(50);
  keys[VK_CONTROL] = 0;
  SetKeyboardState(keys);
}

std::string clipboard_text() {
  std::string text;
  if (!OpenClipboard(nullptr)) return text;
  if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
    if (const auto* units = static_cast<const wchar_t*>(GlobalLock(data))) {
      const int n = WideCharToMultiByte(CP_UTF8, 0, units, -1, nullptr, 0, nullptr, nullptr);
      if (n > 1) {
        text.resize(static_cast<std::size_t>(n));
        WideCharToMultiByte(CP_UTF8, 0, units, -1, text.data(), n, nullptr, nullptr);
        text.resize(static_cast<std::size_t>(n - 1));
      }
      GlobalUnlock(data);
    }
  }
  CloseClipboard();
  return text;
}

TEST_F(ViewWindow, ATextBoxTakesCharactersTheClipboardAndItsOwnMenu) {
  ASSERT_TRUE(show("<input id=t placeholder='Search programs'><p id=p>검색어를 입력하세요</p>",
                   "body { margin: 8px; font: 14px sans-serif } input { width: 200px; font: 14px sans-serif }", 260,
                   80));
  ostrel::Document* doc = ostrel::view_document(view);
  ostrel::Node* box = ostrel::get_element_by_id(doc, "t", 1);
  vx::testing::Capture shot = vx::testing::capture(child());
  vx::testing::save_artifact(shot, L"text-box-empty.png");

  PostMessageW(child(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(20, 18));
  PostMessageW(child(), WM_LBUTTONUP, 0, MAKELPARAM(20, 18));
  for (wchar_t unit : std::wstring(L"Total 한글 \U0001F600")) PostMessageW(child(), WM_CHAR, unit, 1);
  pump(150);
  std::size_t length = 0;
  const char* value = ostrel::get_value(box, &length);
  EXPECT_EQ(std::string(value, length), "Total 한글 \xF0\x9F\x98\x80") << "a surrogate pair is one character";

  // The built-in menu: Select All by its mnemonic, while the menu's own loop runs.
  SetTimer(nullptr, 0, 300, [](HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    PostMessageW(GetFocus(), WM_KEYDOWN, 'A', 1);  // the menu's loop makes the character
  });
  const UINT_PTR escape = SetTimer(nullptr, 0, 2000, [](HWND, UINT, UINT_PTR, DWORD) { EndMenu(); });
  RECT r{};
  GetWindowRect(child(), &r);
  SendMessageW(child(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(child()), MAKELPARAM(r.left + 30, r.top + 18));
  KillTimer(nullptr, escape);
  EXPECT_EQ(doc->edit.anchor, 0u);
  EXPECT_EQ(doc->edit.caret, length) << "Select All chose from the menu";
  post_with_ctrl(child(), 'C');
  EXPECT_EQ(clipboard_text(), "Total 한글 \xF0\x9F\x98\x80");

  PostMessageW(child(), WM_KEYDOWN, VK_END, 1);
  for (int i = 0; i < 3; ++i) PostMessageW(child(), WM_KEYDOWN, VK_LEFT, 1);
  pump(50);  // before Ctrl goes down
  post_with_ctrl(child(), 'V');
  value = ostrel::get_value(box, &length);
  EXPECT_EQ(std::string(value, length), "Total 한Total 한글 \xF0\x9F\x98\x80글 \xF0\x9F\x98\x80");
  post_with_ctrl(child(), 'A');
  pump(200);
  shot = vx::testing::capture(child());
  vx::testing::save_artifact(shot, L"text-box.png");
  const ostrel::Rect at = ostrel::element_rect(box);
  EXPECT_EQ(shot.at(static_cast<int>(at.x) + 5, static_cast<int>(at.y) + 4), 0x0078D7u)
      << "the selection is highlighted";
}

TEST_F(ViewWindow, AnInputMethodComposesAtTheCaretOnlyInTextBoxes) {
  ASSERT_TRUE(
      show("<button id=b>b</button><input id=t value=ab>", "body { margin: 0; font: 14px sans-serif }", 260, 60));
  ostrel::Document* doc = ostrel::view_document(view);
  static std::vector<std::string> heard;
  heard.clear();
  auto record = [](ostrel::Event* event, void*) {
    heard.push_back(std::string(ostrel::event_type_name(event->type)) + " " + event->text);
  };
  ostrel::Node* box = ostrel::get_element_by_id(doc, "t", 1);
  for (const char* type : {"compositionstart", "compositionupdate", "compositionend", "input"})
    ostrel::on(box, type, std::strlen(type), record, nullptr);
  SetFocus(child());
  PostMessageW(child(), WM_KEYDOWN, VK_TAB, 1);
  pump(100);
  HIMC context = ImmGetContext(child());
  EXPECT_EQ(context, nullptr) << "no input method over a button";
  if (context) ImmReleaseContext(child(), context);
  PostMessageW(child(), WM_KEYDOWN, VK_TAB, 1);
  PostMessageW(child(), WM_KEYDOWN, VK_END, 1);
  pump(100);
  context = ImmGetContext(child());
  ASSERT_NE(context, nullptr) << "the text box has one";
  std::wstring composing = L"\uD558";  // 하
  ImmSetCompositionStringW(context, SCS_SETSTR, composing.data(),
                           static_cast<DWORD>(composing.size() * sizeof(wchar_t)), nullptr, 0);
  pump(100);
  EXPECT_EQ(doc->edit.composition, "하");
  ImmNotifyIME(context, NI_COMPOSITIONSTR, CPS_COMPLETE, 0);
  ImmReleaseContext(child(), context);
  pump(100);
  std::size_t length = 0;
  const char* value = ostrel::get_value(box, &length);
  EXPECT_EQ(std::string(value, length), "ab하");
  EXPECT_EQ(doc->edit.composition, "");
  ASSERT_FALSE(heard.empty());
  EXPECT_EQ(heard.front(), "compositionstart ");
  EXPECT_EQ(heard.back(), "compositionend 하");
}

TEST_F(ViewWindow, ADropDownListOpensUnderItselfAndTakesAChoice) {
  ASSERT_TRUE(show("<select id=s><option>Light<option selected>Dark<option>System</select>",
                   "body { margin: 8px; font: 14px sans-serif } select { font: 14px sans-serif }", 200, 120));
  ostrel::Document* doc = ostrel::view_document(view);
  ostrel::Node* list = ostrel::get_element_by_id(doc, "s", 1);
  PostMessageW(child(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(20, 15));
  PostMessageW(child(), WM_LBUTTONUP, 0, MAKELPARAM(20, 15));
  pump(200);
  ostrel::Node* popup = ostrel::query_selector(ostrel::document_root(doc), ".ui-select-popup", 16);
  ASSERT_NE(popup, nullptr);
  const vx::testing::Capture shot = vx::testing::capture(child());
  vx::testing::save_artifact(shot, L"select.png");
  const ostrel::Rect dark = ostrel::element_rect(ostrel::query_selector(popup, ".active", 7));
  EXPECT_EQ(shot.at(static_cast<int>(dark.x) + 1, static_cast<int>(dark.y) + 2), 0x0078D7u) << "the highlighted option";
  PostMessageW(child(), WM_KEYDOWN, VK_DOWN, 1);
  PostMessageW(child(), WM_KEYDOWN, VK_RETURN, 1);
  pump(200);
  std::size_t length = 0;
  const char* value = ostrel::get_value(list, &length);
  EXPECT_EQ(std::string(value, length), "System");
  EXPECT_EQ(ostrel::query_selector(ostrel::document_root(doc), ".ui-select-popup", 16), nullptr);
}

TEST_F(ViewWindow, FramesStopWhenNothingChanges) {
  ASSERT_TRUE(show("<p>idle</p>", "", 100, 50));
  std::fflush(stderr);
  const std::size_t before = read_file(log_path_).size();
  pump(300);
  std::fflush(stderr);
  EXPECT_EQ(read_file(log_path_).size(), before) << "an idle view draws no frames";
}

}  // namespace
