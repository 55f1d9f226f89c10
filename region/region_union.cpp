#include "region/region.h"

// Apart from region.cpp, which the hook library compiles in: it never unites,
// and the unwind table of every function it compiles keeps that function,
// and what it calls, in every process the hooks are loaded into.

namespace lumo {
namespace region {

bool Region::unite(const Region *other) {
  return pixman_region_union(&region_, &region_, const_cast<pixman_region16_t *>(&other->region_));
}

}  // namespace region
}  // namespace lumo
