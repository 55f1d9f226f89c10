#pragma once

// The one owner of platform objects: a value, the function that releases it
// and the value that means "nothing owned" are all part of the type, so a
// new kind of object needs one alias, not a new class.

#include <cstddef>

namespace lumo {

// Most handle kinds use null for "nothing".
struct NullIsInvalid {
  template <typename T>
  static T value() noexcept {
    return T();
  }
};

// Move-only. Close is called once for every valid value the owner held when
// it is reset, reassigned or destroyed, never for the invalid value.
template <typename T, auto Close, typename Invalid = NullIsInvalid>
class UniqueAny {
public:
  using pointer = T;

  UniqueAny() noexcept = default;
  explicit UniqueAny(T value) noexcept : value_(value) {}
  UniqueAny(UniqueAny &&other) noexcept : value_(other.release()) {}
  UniqueAny &operator=(UniqueAny &&other) noexcept {
    if (this != &other) {
      reset(other.release());
    }
    return *this;
  }
  UniqueAny(const UniqueAny &) = delete;
  UniqueAny &operator=(const UniqueAny &) = delete;
  ~UniqueAny() { reset(); }

  static T invalid() noexcept { return Invalid::template value<T>(); }

  T get() const noexcept { return value_; }
  bool valid() const noexcept { return value_ != invalid(); }
  explicit operator bool() const noexcept { return valid(); }

  // The caller owns the value from now on.
  [[nodiscard]] T release() noexcept {
    const T value = value_;
    value_ = invalid();
    return value;
  }

  void reset(T value = invalid()) noexcept {
    const T old = value_;
    value_ = value;
    if (old != invalid()) {
      Close(old);
    }
  }

  // For calls that hand out a new object through a pointer, as in
  // `HANDLE h; Call(&h)`: releases what is owned and lends the slot.
  T *put() noexcept {
    reset();
    return &value_;
  }

  friend bool operator==(const UniqueAny &owner, std::nullptr_t) noexcept { return !owner.valid(); }
  friend bool operator!=(const UniqueAny &owner, std::nullptr_t) noexcept { return owner.valid(); }

private:
  T value_ = invalid();
};

}  // namespace lumo
