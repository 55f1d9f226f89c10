#pragma once

#include <vector>

#include <pixman.h>

#include "region/rect.h"

namespace lumo {
namespace region {

// A set of pixels as pixman's banded list of 16-bit rectangles. Rect values
// are truncated to 16 bits on the way in and sign-extended on the way out.
class Region {
public:
  explicit Region(const Rect *rect);
  Region(const Region &) = delete;
  Region &operator=(const Region &) = delete;
  virtual ~Region();

  // On allocation failure the region enters pixman's failed state, which
  // yields no rectangles; nothing is thrown.
  void subtract(const Region *other);

  // Replaces the vector's contents with the region's rectangles in banded
  // order. Only the vector's own allocation can throw.
  void getRectVector(std::vector<Rect> *rects) const;

private:
  pixman_region16_t region_;
};

}  // namespace region
}  // namespace lumo
