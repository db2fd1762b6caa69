// One owner for a Win32 handle: `release` runs once, when the owner goes away.
#pragma once

#include <utility>

namespace vx::winutil::win32 {

template <class Handle, auto release>
class Unique {
 public:
  Unique() = default;
  explicit Unique(Handle handle) noexcept : handle_(handle) {}
  Unique(Unique&& other) noexcept : handle_(std::exchange(other.handle_, Handle{})) {}
  Unique& operator=(Unique&& other) noexcept {
    if (this != &other) reset(std::exchange(other.handle_, Handle{}));
    return *this;
  }
  ~Unique() { reset(); }

  Handle get() const noexcept { return handle_; }
  explicit operator bool() const noexcept { return handle_ != Handle{}; }
  // For functions that hand out a new handle through a pointer.
  Handle* out() noexcept {
    reset();
    return &handle_;
  }
  void reset(Handle handle = Handle{}) noexcept {
    if (handle_ != Handle{}) release(handle_);
    handle_ = handle;
  }

 private:
  Handle handle_{};
};

}  // namespace vx::winutil::win32
