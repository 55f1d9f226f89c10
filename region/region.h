#pragma once

#include <cstddef>
#include <vector>

#include <pixman.h>

#include "region/rect.h"

namespace lumo {
namespace region {

// The largest coordinate a region holds.
constexpr int kRegionLimit = 0x7fff;

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
  // The same failure rule as subtract; false where it failed, or where
  // either region had failed before.
  bool unite(const Region *other);

  // Replaces the vector's contents with the region's rectangles in banded
  // order. Only the vector's own allocation can throw. Inline, so that the
  // hook library, which links no C++ library, compiles none of it.
  void getRectVector(std::vector<Rect> *rects) const {
    rects->clear();
    int count = 0;
    boxes(&count);
    rects->reserve(static_cast<size_t>(count));
    forEachRect([rects](const Rect &rect) { rects->push_back(rect); });
  }

  // Calls visit(const Rect &) for each rectangle in banded order, allocating
  // nothing.
  template <typename Visit>
  void forEachRect(Visit visit) const {
    int count = 0;
    const pixman_box16_t *box = boxes(&count);
    for (int i = 0; i < count; ++i) {
      visit(Rect(box[i].x1, box[i].y1, box[i].x2, box[i].y2));
    }
  }

private:
  const pixman_box16_t *boxes(int *count) const {
    return pixman_region_rectangles(const_cast<pixman_region16_t *>(&region_), count);
  }

  pixman_region16_t region_;
};

}  // namespace region
}  // namespace lumo
