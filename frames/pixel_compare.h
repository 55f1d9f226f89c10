#pragma once

// Rows of pixels compared on their colour bits, at close to the speed the
// memory reads them.

#include <cstdint>

namespace lumo {
namespace frames {

// Whether `count` pixels of two rows have the same colours.
bool samePixels(const std::uint32_t *a, const std::uint32_t *b, int count);

// The first and last column at which two rows of `count` pixels differ in
// colour; false where they do not.
bool differingSpan(const std::uint32_t *a, const std::uint32_t *b, int count, int *first,
                   int *last);

}  // namespace frames
}  // namespace lumo
