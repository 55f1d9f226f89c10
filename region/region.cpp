#include "region/region.h"

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

}  // namespace region
}  // namespace lumo
