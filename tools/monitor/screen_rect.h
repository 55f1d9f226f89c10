#pragma once

// Rectangles on pictures of the screen, whose top-left pixel is (0, 0).

#include <algorithm>

#include "region/rect.h"

namespace lumo {
namespace tools {

// The smallest rectangle that holds both; an empty one adds nothing.
inline region::Rect boundingUnion(const region::Rect &a, const region::Rect &b) {
  if (a.isEmpty()) {
    return b;
  }
  if (b.isEmpty()) {
    return a;
  }
  return region::Rect(std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
                      std::max(a.bottom, b.bottom));
}

// The part of the rectangle on a picture of width by height pixels; empty
// where it lies outside.
inline region::Rect clipped(const region::Rect &rect, int width, int height) {
  return region::Rect(std::max(rect.left, 0), std::max(rect.top, 0), std::min(rect.right, width),
                      std::min(rect.bottom, height));
}

}  // namespace tools
}  // namespace lumo
