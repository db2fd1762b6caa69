#include "src/text_box.h"

#include <algorithm>
#include <cmath>

#include "common/text.h"
#include "dom/events.h"
#include "src/controls.h"

namespace ostrel {
namespace {

constexpr std::size_t max_undo_steps = 100;

std::uint32_t size_of(const std::string& s) { return static_cast<std::uint32_t>(s.size()); }

// Code point boundaries; invalid bytes count one each, as they are drawn.
std::uint32_t next_boundary(const std::string& s, std::uint32_t i) {
  if (i >= s.size()) return size_of(s);
  return i + static_cast<std::uint32_t>(vx::decode_utf8(s, i).length);
}
std::uint32_t previous_boundary(const std::string& s, std::uint32_t i) {
  if (i == 0) return 0;
  i = std::min(i, size_of(s));
  for (std::uint32_t back = 1; back <= 4 && back <= i; ++back) {
    const std::uint32_t p = i - back;
    const auto byte = static_cast<unsigned char>(s[p]);
    if ((byte & 0xC0) != 0x80) return vx::decode_utf8(s, p).length == back ? p : i - 1;
  }
  return i - 1;
}
std::uint32_t snap(const std::string& s, std::uint32_t i) {
  i = std::min(i, size_of(s));
  while (i > 0 && i < s.size() && (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80) --i;
  return i;
}

// Word movement sees three kinds of character: blanks, word characters
// (letters, digits, anything outside ASCII) and punctuation.
enum class CharClass { blank, word, punctuation };
CharClass class_at(const std::string& s, std::uint32_t i) {
  const auto c = static_cast<unsigned char>(s[i]);
  if (c == ' ' || c == '\t' || c == 0xA0) return CharClass::blank;
  if (c >= 0x80) {
    const char32_t cp = vx::decode_utf8(s, i).code_point;
    return cp == 0x3000 || cp == 0xA0 ? CharClass::blank : CharClass::word;
  }
  return std::isalnum(c) || c == '_' ? CharClass::word : CharClass::punctuation;
}
// Ctrl+Right: past this word and the blanks after it.
std::uint32_t next_word(const std::string& s, std::uint32_t i) {
  if (i >= s.size()) return size_of(s);
  const CharClass first = class_at(s, i);
  if (first != CharClass::blank)
    while (i < s.size() && class_at(s, i) == first) i = next_boundary(s, i);
  while (i < s.size() && class_at(s, i) == CharClass::blank) i = next_boundary(s, i);
  return i;
}
// Ctrl+Left: back over blanks to the start of the word before.
std::uint32_t previous_word(const std::string& s, std::uint32_t i) {
  while (i > 0 && class_at(s, previous_boundary(s, i)) == CharClass::blank) i = previous_boundary(s, i);
  if (i == 0) return 0;
  const CharClass kind = class_at(s, previous_boundary(s, i));
  while (i > 0 && class_at(s, previous_boundary(s, i)) == kind) i = previous_boundary(s, i);
  return i;
}
// The run of one kind of character around offset `i` (a double click there).
std::pair<std::uint32_t, std::uint32_t> word_around(const std::string& s, std::uint32_t i) {
  if (s.empty()) return {0, 0};
  if (i >= s.size()) i = previous_boundary(s, size_of(s));
  const CharClass kind = class_at(s, i);
  std::uint32_t start = i, end = i;
  while (start > 0 && class_at(s, previous_boundary(s, start)) == kind) start = previous_boundary(s, start);
  while (end < s.size() && class_at(s, end) == kind) end = next_boundary(s, end);
  return {start, end};
}

}  // namespace

std::string single_line(std::string_view text) {
  std::string out = vx::sanitize_utf8(text);
  std::erase_if(out, [](char c) { return c == '\r' || c == '\n'; });
  return out;
}

Node* TextEditor::editing() {
  Node* box = alive(node_, serial_) ? node_ : nullptr;
  if (box && (!is_text_box(box) || !(box->flags & flag_focus) || is_disabled(box) || !tree_.box_of(box))) box = nullptr;
  if (!box && node_) {
    node_ = nullptr;
    serial_ = 0;
    composing_ = selecting_ = false;
    clear_view();
  }
  if (box) sync(box);
  return box;
}

void TextEditor::clear_view() {
  const bool focused = document_.edit.window_focused;
  document_.edit = TextEditView{};
  document_.edit.window_focused = focused;
}

void TextEditor::sync(Node* box) {
  TextEditView& e = document_.edit;
  if (box->text == seen_) return;
  // The value was set from outside: the caret goes to its end, and undo
  // cannot step back over a change it did not see.
  seen_ = box->text;
  e.caret = e.anchor = size_of(seen_);
  undo_.clear();
  redo_.clear();
  last_step_ = Step::none;
}

void TextEditor::focus_moving(Node* from, Node* to, bool by_keyboard) {
  const std::uint64_t moves = ++focus_moves_;
  if (from && from == node_ && alive(from, serial_)) {
    commit_change();
    if (moves != focus_moves_) return;  // a "change" listener moved focus already
  }
  if (node_) {
    Node* old = node_;
    node_ = nullptr;
    serial_ = 0;
    composing_ = selecting_ = false;
    clear_view();
    if (old->is_element()) document_.invalidate(old, flag_needs_layout | flag_needs_paint);
  }
  if (!is_text_box(to)) return;
  node_ = to;
  serial_ = to->serial;
  seen_ = committed_ = to->text;
  undo_.clear();
  redo_.clear();
  last_step_ = Step::none;
  TextEditView& e = document_.edit;
  e.node = to;
  e.scroll = 0;
  e.caret_shown = true;
  // As in a browser: Tab selects everything; a click places the caret itself.
  e.caret = size_of(seen_);
  e.anchor = by_keyboard ? 0 : e.caret;
  ++activity_;
  document_.invalidate(to, flag_needs_paint);
}

void TextEditor::commit_change() {
  Node* box = node_;
  if (!alive(box, serial_) || box->text == committed_) return;
  committed_ = box->text;
  fire(event_change, box);
}

void TextEditor::select(std::uint32_t caret, std::uint32_t anchor) {
  TextEditView& e = document_.edit;
  if (!node_) return;
  e.caret = snap(node_->text, caret);
  e.anchor = snap(node_->text, anchor);
  e.caret_shown = true;
  ++activity_;
  document_.invalidate(node_, flag_needs_paint);
}

void TextEditor::move(std::uint32_t to, bool extend) {
  select(to, extend ? document_.edit.anchor : to);
  last_step_ = Step::none;  // typing after a move starts a new undo step
}

void TextEditor::replace(std::uint32_t from, std::uint32_t to, std::string_view text, Step step) {
  Node* box = node_;
  std::string& value = box->text;
  from = snap(value, from), to = snap(value, to);
  if (from > to) std::swap(from, to);
  if (from == to && text.empty()) return;
  TextEditView& e = document_.edit;
  // Runs of typing, or of deleting, undo as one step.
  if (step != last_step_ || step == Step::other) {
    undo_.push_back({value, e.caret, e.anchor});
    if (undo_.size() > max_undo_steps) undo_.erase(undo_.begin());
  }
  redo_.clear();
  last_step_ = step;
  value.replace(from, to - from, text);
  box->flags |= flag_value_dirty;
  seen_ = value;
  e.caret = e.anchor = from + static_cast<std::uint32_t>(text.size());
  e.caret_shown = true;
  ++activity_;
  document_.invalidate(box, flag_needs_layout | flag_needs_paint);
  const std::uint64_t serial = serial_;
  fire(event_input, box, {.text = text});
  if (alive(box, serial)) sync(box);  // a listener may have set another value
}

void TextEditor::erase_selection(Step step) {
  const TextEditView& e = document_.edit;
  if (e.caret != e.anchor) replace(e.caret, e.anchor, {}, step);
}

void TextEditor::type(std::string_view utf8) {
  if (!editing() || composing()) return;
  std::string text = single_line(utf8);
  // Control characters come from keys that do something else (Tab moves focus, Ctrl+A selects).
  std::erase_if(text, [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
  if (text.empty()) return;
  const TextEditView& e = document_.edit;
  replace(e.caret, e.anchor, text, Step::typing);
}

bool TextEditor::key_down(std::uint32_t key, std::uint32_t modifiers) {
  Node* box = editing();
  if (!box || composing()) return false;
  const bool shift = modifiers & modifier_shift, ctrl = modifiers & modifier_ctrl;
  if (modifiers & modifier_alt) return false;
  const std::string& value = box->text;
  const TextEditView& e = document_.edit;
  const std::uint32_t low = std::min(e.caret, e.anchor), high = std::max(e.caret, e.anchor);
  const bool selected = low != high;
  switch (key) {
    case key_left:
      if (selected && !shift && !ctrl)
        move(low, false);
      else
        move(ctrl ? previous_word(value, e.caret) : previous_boundary(value, e.caret), shift);
      return true;
    case key_right:
      if (selected && !shift && !ctrl)
        move(high, false);
      else
        move(ctrl ? next_word(value, e.caret) : next_boundary(value, e.caret), shift);
      return true;
    case key_home:
      move(0, shift);
      return true;
    case key_end:
      move(size_of(value), shift);
      return true;
    case key_backspace:
      if (selected)
        erase_selection(Step::deleting);
      else
        replace(ctrl ? previous_word(value, e.caret) : previous_boundary(value, e.caret), e.caret, {}, Step::deleting);
      return true;
    case key_delete:
      if (shift && !ctrl) {
        run(EditCommand::cut);
      } else if (selected) {
        erase_selection(Step::deleting);
      } else {
        replace(e.caret, ctrl ? next_word(value, e.caret) : next_boundary(value, e.caret), {}, Step::deleting);
      }
      return true;
    case key_insert:
      if (ctrl && !shift)
        run(EditCommand::copy);
      else if (shift && !ctrl)
        run(EditCommand::paste);
      else
        return false;
      return true;
    case key_enter:  // sends "change", as a browser's text box does
      commit_change();
      return true;
    default:
      break;
  }
  if (!ctrl) return false;
  switch (key) {
    case 'A':
      run(EditCommand::select_all);
      return true;
    case 'C':
      run(EditCommand::copy);
      return true;
    case 'X':
      run(EditCommand::cut);
      return true;
    case 'V':
      run(EditCommand::paste);
      return true;
    case 'Z':
      if (shift)
        redo();
      else
        undo();
      return true;
    case 'Y':
      redo();
      return true;
    default:
      return false;
  }
}

std::array<bool, edit_command_count> TextEditor::available() {
  std::array<bool, edit_command_count> on{};
  Node* box = editing();
  if (!box) return on;
  const bool selected = document_.edit.caret != document_.edit.anchor;
  on[static_cast<int>(EditCommand::undo)] = !undo_.empty();
  on[static_cast<int>(EditCommand::cut)] = selected;
  on[static_cast<int>(EditCommand::copy)] = selected;
  on[static_cast<int>(EditCommand::paste)] = clipboard_ && clipboard_->text().has_value();
  on[static_cast<int>(EditCommand::erase)] = selected;
  on[static_cast<int>(EditCommand::select_all)] =
      !box->text.empty() && !(std::min(document_.edit.caret, document_.edit.anchor) == 0 &&
                              std::max(document_.edit.caret, document_.edit.anchor) == box->text.size());
  return on;
}

void TextEditor::copy() {
  const TextEditView& e = document_.edit;
  if (!clipboard_ || e.caret == e.anchor) return;
  const std::uint32_t low = std::min(e.caret, e.anchor), high = std::max(e.caret, e.anchor);
  clipboard_->set_text(std::string_view(node_->text).substr(low, high - low));
}

void TextEditor::run(EditCommand command) {
  if (!editing() || composing()) return;
  switch (command) {
    case EditCommand::undo:
      undo();
      break;
    case EditCommand::copy:
      copy();
      break;
    case EditCommand::cut:
      copy();
      erase_selection(Step::other);
      break;
    case EditCommand::paste:
      if (clipboard_) {
        if (std::optional<std::string> text = clipboard_->text()) {
          const std::string line = single_line(*text);
          const TextEditView& e = document_.edit;
          if (!line.empty() || e.caret != e.anchor) replace(e.caret, e.anchor, line, Step::other);
        }
      }
      break;
    case EditCommand::erase:
      erase_selection(Step::other);
      break;
    case EditCommand::select_all:
      select(size_of(node_->text), 0);
      last_step_ = Step::none;
      break;
  }
}

void TextEditor::undo() { step_back(undo_, redo_); }
void TextEditor::redo() { step_back(redo_, undo_); }

// Puts back the last snapshot of `from`, keeping the present one in `to`.
void TextEditor::step_back(std::vector<Snapshot>& from, std::vector<Snapshot>& to) {
  if (from.empty()) return;
  TextEditView& e = document_.edit;
  to.push_back({node_->text, e.caret, e.anchor});
  Snapshot s = std::move(from.back());
  from.pop_back();
  last_step_ = Step::none;
  node_->text = s.value;
  node_->flags |= flag_value_dirty;
  seen_ = s.value;
  select(s.caret, s.anchor);
  document_.invalidate(node_, flag_needs_layout | flag_needs_paint);
  const std::uint64_t serial = serial_;
  Node* box = node_;
  fire(event_input, box);
  if (alive(box, serial)) sync(box);
}

std::uint32_t TextEditor::offset_at(float x) {
  const Rect at = element_rect(node_);  // before box_of: it may lay out anew and free old boxes
  const layout::Box* box = tree_.box_of(node_);
  if (!box || !box->edit_line || box->edit_line->placeholder_shown ||
      box->edit_line->caret_offsets.size() != box->text.size() + 1)
    return 0;
  const float local = x - (at.x + box->content_x() - box->x) + document_.edit.scroll;
  const std::vector<float>& offsets = box->edit_line->caret_offsets;
  // The nearest boundary: the middle of a character divides its two sides.
  std::uint32_t best = 0;
  float best_distance = std::fabs(local - offsets[0]);
  for (std::uint32_t i = next_boundary(box->text, 0); i <= box->text.size();) {
    const float d = std::fabs(local - offsets[i]);
    if (d < best_distance) best = i, best_distance = d;
    if (i == box->text.size()) break;
    i = next_boundary(box->text, i);
  }
  return std::min(best, size_of(node_->text));
}

void TextEditor::press(float x, float, std::uint32_t modifiers, bool double_click) {
  if (!editing() || composing()) return;
  const std::uint32_t at = offset_at(x);
  last_step_ = Step::none;
  selecting_ = true;
  word_drag_ = double_click;
  if (double_click) {
    std::tie(word_start_, word_end_) = word_around(node_->text, at);
    select(word_end_, word_start_);
  } else {
    select(at, (modifiers & modifier_shift) ? document_.edit.anchor : at);
  }
}

void TextEditor::press_for_menu(float x, float) {
  if (!editing() || composing()) return;
  const std::uint32_t at = offset_at(x);
  const TextEditView& e = document_.edit;
  if (at < std::min(e.caret, e.anchor) || at > std::max(e.caret, e.anchor)) move(at, false);
}

void TextEditor::drag(float x, float) {
  if (!selecting_ || !editing()) return;
  const std::uint32_t at = offset_at(x);
  if (!word_drag_) {
    select(at, document_.edit.anchor);
    return;
  }
  // A double click's drag selects whole words.
  const auto [start, end] = word_around(node_->text, at);
  if (at < word_start_)
    select(start, word_end_);
  else
    select(std::max(end, word_end_), word_start_);
}

void TextEditor::composition_start() {
  if (!editing() || composing_) return;
  erase_selection(Step::other);  // what the composition will replace
  if (!editing()) return;
  composing_ = true;
  fire(event_compositionstart, node_);
}

void TextEditor::composition_update(std::string_view text) {
  if (!editing()) return;
  if (!composing_) composition_start();
  if (!editing()) return;
  TextEditView& e = document_.edit;
  e.composition = single_line(text);
  e.caret_shown = true;
  ++activity_;
  document_.invalidate(node_, flag_needs_layout | flag_needs_paint);
  fire(event_compositionupdate, node_, {.text = text});
}

void TextEditor::composition_end(std::string_view result) {
  if (!editing() || !composing()) return;
  TextEditView& e = document_.edit;
  e.composition.clear();
  composing_ = false;
  document_.invalidate(node_, flag_needs_layout | flag_needs_paint);
  Node* box = node_;
  const std::uint64_t serial = serial_;
  const std::string text = single_line(result);
  if (!text.empty()) replace(e.caret, e.anchor, text, Step::other);
  if (alive(box, serial)) fire(event_compositionend, box, {.text = text});
}

std::optional<Rect> TextEditor::caret_rect() {
  if (!editing()) return std::nullopt;
  const Rect at = element_rect(node_);  // before box_of: it may lay out anew and free old boxes
  const layout::Box* box = tree_.box_of(node_);
  if (!box || box->fragments.empty() || !box->edit_line || box->edit_line->caret_offsets.empty()) return std::nullopt;
  const TextEditView& e = document_.edit;
  const std::size_t caret =
      box->edit_line->placeholder_shown
          ? 0
          : std::min<std::size_t>(e.caret + e.composition.size(), box->edit_line->caret_offsets.size() - 1);
  const layout::TextFragment& f = box->fragments[0];
  return Rect{at.x + box->content_x() - box->x + box->edit_line->caret_offsets[caret] - e.scroll, at.y + f.y - box->y,
              1, f.height};
}

void TextEditor::show_caret(bool shown) {
  if (!editing() || document_.edit.caret_shown == shown) return;
  document_.edit.caret_shown = shown;
  document_.invalidate(node_, flag_needs_paint);
}

void TextEditor::set_window_focused(bool focused) {
  if (document_.edit.window_focused == focused) return;
  document_.edit.window_focused = focused;
  if (editing()) document_.invalidate(node_, flag_needs_paint);
}

void TextEditor::reset() {
  node_ = nullptr;
  serial_ = 0;
  composing_ = selecting_ = false;
  undo_.clear();
  redo_.clear();
  clear_view();
}

void keep_caret_in_view(Document& document, const layout::LayoutTree& tree) {
  TextEditView& e = document.edit;
  if (!e.node) return;
  const layout::Box* box = tree.box_of(e.node);
  if (!box || !box->edit_line || box->edit_line->caret_offsets.empty()) return;
  const std::vector<float>& offsets = box->edit_line->caret_offsets;
  const float width = std::max(0.0f, box->content_box_width() - 1);  // room for the caret's own pixel
  const float caret = box->edit_line->placeholder_shown
                          ? 0
                          : offsets[std::min<std::size_t>(e.caret + e.composition.size(), offsets.size() - 1)];
  float scroll = e.scroll;
  if (caret - scroll > width) scroll = caret - width;
  if (caret < scroll) scroll = caret;
  scroll = std::clamp(scroll, 0.0f, std::max(0.0f, offsets.back() - width));
  e.scroll = scroll;
}

}  // namespace ostrel
