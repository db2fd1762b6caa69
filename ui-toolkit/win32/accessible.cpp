#include "win32/accessible.h"

#include <oleacc.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "common/win32/text.h"
#include "src/accessibility.h"

namespace ostrel::win32 {

namespace {

// Events wait for the end of the input or frame that caused them; past this
// many, clients are told once that everything may have changed.
constexpr std::size_t max_pending_events = 256;

LONG msaa_role(a11y::Role role) {
  using a11y::Role;
  switch (role) {
    case Role::grouping:
      return ROLE_SYSTEM_GROUPING;
    case Role::static_text:
      return ROLE_SYSTEM_STATICTEXT;
    case Role::button:
      return ROLE_SYSTEM_PUSHBUTTON;
    case Role::check_box:
      return ROLE_SYSTEM_CHECKBUTTON;
    case Role::radio_button:
      return ROLE_SYSTEM_RADIOBUTTON;
    case Role::text_box:
      return ROLE_SYSTEM_TEXT;
    case Role::combo_box:
      return ROLE_SYSTEM_COMBOBOX;
    case Role::link:
      return ROLE_SYSTEM_LINK;
    case Role::graphic:
      return ROLE_SYSTEM_GRAPHIC;
    case Role::list:
      return ROLE_SYSTEM_LIST;
    case Role::list_item:
      return ROLE_SYSTEM_LISTITEM;
    case Role::table:
      return ROLE_SYSTEM_TABLE;
    case Role::row:
      return ROLE_SYSTEM_ROW;
    case Role::cell:
      return ROLE_SYSTEM_CELL;
    case Role::column_header:
      return ROLE_SYSTEM_COLUMNHEADER;
    case Role::tab_list:
      return ROLE_SYSTEM_PAGETABLIST;
    case Role::tab:
      return ROLE_SYSTEM_PAGETAB;
    case Role::tab_panel:
      return ROLE_SYSTEM_PROPERTYPAGE;
    case Role::dialog:
      return ROLE_SYSTEM_DIALOG;
    case Role::progress_bar:
      return ROLE_SYSTEM_PROGRESSBAR;
  }
  return ROLE_SYSTEM_GROUPING;
}

LONG msaa_states(std::uint32_t s) {
  static constexpr std::pair<std::uint32_t, LONG> map[] = {
      {a11y::state_unavailable, STATE_SYSTEM_UNAVAILABLE},
      {a11y::state_selected, STATE_SYSTEM_SELECTED},
      {a11y::state_focused, STATE_SYSTEM_FOCUSED},
      {a11y::state_checked, STATE_SYSTEM_CHECKED},
      {a11y::state_mixed, STATE_SYSTEM_MIXED},
      {a11y::state_readonly, STATE_SYSTEM_READONLY},
      {a11y::state_invisible, STATE_SYSTEM_INVISIBLE},
      {a11y::state_offscreen, STATE_SYSTEM_OFFSCREEN},
      {a11y::state_focusable, STATE_SYSTEM_FOCUSABLE},
      {a11y::state_selectable, STATE_SYSTEM_SELECTABLE},
      {a11y::state_linked, STATE_SYSTEM_LINKED},
      {a11y::state_expanded, STATE_SYSTEM_EXPANDED},
      {a11y::state_collapsed, STATE_SYSTEM_COLLAPSED},
      {a11y::state_protected, STATE_SYSTEM_PROTECTED},
  };
  LONG out = 0;
  for (const auto& [ours, theirs] : map)
    if (s & ours) out |= theirs;
  return out;
}

bool is_self(const VARIANT& v) { return v.vt == VT_I4 && v.lVal == CHILDID_SELF; }

HRESULT text_out(const std::string& text, BSTR* out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (text.empty()) return S_FALSE;
  const std::wstring wide = vx::win32::widen(text);
  *out = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
  return *out ? S_OK : E_OUTOFMEMORY;
}

}  // namespace

struct Accessibility::Shared {
  HWND window = nullptr;
  AccessibleHost* host = nullptr;  // null once the view or its document is gone
  Document* document = nullptr;
  std::unordered_map<const Node*, AccessibleNode*> objects;  // live objects, by node
  AccessibleNode* client = nullptr;                          // the window's client object, while one lives
  std::uint64_t stamp = 0;                                   // counts document changes: children lists stay valid

