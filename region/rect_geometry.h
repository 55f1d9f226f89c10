#pragma once

// The small arithmetic of rectangles that the damage tracker, the frame
// builder and the tools share. Pictures of the screen have their top-left
// pixel at (0, 0).

#include <algorithm>
#include <cstdint>
#include <vector>

#include "region/rect.h"

namespace lumo {
namespace region {

// The smallest rectangle that holds both; an empty one adds nothing.
inline Rect boundingUnion(const Rect &a, const Rect &b) {
  if (a.isEmpty()) {
    return b;
  }
  if (b.isEmpty()) {
    return a;
  }
  return Rect(std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
              std::max(a.bottom, b.bottom));
}

// The part both hold; empty where they do not meet.
inline Rect intersection(const Rect &a, const Rect &b) {
  return Rect(std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
              std::min(a.bottom, b.bottom));
}

// The part of the rectangle on a picture of width by height pixels; empty
// where it lies outside.
inline Rect clipped(const Rect &rect, int width, int height) {
  return intersection(rect, Rect(0, 0, width, height));
}

inline Rect translated(const Rect &rect, int dx, int dy) {
  return Rect(rect.left + dx, rect.top + dy, rect.right + dx, rect.bottom + dy);
}

inline bool overlap(const Rect &a, const Rect &b) { return !intersection(a, b).isEmpty(); }

// Appends the parts of `a` outside `b`: at most four rectangles, the bands
// above and below `b` and the pieces beside it. Arithmetic alone, so that
// it cannot fail halfway as a region operation can.
inline void appendDifference(const Rect &a, const Rect &b, std::vector<Rect> *into) {
  const Rect common = intersection(a, b);
  if (common.isEmpty()) {
    if (!a.isEmpty()) {
      into->push_back(a);
    }
    return;
  }
  const Rect parts[] = {Rect(a.left, a.top, a.right, common.top),
                        Rect(a.left, common.top, common.left, common.bottom),
                        Rect(common.right, common.top, a.right, common.bottom),
                        Rect(a.left, common.bottom, a.right, a.bottom)};
  for (const Rect &part : parts) {
    if (!part.isEmpty()) {
      into->push_back(part);
    }
  }
}

// Its pixels; none for an empty one. Counted in 64 bits, where any width
// and height fit.
inline std::uint64_t pixelCount(const Rect &rect) {
  if (rect.isEmpty()) {
    return 0;
  }
  return static_cast<std::uint64_t>(std::int64_t{rect.right} - rect.left) *
         static_cast<std::uint64_t>(std::int64_t{rect.bottom} - rect.top);
}

}  // namespace region
}  // namespace lumo
