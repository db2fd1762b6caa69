// One owner for a Win32 handle: `release` runs once, when the owner goes away.
#pragma once

#include <windows.h>

#include <utility>

namespace vx::win32 {

// `minus_one_is_none`: for the functions (CreateFileW, FindFirstFileExW,
// CreateToolhelp32Snapshot) that say "no handle" with INVALID_HANDLE_VALUE.
template <class Handle, auto release, bool minus_one_is_none = false>
class Unique {
 public:
  Unique() = default;
  explicit Unique(Handle handle) noexcept : handle_(normal(handle)) {}
  Unique(Unique&& other) noexcept : handle_(std::exchange(other.handle_, Handle{})) {}
  Unique& operator=(Unique&& other) noexcept {
    if (this != &other) reset(std::exchange(other.handle_, Handle{}));
    return *this;
  }
  ~Unique() { reset(); }

  Handle get() const noexcept { return handle_; }
  explicit operator bool() const noexcept { return normal(handle_) != Handle{}; }
  // For functions that hand out a new handle through a pointer.
  Handle* out() noexcept {
    reset();
    return &handle_;
  }
  void reset(Handle handle = Handle{}) noexcept {
    if (normal(handle_) != Handle{}) release(handle_);
    handle_ = normal(handle);
  }

 private:
  static Handle normal(Handle handle) noexcept {
    if constexpr (minus_one_is_none)
      if (handle == INVALID_HANDLE_VALUE) return Handle{};
    return handle;
  }
  Handle handle_{};
};

using UniqueHandle = Unique<HANDLE, &CloseHandle, true>;
using UniqueFind = Unique<HANDLE, &FindClose, true>;

}  // namespace vx::win32
