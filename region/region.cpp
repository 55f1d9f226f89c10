#include "region/region.h"

#include <cstdint>

namespace lumo {
namespace region {

Region::Region(const Rect *rect) {
  if (rect->isEmpty()) {
    pixman_region_init(&region_);
  } else {
    pixman_region_init_rect(&region_, rect->left, rect->top,
                            static_cast<unsigned>(rect->getWidth()),
                            static_cast<unsigned>(rect->getHeight()));
  }
}

Region::~Region() { pixman_region_fini(&region_); }

void Region::subtract(const Region *other) {
  pixman_region_subtract(&region_, &region_, const_cast<pixman_region16_t *>(&other->region_));
}

void Region::getRectVector(std::vector<Rect> *rects) const {
  rects->clear();
  int count = 0;
  const pixman_box16_t *boxes =
      pixman_region_rectangles(const_cast<pixman_region16_t *>(&region_), &count);
  rects->reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    rects->emplace_back(boxes[i].x1, boxes[i].y1, boxes[i].x2, boxes[i].y2);
  }
}

}  // namespace region
}  // namespace lumo
