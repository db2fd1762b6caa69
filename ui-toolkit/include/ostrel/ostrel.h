// OstrelUI: a small HTML/CSS document engine with its own child window.
//
// The application holds opaque handles (view, document, node, event) and calls
// the operations below; it never touches the tree directly. Every operation is
// called on the thread that owns the view's window. Operations that can fail
// return a status code and leave a message in the calling thread's last error
// (`last_error`); a failed operation leaves the tree as it was.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ostrel {

struct View;
struct Document;
struct Node;
struct Event;

enum Status : int {
  status_ok = 0,
  status_bad_argument = 1,  // or failed for the reason in the message
  status_already_attached = 3,
  status_window_failed = 4,
  status_out_of_memory = 5,
};

using EventCallback = void (*)(Event* event, void* user_data);
using ImageLoader = void (*)(Document* document, const char* name, std::size_t name_length, void* user_data);

struct Rect {
  float x, y, width, height;
  friend bool operator==(const Rect&, const Rect&) = default;
};
struct ScrollOffset {
  float x, y;
  friend bool operator==(const ScrollOffset&, const ScrollOffset&) = default;
};

// Views and documents.
View* view_new();
void view_free(View* view);
int attach(View* view, void* parent_window);
Document* view_document(View* view);
int set_bounds(View* view, int x, int y, int width, int height);
int load_html(View* view, const char* text, std::size_t length);
int load_css(View* view, const char* text, std::size_t length);
Node* document_root(Document* document);
Node* document_body(Document* document);
int set_color_scheme(Document* document, int dark, int second);
int set_image_loader(Document* document, ImageLoader loader, void* user_data);
int image_set(Document* document, const char* name, std::size_t name_length, const void* bytes, std::size_t size);

// Nodes.
Node* create_element(Document* document, const char* tag_name, std::size_t length);
Node* create_text(Document* document, const char* text, std::size_t length);
int insert(Node* parent, Node* child, Node* reference);
int append_child(Node* parent, Node* child);
void remove(Node* node);
Node* first_child(Node* node);
Node* next_sibling(Node* node);
Node* parent(Node* node);
bool is_text(Node* node);
const char* tag_name(Node* element);
const char* get_attribute(Node* element, const char* name, std::size_t length, std::size_t* value_length);
int set_attribute(Node* element, const char* name, std::size_t length, const char* value, std::size_t value_length);
int remove_attribute(Node* element, const char* name, std::size_t length);
int add_class(Node* element, const char* name, std::size_t length);
int remove_class(Node* element, const char* name, std::size_t length);
int set_disabled(Node* element, bool disabled);
int set_text_content(Node* node, const char* text, std::size_t length);
const char* text_content(Node* node, std::size_t* length);
const char* get_value(Node* element, std::size_t* length);
int set_value(Node* element, const char* text, std::size_t length);
bool is_checked(Node* element);
int set_checked(Node* element, bool checked);
Node* get_element_by_id(Document* document, const char* id, std::size_t length);
Node* query_selector(Node* element, const char* selector, std::size_t length);
Rect element_rect(Node* element);
ScrollOffset scroll_position(Node* element);
int scroll_to(Node* element, float x, float y);

// Events.
int on(Node* element, const char* type, std::size_t length, EventCallback callback, void* user_data);
Node* event_target(Event* event);
Node* event_current_target(Event* event);
std::uint32_t event_key(Event* event);
void prevent_default(Event* event);

const char* last_error();
// Empties the calling thread's last error, so a caller can tell "no result"
// from a failure for operations that return null in both cases.
void clear_last_error();

}  // namespace ostrel
