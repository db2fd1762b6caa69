#include "ostrel/bindings.h"

#include <cstdio>
#include <cstdlib>

namespace ostrel::ui {
namespace {

void default_fatal(std::string_view message) {
  std::fprintf(stderr, "%.*s\n", static_cast<int>(message.size()), message.data());
  std::fflush(stderr);
}

FatalHandler fatal_handler = default_fatal;

Result<> check(int status) {
  if (status == status_ok) return {};
  return std::unexpected(Error{status, last_error()});
}

Result<Element> check_node(Node* node) {
  if (node) return Element(node);
  return std::unexpected(Error{status_bad_argument, last_error()});
}

}  // namespace

void set_fatal_handler(FatalHandler handler) { fatal_handler = handler ? handler : default_fatal; }

void fatal(std::string_view message) {
  fatal_handler(message);
  std::abort();
}

std::string_view Element::tag_name() const { return ostrel::tag_name(node_); }

std::optional<Element> Element::first_child() const {
  Node* n = ostrel::first_child(node_);
  return n ? std::optional(Element(n)) : std::nullopt;
}

std::optional<Element> Element::next_sibling() const {
  Node* n = ostrel::next_sibling(node_);
  return n ? std::optional(Element(n)) : std::nullopt;
}

std::optional<Element> Element::parent() const {
  Node* n = ostrel::parent(node_);
  return n ? std::optional(Element(n)) : std::nullopt;
}

std::optional<std::string_view> Element::attribute(std::string_view name) const {
  std::size_t length = 0;
  const char* value = get_attribute(node_, name.data(), name.size(), &length);
  if (!value) return std::nullopt;
  return std::string_view(value, length);
}

Result<> Element::set_attribute(std::string_view name, std::string_view value) {
  return check(ostrel::set_attribute(node_, name.data(), name.size(), value.data(), value.size()));
}

Result<> Element::remove_attribute(std::string_view name) {
  return check(ostrel::remove_attribute(node_, name.data(), name.size()));
}

Result<> Element::add_class(std::string_view name) { return check(ostrel::add_class(node_, name.data(), name.size())); }

Result<> Element::remove_class(std::string_view name) {
  return check(ostrel::remove_class(node_, name.data(), name.size()));
}

bool Element::has_class(std::string_view name) const {
  const auto classes = attribute("class");
  if (!classes) return false;
  std::string_view rest = *classes;
  while (!rest.empty()) {
    const std::size_t start = rest.find_first_not_of(" \t\n\r\f");
    if (start == std::string_view::npos) break;
    rest.remove_prefix(start);
    const std::size_t end = std::min(rest.find_first_of(" \t\n\r\f"), rest.size());
    if (rest.substr(0, end) == name) return true;
    rest.remove_prefix(end);
  }
  return false;
}

Result<> Element::set_disabled(bool disabled) { return check(ostrel::set_disabled(node_, disabled)); }

Result<> Element::set_text(std::string_view text) { return check(set_text_content(node_, text.data(), text.size())); }

std::string Element::text() const {
  std::size_t length = 0;
  const char* text = text_content(node_, &length);
  return text ? std::string(text, length) : std::string();
}

std::string Element::value() const {
  std::size_t length = 0;
  const char* text = get_value(node_, &length);
  return text ? std::string(text, length) : std::string();
}

Result<> Element::set_value(std::string_view text) { return check(ostrel::set_value(node_, text.data(), text.size())); }

Result<> Element::set_checked(bool checked) { return check(ostrel::set_checked(node_, checked)); }

Result<> Element::append(Element child) { return check(append_child(node_, child.node_)); }

Result<> Element::insert_before(Element child, std::optional<Element> reference) {
  return check(ostrel::insert(node_, child.node_, reference ? reference->node_ : nullptr));
}

Result<std::optional<Element>> Element::query(std::string_view selector) const {
  clear_last_error();
  Node* found = query_selector(node_, selector.data(), selector.size());
  if (found) return std::optional(Element(found));
  if (*last_error()) return std::unexpected(Error{status_bad_argument, last_error()});
  return std::optional<Element>();
}

Result<> Element::on(std::string_view type, EventCallback callback, void* user_data) {
  return check(ostrel::on(node_, type.data(), type.size(), callback, user_data));
}

Element DocumentRef::root() const {
  Node* root = document_root(document_);
  if (!root) fatal("document has no root");
  return Element(root);
}

Element DocumentRef::body() const {
  Node* body = document_body(document_);
  if (!body) fatal("document has no body");
  return Element(body);
}

std::optional<Element> DocumentRef::by_id(std::string_view id) const {
  Node* n = get_element_by_id(document_, id.data(), id.size());
  return n ? std::optional(Element(n)) : std::nullopt;
}

Result<Element> DocumentRef::create_element(std::string_view tag) {
  return check_node(ostrel::create_element(document_, tag.data(), tag.size()));
}

Result<Element> DocumentRef::create_text(std::string_view text) {
  return check_node(ostrel::create_text(document_, text.data(), text.size()));
}

Result<> DocumentRef::set_image(std::string_view name, std::string_view bytes) {
  return check(image_set(document_, name.data(), name.size(), bytes.data(), bytes.size()));
}

Result<> DocumentRef::set_color_scheme(bool dark) { return check(ostrel::set_color_scheme(document_, dark, 0)); }

Result<> DocumentRef::set_image_loader(ImageLoader loader, void* user_data) {
  return check(ostrel::set_image_loader(document_, loader, user_data));
}

Result<ViewHandle> ViewHandle::create() {
  View* view = view_new();
  if (!view) return std::unexpected(Error{status_out_of_memory, last_error()});
  return ViewHandle(view);
}

ViewHandle& ViewHandle::operator=(ViewHandle&& other) noexcept {
  if (this != &other) {
    view_free(view_);
    view_ = other.view_;
    other.view_ = nullptr;
  }
  return *this;
}

Result<> ViewHandle::load_html(std::string_view html) {
  return check(ostrel::load_html(view_, html.data(), html.size()));
}

Result<> ViewHandle::load_css(std::string_view css) { return check(ostrel::load_css(view_, css.data(), css.size())); }

Result<> ViewHandle::attach(void* parent_window) { return check(ostrel::attach(view_, parent_window)); }

Result<> ViewHandle::set_bounds(int x, int y, int width, int height) {
  return check(ostrel::set_bounds(view_, x, y, width, height));
}

Element EventRef::target() const {
  Node* n = event_target(event_);
  if (!n) fatal("event without target");
  return Element(n);
}

Element EventRef::current_target() const {
  Node* n = event_current_target(event_);
  if (!n) fatal("event without current target");
  return Element(n);
}

}  // namespace ostrel::ui
