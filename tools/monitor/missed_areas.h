#pragma once

// The places of the changes no report covered, as a person looks for them:
// missed pixels close to each other make one area.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "region/rect.h"

namespace lumo {
namespace tools {

struct MissedArea {
  region::Rect bounds;
  std::uint64_t pixels;
};

// From a mask of one byte per pixel, row by row, 1 where a change was
// missed: the areas, largest first, at most `most` of them.
std::vector<MissedArea> missedAreas(const std::vector<std::uint8_t> &missed, int width, int height,
                                    std::size_t most);

}  // namespace tools
}  // namespace lumo
