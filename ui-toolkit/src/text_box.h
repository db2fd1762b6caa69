// Editing in text boxes, without the window: the caret and selection of the
// focused text box, typing and deleting by character and by word, the
// clipboard, undo and redo, input-method composition and the edit menu's
// commands. The platform view feeds it keys, characters and a clipboard; the
// state it leaves in Document::edit is what layout and painting show.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dom/dom.h"
#include "layout/box.h"
#include "ostrel/ostrel.h"
#include "src/controls.h"

namespace ostrel {

// Text on the system clipboard (a fake in tests).
class Clipboard {
 public:
  virtual ~Clipboard() = default;
  virtual std::optional<std::string> text() = 0;  // none when it holds no text
  virtual bool set_text(std::string_view utf8) = 0;
};

// The commands of a text box's context menu, in menu order.
enum class EditCommand : std::uint8_t { undo, cut, copy, paste, erase, select_all };
inline constexpr int edit_command_count = 6;

class TextEditor {
 public:
  TextEditor(Document& document, const layout::LayoutTree& tree, Clipboard* clipboard)
      : document_(document), tree_(tree), clipboard_(clipboard) {}

  // The text box being edited: the focused one, while it is still shown and enabled.
  Node* editing();

  // Focus moves from `from` to `to` (either may be null or not a text box).
  // A text box that loses focus with a value changed since it got it sends
  // "change"; one reached by the keyboard has its whole text selected.
  void focus_moving(Node* from, Node* to, bool by_keyboard);

  // A key whose keydown no listener prevented; returns whether editing used it.
  bool key_down(std::uint32_t key, std::uint32_t modifiers);
  // Characters typed (control characters are ignored).
  void type(std::string_view utf8);

  // The left button at (x, y) in view coordinates on the text box being
  // edited: places the caret (Shift: extends the selection; a double click
  // selects a word) and selects while the pointer drags.
  void press(float x, float y, std::uint32_t modifiers, bool double_click);
  // The right button: the caret moves there unless the press is inside the selection.
  void press_for_menu(float x, float y);
  void drag(float x, float y);
  void release() { selecting_ = false; }
  bool selecting() const { return selecting_; }

  // What the edit menu may offer now, by EditCommand.
  std::array<bool, edit_command_count> available();
  void run(EditCommand command);

  void composition_start();
  void composition_update(std::string_view text);
  // `result` is the text the composition gave; empty when it was cancelled.
  void composition_end(std::string_view result);
  bool composing() const { return !document_.edit.composition.empty() || composing_; }

  // Where the caret is drawn, in view coordinates; none when not editing.
  std::optional<Rect> caret_rect();

  // The caret's blink phase. Any edit or caret move shows it again and counts as activity.
  void show_caret(bool shown);
  std::uint64_t activity() const { return activity_; }
  // Whether the view has the keyboard: the caret and selection are live only then.
  void set_window_focused(bool focused);

  void reset();  // forgets nodes of an old document

 private:
  enum class Step : std::uint8_t { none, typing, deleting, other };
  struct Snapshot {
    std::string value;
    std::uint32_t caret, anchor;
  };

  void clear_view();
  // Takes in a value set from outside (a listener or the application).
  void sync(Node* box);
  void replace(std::uint32_t from, std::uint32_t to, std::string_view text, Step step);
  void select(std::uint32_t caret, std::uint32_t anchor);
  void move(std::uint32_t to, bool extend);
  std::uint32_t offset_at(float x);
  void copy();
  void erase_selection(Step step);
  void undo();
  void redo();
  void step_back(std::vector<Snapshot>& from, std::vector<Snapshot>& to);
  void commit_change();  // "change" when the value differs from the last committed one

  Document& document_;
  const layout::LayoutTree& tree_;
  Clipboard* clipboard_;
  Node* node_ = nullptr;
  std::uint64_t serial_ = 0;
  std::string seen_;       // the value as editing last left it
  std::string committed_;  // the value when focus came, or at the last "change"
  std::vector<Snapshot> undo_, redo_;
  Step last_step_ = Step::none;
  bool selecting_ = false;
  bool composing_ = false;
  bool word_drag_ = false;
  std::uint32_t word_start_ = 0, word_end_ = 0;  // the word a double click selected
  std::uint64_t activity_ = 0;
  std::uint64_t focus_moves_ = 0;
};

// After layout: scrolls the edited text box's line so that the caret shows.
void keep_caret_in_view(Document& document, const layout::LayoutTree& tree);

// Text as a single-line value takes it: line breaks removed.
std::string single_line(std::string_view text);

}  // namespace ostrel
