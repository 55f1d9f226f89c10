#pragma once

// Where two pictures of the screen differ, as few tight rectangles.

#include <cstddef>
#include <vector>

#include "frames/pixel_image.h"
#include "region/rect.h"

namespace lumo {
namespace frames {

struct TileGrid {
  int width = 16;
  int height = 16;
};

// Appends, for each cell of the grid (anchored at the screen's origin) that
// meets `area`, the tight box around the pixels of the cell inside `area`
// whose colour differs between the two pictures. Rows that are the same
// cost one read of each picture.
void appendChangedBoxes(const PixelImage &now, const PixelImage &before, const region::Rect &area,
                        const TileGrid &grid, std::vector<region::Rect> *boxes);

// The boxes merged where that adds no pixel (neighbours of the same height
// in a row, of the same width in a column), then, while more than
// `maxCount` are left, the two neighbours whose union adds the fewest
// pixels. Every pixel of the boxes stays covered.
std::vector<region::Rect> mergeBoxes(std::vector<region::Rect> boxes, size_t maxCount);

}  // namespace frames
}  // namespace lumo
