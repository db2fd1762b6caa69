// The owners of Win32 resources: each releases its resource once, when it goes
// away, and none can be copied.
#pragma once

#include <windows.h>

#include <objbase.h>

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
using UniqueKey = Unique<HKEY, &RegCloseKey>;
using UniqueMenu = Unique<HMENU, &DestroyMenu>;

// COM for this thread, for as long as the value lives; the apartment is left
// only when joining it succeeded (a thread already in another one keeps it).
class ComApartment {
 public:
  explicit ComApartment(DWORD model = COINIT_APARTMENTTHREADED) noexcept
      : joined_(SUCCEEDED(CoInitializeEx(nullptr, model))) {}
  ~ComApartment() {
    if (joined_) CoUninitialize();
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;
  bool joined() const noexcept { return joined_; }

 private:
  bool joined_;
};

}  // namespace vx::win32