  // Event child ids: negative numbers clients give back to get_accChild.
  struct Weak {
    Node* node;
    std::uint64_t serial;
  };
  std::unordered_map<LONG, Weak> by_id;
  std::unordered_map<const Node*, std::pair<std::uint64_t, LONG>> ids;
  LONG next_id = 1;

  struct Pending {
    Node* node;
    std::uint64_t serial;
    AccessibleChange what;
  };
  std::vector<Pending> pending;
  bool overflowed = false;

  Node* alive(Node* node, std::uint64_t serial) const {
    if (!host || !node || node->type == NodeType::free || node->serial != serial) return nullptr;
    if (!document->root || !is_inclusive_ancestor(document->root, node)) return nullptr;
    return node;
  }

  LONG id_of(Node* node) {
    if (auto it = ids.find(node); it != ids.end() && it->second.first == node->serial) return -it->second.second;
    if (next_id >= 0x7FFFFFF0 || ids.size() > 100000) {  // start over rather than grow without bound
      ids.clear();
      by_id.clear();
      next_id = 1;
    }
    const LONG id = next_id++;
    ids[node] = {node->serial, id};
    by_id[id] = {node, node->serial};
    return -id;
  }
};

// COM interfaces have no virtual destructor: Release deletes the concrete type.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class AccessibleNode final : public IAccessible {
 public:
  AccessibleNode(std::shared_ptr<Accessibility::Shared> shared, Node* node)
      : shared_(std::move(shared)), node_(node), serial_(node ? node->serial : 0) {}
  ~AccessibleNode() {
    if (!node_) {
      if (shared_->client == this) shared_->client = nullptr;
    } else if (auto it = shared_->objects.find(node_); it != shared_->objects.end() && it->second == this) {
      shared_->objects.erase(it);
    }
  }
  AccessibleNode(const AccessibleNode&) = delete;
  AccessibleNode& operator=(const AccessibleNode&) = delete;

