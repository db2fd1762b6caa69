// A client's walk of an accessible tree through MSAA: every node below a
// root, depth first, reached by child index as screen readers reach them.
// Shared by a11y-dump and the bench that times a full walk.
#pragma once

#include <windows.h>
#include <oleacc.h>

#include <functional>

namespace vx::a11y_dump {

// Visits the node and everything below it, depth first; the visitor returns
// false to stop the walk, and walk() then returns false too.
inline bool walk(IAccessible* node, int depth, const std::function<bool(IAccessible*, int)>& visit) {
  if (!visit(node, depth)) return false;
  LONG count = 0;
  if (FAILED(node->get_accChildCount(&count))) return true;
  for (LONG i = 1; i <= count; ++i) {
    VARIANT index;
    index.vt = VT_I4;
    index.lVal = i;
    IDispatch* dispatch = nullptr;
    if (node->get_accChild(index, &dispatch) != S_OK || !dispatch) continue;
    IAccessible* child = nullptr;
    dispatch->QueryInterface(__uuidof(IAccessible), reinterpret_cast<void**>(&child));
    dispatch->Release();
    if (!child) continue;
    const bool go_on = walk(child, depth + 1, visit);
    child->Release();
    if (!go_on) return false;
  }
  return true;
}

}  // namespace vx::a11y_dump
