// Changed boxes on the tile grid and their merging, against pictures made in
// memory.

#include <gtest/gtest.h>

#include <climits>
#include <new>

#include "frames/changed_areas.h"
#include "frames/pixel_compare.h"

using lumo::frames::PixelImage;
using lumo::region::Rect;

namespace {

TEST(PixelCompareTest, FindsTheFirstAndLastDifferenceAtEveryPlace) {
  // Every length around the vector widths, every place of one difference.
  for (int count = 1; count <= 40; ++count) {
    for (int at = 0; at < count; ++at) {
      std::vector<std::uint32_t> a(count, 0x11223344);
      std::vector<std::uint32_t> b = a;
      b[at] ^= 0x00800000;
      int first = -1;
      int last = -1;
      ASSERT_TRUE(lumo::frames::differingSpan(a.data(), b.data(), count, &first, &last));
      EXPECT_EQ(first, at);
      EXPECT_EQ(last, at);
      b[at] = a[at] ^ 0x80000000;
      EXPECT_TRUE(lumo::frames::samePixels(a.data(), b.data(), count)) << count << " " << at;
    }
  }
}

TEST(PixelImageTest, APictureBeyondTheAddressSpaceIsRefused) {
  std::vector<std::pair<int, int>> sizes = {{INT_MAX, INT_MAX}, {-1, 16}, {16, -1}};
  if (sizeof(size_t) < 8) {
    // Its pixel count is 0 in 32 bits.
    sizes.push_back({65536, 65536});
  }
  for (const auto &[width, height] : sizes) {
    EXPECT_THROW(PixelImage(width, height), std::bad_alloc) << width << "x" << height;
  }
}

TEST(ChangedBoxesTest, ATightBoxPerCell) {
  PixelImage before(64, 32);
  PixelImage now = before;
  now.at(3, 2) = 1;
  now.at(5, 7) = 1;
  // Across the border of two cells.
  now.at(15, 20) = 1;
  now.at(16, 20) = 1;
  std::vector<Rect> boxes;
  lumo::frames::appendChangedBoxes(now, before, now.bounds(), {16, 16}, &boxes);
  EXPECT_EQ(boxes,
            (std::vector<Rect>{Rect(3, 2, 6, 8), Rect(15, 20, 16, 21), Rect(16, 20, 17, 21)}));
  // Only what lies inside the area.
  boxes.clear();
  lumo::frames::appendChangedBoxes(now, before, Rect(4, 0, 64, 16), {16, 16}, &boxes);
  EXPECT_EQ(boxes, (std::vector<Rect>{Rect(5, 7, 6, 8)}));
}

TEST(MergeBoxesTest, NeighboursMergeExactlyThenCheapestFirst) {
  struct Case {
    std::vector<Rect> boxes;
    size_t maxCount;
    std::vector<Rect> merged;
  };
  const Case cases[] = {
      // A row of cells of the same height, then a column of the same width.
      {{Rect(0, 0, 16, 4), Rect(16, 0, 32, 4)}, 8, {Rect(0, 0, 32, 4)}},
      {{Rect(0, 0, 16, 16), Rect(0, 16, 16, 20)}, 8, {Rect(0, 0, 16, 20)}},
      // Not touching: kept apart while the count allows.
      {{Rect(0, 0, 2, 2), Rect(100, 0, 102, 2)}, 8, {Rect(0, 0, 2, 2), Rect(100, 0, 102, 2)}},
      // Over the count: the pair that adds least goes first.
      {{Rect(0, 0, 2, 2), Rect(10, 0, 12, 2), Rect(200, 100, 202, 102)},
       2,
       {Rect(0, 0, 12, 2), Rect(200, 100, 202, 102)}},
      {{Rect(0, 0, 2, 2), Rect(10, 0, 12, 2)}, 0, {Rect(0, 0, 12, 2)}},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(lumo::frames::mergeBoxes(c.boxes, c.maxCount), c.merged);
  }
}

}  // namespace
