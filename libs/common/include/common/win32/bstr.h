// A COM text (BSTR) made from UTF-8 and freed when it goes. Users link oleaut32.
#pragma once

#include <windows.h>

#include <oleauto.h>

#include <string_view>

#include "common/win32/text.h"

namespace vx::win32 {

class Bstr {
 public:
  explicit Bstr(std::string_view text = {}) : value_(SysAllocString(widen(text).c_str())) {}
  ~Bstr() { SysFreeString(value_); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  BSTR get() const { return value_; }

 private:
  BSTR value_;
};

}  // namespace vx::win32
