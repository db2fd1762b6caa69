// Thin owning C++ wrappers over the OstrelUI handles. A non-zero status becomes
// an error value with the status and the toolkit's message for this thread;
// none may be ignored unseen.
#pragma once

#include <expected>
#include <optional>
#include <string>
#include <string_view>

#include "ostrel/ostrel.h"

namespace ostrel::ui {

struct Error {
  int status = 0;
  std::string message;
};

template <class T = void>
using Result = std::expected<T, Error>;

// Stops the program for a broken invariant the application cannot go on
// without ("document has no body"). The handler may be replaced, e.g. by the
// crash reporter; the default writes the text to standard error and aborts.
using FatalHandler = void (*)(std::string_view message);
void set_fatal_handler(FatalHandler handler);
[[noreturn]] void fatal(std::string_view message);

class Element {
 public:
  explicit Element(Node* node) : node_(node) {}
  Node* handle() const { return node_; }

  std::string_view tag_name() const;
  bool is_text() const { return ostrel::is_text(node_); }
  std::optional<Element> first_child() const;
  std::optional<Element> next_sibling() const;
  std::optional<Element> parent() const;

  std::optional<std::string_view> attribute(std::string_view name) const;
  [[nodiscard]] Result<> set_attribute(std::string_view name, std::string_view value);
  [[nodiscard]] Result<> remove_attribute(std::string_view name);
  [[nodiscard]] Result<> add_class(std::string_view name);
  [[nodiscard]] Result<> remove_class(std::string_view name);
  [[nodiscard]] Result<> set_class(std::string_view name, bool on) { return on ? add_class(name) : remove_class(name); }
  bool has_class(std::string_view name) const;
  [[nodiscard]] Result<> set_disabled(bool disabled);

  [[nodiscard]] Result<> set_text(std::string_view text);
  std::string text() const;
  std::string value() const;
  [[nodiscard]] Result<> set_value(std::string_view text);
  bool checked() const { return ostrel::is_checked(node_); }
  [[nodiscard]] Result<> set_checked(bool checked);

  [[nodiscard]] Result<> append(Element child);
  [[nodiscard]] Result<> insert_before(Element child, std::optional<Element> reference);
  void remove() { ostrel::remove(node_); }

  // First matching element inside this one; an error only for a bad selector.
  [[nodiscard]] Result<std::optional<Element>> query(std::string_view selector) const;
  [[nodiscard]] Result<> on(std::string_view type, EventCallback callback, void* user_data);

  Rect rect() const { return element_rect(node_); }

  friend bool operator==(const Element&, const Element&) = default;

 private:
  Node* node_;
};

class DocumentRef {
 public:
  explicit DocumentRef(Document* document) : document_(document) {}
  Document* handle() const { return document_; }

  Element root() const;  // fatal "document has no root" when absent
  Element body() const;  // fatal "document has no body" when absent
  std::optional<Element> by_id(std::string_view id) const;
  [[nodiscard]] Result<Element> create_element(std::string_view tag);
  [[nodiscard]] Result<Element> create_text(std::string_view text);
  [[nodiscard]] Result<> set_image(std::string_view name, std::string_view bytes);
  [[nodiscard]] Result<> set_color_scheme(bool dark);
  [[nodiscard]] Result<> set_image_loader(ImageLoader loader, void* user_data);

 private:
  Document* document_;
};

// Owns a toolkit view and, through it, the document.
class ViewHandle {
 public:
  [[nodiscard]] static Result<ViewHandle> create();
  ViewHandle(ViewHandle&& other) noexcept : view_(other.view_) { other.view_ = nullptr; }
  ViewHandle& operator=(ViewHandle&& other) noexcept;
  ViewHandle(const ViewHandle&) = delete;
  ViewHandle& operator=(const ViewHandle&) = delete;
  ~ViewHandle() { view_free(view_); }

  View* handle() const { return view_; }
  DocumentRef document() const { return DocumentRef(view_document(view_)); }
  [[nodiscard]] Result<> load_html(std::string_view html);
  [[nodiscard]] Result<> load_css(std::string_view css);
  [[nodiscard]] Result<> attach(void* parent_window);
  [[nodiscard]] Result<> set_bounds(int x, int y, int width, int height);

 private:
  explicit ViewHandle(View* view) : view_(view) {}
  View* view_;
};

class EventRef {
 public:
  explicit EventRef(Event* event) : event_(event) {}
  ostrel::Event* handle() const { return event_; }
  Element target() const;          // fatal "event without target" when absent
  Element current_target() const;  // fatal "event without current target" when absent
  std::uint32_t key() const { return event_key(event_); }
  void prevent_default() { ostrel::prevent_default(event_); }

 private:
  ostrel::Event* event_;
};

}  // namespace ostrel::ui
