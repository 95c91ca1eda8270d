// One RAII holder for every kind of platform handle, with a traits class per kind.
#pragma once

#include <utility>

namespace ui {

// Traits: `using Type = ...; static Type Invalid(); static void Close(Type);`
template <class Traits>
class UniqueHandle {
 public:
  using Type = typename Traits::Type;

  UniqueHandle() : handle_(Traits::Invalid()) {}
  explicit UniqueHandle(Type handle) : handle_(handle) {}
  ~UniqueHandle() { Reset(); }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.Release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }

  bool IsValid() const { return handle_ != Traits::Invalid(); }
  explicit operator bool() const { return IsValid(); }
  Type Get() const { return handle_; }
  // For calls that hand a handle back through a pointer.
  Type* Receive() {
    Reset();
    return &handle_;
  }
  Type Release() { return std::exchange(handle_, Traits::Invalid()); }
  void Reset(Type handle = Traits::Invalid()) {
    Type old = std::exchange(handle_, handle);
    if (old != Traits::Invalid()) Traits::Close(old);
  }

 private:
  Type handle_;
};

}  // namespace ui
