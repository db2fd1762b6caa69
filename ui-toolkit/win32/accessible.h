// A view's accessible objects (MSAA IAccessible, which UI Automation clients
// read through the system's proxy): the window's client object and one object
// per exposed document node, made when a client first asks for them, and the
// events that tell clients what changed.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

#include "dom/dom.h"
#include "layout/box.h"

namespace ostrel::win32 {

// What the accessible objects need of the view that owns them.
class AccessibleHost {
 public:
  virtual Document& document() = 0;
  // The layout with every change placed, so geometry is current; null before the first frame.
  virtual const layout::LayoutTree* current_layout() = 0;
  virtual float scale() = 0;
  virtual Node* focused() = 0;  // the element with the keyboard focus, or null
  virtual void focus(Node* element) = 0;
  // A click on the element at a point in view coordinates, as the mouse would make it.
  virtual void click(Node* element, float x, float y) = 0;

 protected:
  ~AccessibleHost() = default;
};

class AccessibleNode;

// Owns the objects' shared state; lives with the view window. Objects a
// client still holds after it goes answer CO_E_OBJNOTCONNECTED.
class Accessibility final : public AccessibilityObserver {
 public:
  Accessibility(HWND window, AccessibleHost& host);
  ~Accessibility();
  Accessibility(const Accessibility&) = delete;
  Accessibility& operator=(const Accessibility&) = delete;

  // WM_GETOBJECT: the client object for OBJID_CLIENT, else 0 (the system's own).
  LRESULT get_object(WPARAM wparam, LPARAM lparam);
  // Sends the events queued since the last call; call after input and frames.
  void flush_events();

  void changed(Node* node, AccessibleChange what) override;
  void document_gone() override;

  // For the objects.
  struct Shared;
  std::shared_ptr<Shared> shared() const { return shared_; }

 private:
  std::shared_ptr<Shared> shared_;
};

}  // namespace ostrel::win32
