// a11y-dump: prints what a screen reader gets from a running program's
// toolkit views: the accessible tree as indented lines of role, name, value,
// states and screen rectangle, read through MSAA as any client reads it.
//
//   a11y-dump [--pid N | --class NAME] [STEP...]
//
// Steps run in order; with none, the tree is printed once.
//   --dump          prints the tree
//   --act TEXT      does the default action of the first node whose line
//                   (indent and rectangle left out) begins with TEXT
//   --wait-for TEXT prints the tree once some line contains TEXT
//   --timeout MS    how long --wait-for waits (10000 by default)
//
// Exit codes: 0 done, 2 bad arguments, 3 no window or the text never came,
// 4 no node to act on or its action failed.
#include <windows.h>
#include <oleacc.h>

#include <cstdio>
#include <string>
#include <vector>

#include "common/win32/text.h"
#include "walk.h"

namespace {

using vx::a11y_dump::walk;

struct Window {
  DWORD pid = 0;
  std::wstring top_class;
  HWND found = nullptr;
};

BOOL CALLBACK find_view(HWND child, LPARAM data) {
  wchar_t name[64] = {};
  GetClassNameW(child, name, 64);
  if (std::wstring_view(name) != L"OstrelUIView") return TRUE;
  *reinterpret_cast<HWND*>(data) = child;
  return FALSE;
}

BOOL CALLBACK find_top(HWND top, LPARAM data) {
  auto& want = *reinterpret_cast<Window*>(data);
  if (!IsWindowVisible(top)) return TRUE;
  DWORD pid = 0;
  GetWindowThreadProcessId(top, &pid);
  if (want.pid && pid != want.pid) return TRUE;
  wchar_t name[128] = {};
  GetClassNameW(top, name, 128);
  if (!want.top_class.empty() && want.top_class != name) return TRUE;
  HWND view = nullptr;
  EnumChildWindows(top, find_view, reinterpret_cast<LPARAM>(&view));
  if (!view) return TRUE;
  want.found = view;
  return FALSE;
}

std::string text_of(BSTR s) {
  std::string out = s ? vx::win32::narrow(std::wstring_view(s, SysStringLen(s))) : std::string();
  SysFreeString(s);
  return out;
}

std::string state_words(LONG state) {
  static constexpr std::pair<LONG, const char*> names[] = {
      {STATE_SYSTEM_UNAVAILABLE, "unavailable"},
      {STATE_SYSTEM_SELECTED, "selected"},
      {STATE_SYSTEM_FOCUSED, "focused"},
      {STATE_SYSTEM_CHECKED, "checked"},
      {STATE_SYSTEM_MIXED, "mixed"},
      {STATE_SYSTEM_READONLY, "readonly"},
      {STATE_SYSTEM_INVISIBLE, "invisible"},
      {STATE_SYSTEM_OFFSCREEN, "offscreen"},
      {STATE_SYSTEM_FOCUSABLE, "focusable"},
      {STATE_SYSTEM_SELECTABLE, "selectable"},
      {STATE_SYSTEM_LINKED, "linked"},
      {STATE_SYSTEM_EXPANDED, "expanded"},
      {STATE_SYSTEM_COLLAPSED, "collapsed"},
      {STATE_SYSTEM_PROTECTED, "protected"},
  };
  std::string out;
  for (const auto& [bit, word] : names)
    if (state & bit) out += (out.empty() ? "" : " ") + std::string(word);
  return out;
}

// One node's line without its indent and rectangle, and the rectangle.
struct Line {
  std::string text, rect;
};

Line describe(IAccessible* node) {
  VARIANT self;
  self.vt = VT_I4;
  self.lVal = CHILDID_SELF;
  Line line;
  VARIANT role;
  VariantInit(&role);
  if (SUCCEEDED(node->get_accRole(self, &role)) && role.vt == VT_I4) {
    wchar_t name[64] = {};
    GetRoleTextW(static_cast<DWORD>(role.lVal), name, 64);
    line.text = vx::win32::narrow(name);
  }
  VariantClear(&role);
  BSTR name = nullptr;
  const HRESULT named = node->get_accName(self, &name);
  if (named == CO_E_OBJNOTCONNECTED) return {"(not connected)", {}};
  line.text += " \"" + text_of(name) + '"';
  BSTR value = nullptr;
  if (node->get_accValue(self, &value) == S_OK) {
    const std::string v = text_of(value);
    if (!v.empty()) line.text += " value=\"" + v + '"';
  }
  VARIANT state;
  VariantInit(&state);
  if (SUCCEEDED(node->get_accState(self, &state)) && state.vt == VT_I4 && state.lVal)
    line.text += " [" + state_words(state.lVal) + ']';
  VariantClear(&state);
  long x = 0, y = 0, w = 0, h = 0;
  if (node->accLocation(&x, &y, &w, &h, self) == S_OK)
    line.rect =
        " (" + std::to_string(x) + ", " + std::to_string(y) + ", " + std::to_string(w) + ", " + std::to_string(h) + ')';
  return line;
}

std::string dump(IAccessible* root) {
  std::string out;
  walk(root, 0, [&](IAccessible* node, int depth) {
    const Line line = describe(node);
    out += std::string(static_cast<std::size_t>(depth) * 2, ' ') + line.text + line.rect + '\n';
    return true;
  });
  return out;
}

IAccessible* open_view(HWND view) {
  IAccessible* root = nullptr;
  if (FAILED(AccessibleObjectFromWindow(view, static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                                        reinterpret_cast<void**>(&root))))
    return nullptr;
  return root;
}

int usage() {
  std::fputs("usage: a11y-dump [--pid N | --class NAME] [--dump | --act TEXT | --wait-for TEXT | --timeout MS]...\n",
             stderr);
  return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  Window want;
  struct Step {
    enum Kind { dump, act, wait_for } kind;
    std::string text;
  };
  std::vector<Step> steps;
  DWORD timeout = 10000;
  for (int i = 1; i < argc; ++i) {
    const std::wstring_view arg = argv[i];
    const bool has_value = i + 1 < argc;
    if (arg == L"--dump") {
      steps.push_back({Step::dump, {}});
    } else if (arg == L"--pid" && has_value) {
      want.pid = static_cast<DWORD>(std::wcstoul(argv[++i], nullptr, 10));
    } else if (arg == L"--class" && has_value) {
      want.top_class = argv[++i];
    } else if (arg == L"--act" && has_value) {
      steps.push_back({Step::act, vx::win32::narrow(argv[++i])});
    } else if (arg == L"--wait-for" && has_value) {
      steps.push_back({Step::wait_for, vx::win32::narrow(argv[++i])});
    } else if (arg == L"--timeout" && has_value) {
      timeout = static_cast<DWORD>(std::wcstoul(argv[++i], nullptr, 10));
    } else {
      return usage();
    }
  }
  if (steps.empty()) steps.push_back({Step::dump, {}});

  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 3;
  EnumWindows(find_top, reinterpret_cast<LPARAM>(&want));
  if (!want.found) {
    std::fputs("a11y-dump: no window with a toolkit view\n", stderr);
    return 3;
  }
  IAccessible* root = open_view(want.found);
  if (!root) {
    std::fputs("a11y-dump: the view gave no accessible object\n", stderr);
    return 3;
  }
  int status = 0;
  for (const Step& step : steps) {
    if (step.kind == Step::dump) {
      std::fputs(dump(root).c_str(), stdout);
    } else if (step.kind == Step::wait_for) {
      const ULONGLONG deadline = GetTickCount64() + timeout;
      std::string tree = dump(root);
      while (tree.find(step.text) == std::string::npos && GetTickCount64() < deadline) {
        Sleep(100);
        tree = dump(root);
      }
      std::fputs(tree.c_str(), stdout);
      if (tree.find(step.text) == std::string::npos) {
        std::fprintf(stderr, "a11y-dump: \"%s\" never showed\n", step.text.c_str());
        status = 3;
        break;
      }
    } else {
      IAccessible* target = nullptr;
      std::string line;
      walk(root, 0, [&](IAccessible* node, int) {
        const Line l = describe(node);
        if (l.text.compare(0, step.text.size(), step.text) != 0) return true;
        node->AddRef();
        target = node;
        line = l.text;
        return false;
      });
      VARIANT self;
      self.vt = VT_I4;
      self.lVal = CHILDID_SELF;
      const HRESULT done = target ? target->accDoDefaultAction(self) : E_FAIL;
      if (target) target->Release();
      if (FAILED(done)) {
        std::fprintf(stderr, "a11y-dump: nothing to act on for \"%s\" (0x%08lx)\n", step.text.c_str(),
                     static_cast<unsigned long>(done));
        status = 4;
        break;
      }
      std::printf("acted: %s\n", line.c_str());
    }
    std::fflush(stdout);
  }
  root->Release();
  CoUninitialize();
  return status;
}
