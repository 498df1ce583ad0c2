// One move-only owner for every kind of Windows handle: the handle type, its
// close function and its invalid value make the kind. Closing keeps the
// last-error value intact, so a failure can still be read after cleanup.
#pragma once

#include <windows.h>

#include <type_traits>
#include <utility>

namespace dashtab::win {

// The invalid value is given as an integer: a pointer made from one (such as
// INVALID_HANDLE_VALUE) cannot be a template argument.
template <class H, auto Close, INT_PTR InvalidValue>
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(H handle) : handle_(handle) {}
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    reset(other.release());
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  ~UniqueHandle() { reset(); }

  H get() const { return handle_; }
  bool valid() const { return handle_ != Invalid() && handle_ != H{}; }
  explicit operator bool() const { return valid(); }

  // Gives up ownership without closing.
  H release() { return std::exchange(handle_, Invalid()); }

  void reset(H handle = Invalid()) {
    H old = std::exchange(handle_, handle);
    if (old != Invalid() && old != H{}) {
      DWORD error = GetLastError();
      Close(old);
      SetLastError(error);
    }
  }

  // Closes what is held and hands out the slot for a function that fills it.
  H* put() {
    reset();
    return &handle_;
  }

 private:
  static H Invalid() { return reinterpret_cast<H>(InvalidValue); }

  H handle_ = Invalid();
};

// Kernel objects whose failure value is NULL: threads, events, processes.
using UniqueKernelHandle = UniqueHandle<HANDLE, CloseHandle, 0>;
// Handles whose failure value is INVALID_HANDLE_VALUE: files from CreateFile.
using UniqueFileHandle = UniqueHandle<HANDLE, CloseHandle, -1>;
// Directory searches from FindFirstFile.
using UniqueFindHandle = UniqueHandle<HANDLE, FindClose, -1>;

static_assert(std::is_nothrow_move_constructible_v<UniqueFileHandle>);
static_assert(!std::is_copy_constructible_v<UniqueFileHandle>);

}  // namespace dashtab::win
