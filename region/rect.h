#pragma once

namespace lumo {
namespace region {

// An integer rectangle: left and top inside, right and bottom outside.
// An inverted rectangle is empty, not mirrored.
class Rect {
public:
  Rect() = default;
  Rect(int left, int top, int right, int bottom)
      : left(left), top(top), right(right), bottom(bottom) {}
  Rect(const Rect &) = default;
  Rect &operator=(const Rect &) = default;
  virtual ~Rect() = default;

  int getWidth() const { return right - left; }
  int getHeight() const { return bottom - top; }
  // By comparing: the width of a wildly inverted one does not fit an int.
  bool isEmpty() const { return right <= left || bottom <= top; }

  bool operator==(const Rect &other) const {
    return left == other.left && top == other.top && right == other.right && bottom == other.bottom;
  }
  bool operator!=(const Rect &other) const { return !(*this == other); }

  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
};

}  // namespace region
}  // namespace lumo