  // The object for a node (null: the client object), one per node while a client holds it. Returned AddRef'd.
  static AccessibleNode* of(const std::shared_ptr<Accessibility::Shared>& shared, Node* node) {
    AccessibleNode*& slot = node ? shared->objects[node] : shared->client;
    if (slot && (!node || slot->serial_ == node->serial)) {
      slot->AddRef();
      return slot;
    }
    slot = new AccessibleNode(shared, node);  // an object of a recycled node keeps answering "gone"
    return slot;
  }

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == __uuidof(IAccessible)) {
      *out = static_cast<IAccessible*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++refs_); }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG left = --refs_;
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }

  // IDispatch: clients call the interface directly.
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return E_NOTIMPL;
  }

  // IAccessible
  HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!connected()) return CO_E_OBJNOTCONNECTED;
    if (!node_)
      return AccessibleObjectFromWindow(shared_->window, OBJID_WINDOW, IID_IDispatch, reinterpret_cast<void**>(out));
    const a11y::Tree tree = this->tree();
    *out = of(shared_, tree.parent(node_));
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE get_accChildCount(LONG* count) override {
    if (!count) return E_POINTER;
    *count = 0;
    if (!connected()) return CO_E_OBJNOTCONNECTED;
    *count = static_cast<LONG>(children().size());
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!connected()) return CO_E_OBJNOTCONNECTED;
    if (child.vt != VT_I4) return E_INVALIDARG;
    if (child.lVal == CHILDID_SELF) {
      AddRef();
      *out = this;
      return S_OK;
    }
    if (child.lVal < 0) {
      // An id from an event: only the client object resolves them.
      if (node_) return E_INVALIDARG;
      const auto it = shared_->by_id.find(-child.lVal);
      if (it == shared_->by_id.end()) return E_INVALIDARG;
      Node* node = shared_->alive(it->second.node, it->second.serial);
      if (!node) return E_INVALIDARG;
      *out = of(shared_, node);
      return S_OK;
    }
    const std::vector<Node*>& kids = children();
    if (static_cast<std::size_t>(child.lVal) > kids.size()) return E_INVALIDARG;
    *out = of(shared_, kids[static_cast<std::size_t>(child.lVal) - 1]);
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* out) override {
    return read(child, out, [&](const a11y::Tree& t) { return node_ ? t.name(node_) : window_title(); });
  }
  HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* out) override {
    return read(child, out, [&](const a11y::Tree& t) { return node_ ? t.value(node_) : std::string(); });
  }
  HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* out) override {
    return read(child, out, [&](const a11y::Tree& t) { return node_ ? t.description(node_) : std::string(); });
  }
  HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* out) override {
    return read(child, out, [](const a11y::Tree&) { return std::string(); });
  }
  HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT, LONG* topic) override {
    if (file) *file = nullptr;
    if (topic) *topic = 0;
    return connected() ? S_FALSE : CO_E_OBJNOTCONNECTED;
  }
  HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* out) override {
    return read(child, out, [](const a11y::Tree&) { return std::string(); });
  }
  HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* out) override {
    return read(child, out,
                [&](const a11y::Tree& t) { return node_ ? std::string(t.default_action(node_)) : std::string(); });
  }

  HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* out) override {
    return number(child, out, [&] { return node_ ? msaa_role(tree().role(node_)) : ROLE_SYSTEM_CLIENT; });
  }

  HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* out) override {
    return number(child, out, [&]() -> LONG {
      if (node_) return msaa_states(tree().states(node_));
      return STATE_SYSTEM_FOCUSABLE | (GetFocus() == shared_->window ? STATE_SYSTEM_FOCUSED : 0) |
             (IsWindowVisible(shared_->window) ? 0 : STATE_SYSTEM_INVISIBLE);
    });
  }

  HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* out) override {
    if (!out) return E_POINTER;
    VariantInit(out);
    if (!connected()) return CO_E_OBJNOTCONNECTED;
    if (GetFocus() != shared_->window) return S_FALSE;
    const a11y::Tree tree = this->tree();
    Node* focused = tree.shown_as(shared_->host->focused());
    if (focused && focused != node_ && (!node_ || is_inclusive_ancestor(node_, focused))) {
      out->vt = VT_DISPATCH;
      out->pdispVal = of(shared_, focused);
    } else if (focused == node_) {
      out->vt = VT_I4;
      out->lVal = CHILDID_SELF;
    }
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* out) override {
    if (!out) return E_POINTER;
    VariantInit(out);
    if (!connected()) return CO_E_OBJNOTCONNECTED;
    const a11y::Tree tree = this->tree();
    for (Node* child : children())
      if (tree.states(child) & a11y::state_selected) {
        out->vt = VT_DISPATCH;
        out->pdispVal = of(shared_, child);
        return S_OK;
      }
    return S_FALSE;
  }

  HRESULT STDMETHODCALLTYPE accSelect(long flags, VARIANT child) override {
    if (!connected()) return CO_E_OBJNOTCONNECTED;
    if (!is_self(child)) return E_INVALIDARG;
    if (flags != SELFLAG_TAKEFOCUS) return DISP_E_MEMBERNOTFOUND;
    if (!node_) {
      SetFocus(shared_->window);
      return S_OK;
    }
    if (!(tree().states(node_) & a11y::state_focusable)) return E_INVALIDARG;
    shared_->host->focus(node_);
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE accLocation(long* left, long* top, long* width, long* height, VARIANT child) override {
    if (!left || !top || !width || !height) return E_POINTER;
    *left = *top = *width = *height = 0;
    if (!connected()) return CO_E_OBJNOTCONNECTED;
    if (!is_self(child)) return E_INVALIDARG;
    RECT client{};
    GetClientRect(shared_->window, &client);
    POINT origin{0, 0};
    ClientToScreen(shared_->window, &origin);
    if (!node_) {
      *left = origin.x;
      *top = origin.y;
      *width = client.right;
      *height = client.bottom;
      return S_OK;
    }
    const std::optional<Rect> r = tree().bounds(node_);
    if (!r) return S_FALSE;
    const a11y::PixelRect p = a11y::to_pixels(*r, shared_->host->scale(), origin.x, origin.y);
    *left = p.left;
    *top = p.top;
    *width = p.width;
    *height = p.height;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE accNavigate(long direction, VARIANT start, VARIANT* out) override {
    if (!out) return E_POINTER;
    VariantInit(out);
    if (!connected()) return CO_E_OBJNOTCONNECTED;
    if (!is_self(start)) return E_INVALIDARG;
    Node* to = nullptr;
    if (direction == NAVDIR_FIRSTCHILD || direction == NAVDIR_LASTCHILD) {
      const std::vector<Node*>& kids = children();
      if (!kids.empty()) to = direction == NAVDIR_FIRSTCHILD ? kids.front() : kids.back();
    } else if ((direction == NAVDIR_NEXT || direction == NAVDIR_PREVIOUS) && node_) {
      const a11y::Tree tree = this->tree();
      AccessibleNode* parent = of(shared_, tree.parent(node_));
      const std::vector<Node*>& siblings = parent->children();
      const auto it = std::find(siblings.begin(), siblings.end(), node_);
      if (it != siblings.end()) {
        if (direction == NAVDIR_NEXT && it + 1 != siblings.end()) to = *(it + 1);
        if (direction == NAVDIR_PREVIOUS && it != siblings.begin()) to = *(it - 1);
      }
      parent->Release();
    } else {
      return E_NOTIMPL;  // spatial directions: clients fall back to locations
    }
    if (!to) return S_FALSE;
    out->vt = VT_DISPATCH;
    out->pdispVal = of(shared_, to);
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE accHitTest(long x, long y, VARIANT* out) override {
    if (!out) return E_POINTER;
    VariantInit(out);
    if (!connected()) return CO_E_OBJNOTCONNECTED;
    POINT at{x, y};
    ScreenToClient(shared_->window, &at);
    RECT client{};
    GetClientRect(shared_->window, &client);
    if (!PtInRect(&client, at)) return S_FALSE;
    const float scale = shared_->host->scale();
    const a11y::Tree tree = this->tree();
    const float cx = static_cast<float>(at.x) / scale, cy = static_cast<float>(at.y) / scale;
    Node* hit = tree.at(cx, cy);
    if (node_) {
      const std::optional<Rect> r = tree.bounds(node_);
      const bool inside = r && cx >= r->x && cy >= r->y && cx < r->x + r->width && cy < r->y + r->height;
      if (!hit || !is_inclusive_ancestor(node_, hit)) hit = inside ? node_ : nullptr;
      if (!hit) return S_FALSE;
    }
    if (hit == node_) {
      out->vt = VT_I4;
      out->lVal = CHILDID_SELF;
    } else {
      out->vt = VT_DISPATCH;
      out->pdispVal = of(shared_, hit);
    }
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override {
    if (!connected()) return CO_E_OBJNOTCONNECTED;
    if (!is_self(child)) return E_INVALIDARG;
    if (!node_) return DISP_E_MEMBERNOTFOUND;
    const a11y::Tree tree = this->tree();
    if (tree.default_action(node_).empty()) return DISP_E_MEMBERNOTFOUND;
    const Rect r = tree.bounds(node_).value_or(Rect{0, 0, 0, 0});
    shared_->host->click(node_, r.x + r.width / 2, r.y + r.height / 2);
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE put_accName(VARIANT, BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_accValue(VARIANT, BSTR) override { return E_NOTIMPL; }

 private:
  bool connected() const { return shared_->host && (!node_ || shared_->alive(node_, serial_)); }

  a11y::Tree tree() const {
    // Geometry must be current: changes since the last frame are placed first.
    const layout::LayoutTree* layout = shared_->host->current_layout();
    return a11y::Tree(*shared_->document, *layout);
  }

  const std::vector<Node*>& children() {
    if (kids_stamp_ != shared_->stamp + 1) {
      tree().children(node_, kids_);
      kids_stamp_ = shared_->stamp + 1;  // + 1: a new object's 0 never matches
    }
    return kids_;
  }

  std::string window_title() const {
    std::string out;
    if (const Node* head = shared_->document->head)
      for (const Node* c = head->first_child; c; c = c->next)
        if (c->is_element() && c->tag_kind == TagKind::title) append_text_content(c, out);
    return out;
  }

  // A number about this object itself (its role, its state), as read() gives its texts.
  template <class Value>
  HRESULT number(const VARIANT& child, VARIANT* out, Value value) {
    if (!out) return E_POINTER;
    VariantInit(out);
    if (!connected()) return CO_E_OBJNOTCONNECTED;
    if (!is_self(child)) return E_INVALIDARG;
    out->vt = VT_I4;
    out->lVal = static_cast<LONG>(value());
    return S_OK;
  }

  template <class Read>
  HRESULT read(const VARIANT& child, BSTR* out, Read read) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!connected()) return CO_E_OBJNOTCONNECTED;
    if (!is_self(child)) return E_INVALIDARG;
    if (!shared_->host->current_layout()) return S_FALSE;
    return text_out(read(tree()), out);
  }

  LONG refs_ = 1;
  std::shared_ptr<Accessibility::Shared> shared_;
  Node* node_;  // null: the window's client object
  std::uint64_t serial_;
  std::vector<Node*> kids_;
  std::uint64_t kids_stamp_ = 0;
};
#pragma GCC diagnostic pop

Accessibility::Accessibility(HWND window, AccessibleHost& host) : shared_(std::make_shared<Shared>()) {
  shared_->window = window;
  shared_->host = &host;
  shared_->document = &host.document();
  host.document().accessibility = this;
}

Accessibility::~Accessibility() {
  document_gone();
  // Objects clients still hold now only answer "not connected"; the proxies
  // other processes hold are cut off as well.
  std::vector<AccessibleNode*> held;
  for (auto& [node, object] : shared_->objects) held.push_back(object);
  if (shared_->client) held.push_back(shared_->client);
  for (AccessibleNode* object : held) CoDisconnectObject(object, 0);
}

void Accessibility::document_gone() {
  if (shared_->document && shared_->document->accessibility == this) shared_->document->accessibility = nullptr;
  shared_->host = nullptr;
  shared_->pending.clear();
}

LRESULT Accessibility::get_object(WPARAM wparam, LPARAM lparam) {
  if (static_cast<LONG>(lparam) != OBJID_CLIENT || !shared_->host || !shared_->host->current_layout()) return 0;
  AccessibleNode* client = AccessibleNode::of(shared_, nullptr);
  const LRESULT result = LresultFromObject(__uuidof(IAccessible), wparam, client);
  client->Release();
  return result;
}

void Accessibility::changed(Node* node, AccessibleChange what) {
  ++shared_->stamp;
  if (shared_->overflowed) return;
  if (shared_->pending.size() >= max_pending_events) {
    shared_->overflowed = true;
    shared_->pending.clear();
    return;
  }
  if (!shared_->pending.empty()) {
    const Shared::Pending& last = shared_->pending.back();
    if (last.node == node && last.what == what) return;
  }
  shared_->pending.push_back({node, node->serial, what});
}

void Accessibility::flush_events() {
  Shared& s = *shared_;
  if (!s.host) return;
  const HWND window = s.window;
  if (s.overflowed) {
    s.overflowed = false;
    NotifyWinEvent(EVENT_OBJECT_REORDER, window, OBJID_CLIENT, CHILDID_SELF);
    return;
  }
  if (s.pending.empty()) return;
  const layout::LayoutTree* layout = s.host->current_layout();
  if (!layout) {
    s.pending.clear();
    return;
  }
  std::vector<Shared::Pending> pending;
  pending.swap(s.pending);
  const a11y::Tree tree(*s.document, *layout);
  for (const Shared::Pending& p : pending) {
    Node* node = s.alive(p.node, p.serial);
    if (!node) continue;
    // What changed belongs to the nearest node a client can see.
    Node* shown = tree.shown_as(node);
    const LONG child = shown ? s.id_of(shown) : CHILDID_SELF;
    switch (p.what) {
      case AccessibleChange::focus:
        if (GetFocus() == window) NotifyWinEvent(EVENT_OBJECT_FOCUS, window, OBJID_CLIENT, child);
        break;
      case AccessibleChange::state:
        if (shown != node) break;
        NotifyWinEvent(EVENT_OBJECT_STATECHANGE, window, OBJID_CLIENT, child);
        // A list's selected row moved: readers announce the row the keys went to.
        if (tree.states(node) & a11y::state_selected)
          NotifyWinEvent(EVENT_OBJECT_SELECTION, window, OBJID_CLIENT, child);
        break;
      case AccessibleChange::name:
        NotifyWinEvent(EVENT_OBJECT_NAMECHANGE, window, OBJID_CLIENT, child);
        break;
      case AccessibleChange::children:
        NotifyWinEvent(EVENT_OBJECT_REORDER, window, OBJID_CLIENT, child);
        break;
    }
  }
}

}  // namespace ostrel::win32
