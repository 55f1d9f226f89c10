#include <gtest/gtest.h>

#include <climits>
#include <tuple>
#include <vector>

#include "region/rect_geometry.h"
#include "region/region.h"

using lumo::region::pixelCount;
using lumo::region::Rect;
using lumo::region::Region;

namespace {

using Box = std::tuple<int, int, int, int>;

std::vector<Box> boxesOf(const Region &region) {
  std::vector<Rect> rects;
  region.getRectVector(&rects);
  std::vector<Box> boxes;
  for (const Rect &r : rects) {
    boxes.emplace_back(r.left, r.top, r.right, r.bottom);
  }
  return boxes;
}

std::vector<Box> difference(Rect a, Rect b) {
  Region ra(&a);
  const Region rb(&b);
  ra.subtract(&rb);
  return boxesOf(ra);
}

}  // namespace

TEST(RectTest, EmptyWhenWidthOrHeightIsNotPositive) {
  EXPECT_TRUE(Rect().isEmpty());
  EXPECT_TRUE(Rect(10, 10, 10, 20).isEmpty());
  EXPECT_TRUE(Rect(30, 0, 20, 10).isEmpty());
  EXPECT_TRUE(Rect(0, 30, 10, 20).isEmpty());
  EXPECT_FALSE(Rect(-5, -5, -4, -4).isEmpty());
  EXPECT_EQ(Rect(30, 0, 20, 10).getWidth(), -10);
  // Inverted by more than an int holds.
  EXPECT_TRUE(Rect(32768, 0, INT_MIN, 10).isEmpty());
  EXPECT_TRUE(Rect(0, INT_MAX, 10, INT_MIN).isEmpty());
  EXPECT_EQ(pixelCount(Rect(INT_MIN, 0, INT_MAX, 2)), 2 * 0xFFFFFFFFull);
}

// The arithmetic difference gives the region's subtraction, band for band.
TEST(RectTest, DifferenceIsTheRegionsSubtractionWithoutAnAllocation) {
  const Rect cases[][2] = {
      {Rect(0, 0, 100, 80), Rect(200, 0, 300, 80)},    // apart
      {Rect(0, 0, 100, 80), Rect(30, 20, 70, 60)},     // a hole in the middle
      {Rect(0, 0, 100, 80), Rect(-10, -10, 110, 90)},  // covered
      {Rect(0, 0, 100, 80), Rect(60, 50, 160, 130)},   // a corner
      {Rect(0, 0, 100, 80), Rect(0, 20, 40, 60)},      // touching the left edge
      {Rect(0, 0, 100, 80), Rect(40, -5, 60, 85)},     // a column through it
      {Rect(10, 10, 10, 20), Rect(0, 0, 5, 5)},        // empty
  };
  for (const auto &c : cases) {
    std::vector<Rect> parts;
    lumo::region::appendDifference(c[0], c[1], &parts);
    std::vector<Box> boxes;
    for (const Rect &r : parts) {
      boxes.emplace_back(r.left, r.top, r.right, r.bottom);
    }
    EXPECT_EQ(boxes, difference(c[0], c[1])) << c[1].left << " " << c[1].top;
  }
}

TEST(RegionTest, EmptyAndInvertedRectanglesGiveEmptyRegions) {
  const Rect zeroWidth(10, 10, 10, 20);
  const Rect inverted(30, 0, 20, 10);
  EXPECT_TRUE(boxesOf(Region(&zeroWidth)).empty());
  EXPECT_TRUE(boxesOf(Region(&inverted)).empty());
}

TEST(RegionTest, FrameAroundACentredHoleComesOutInBandedOrder) {
  EXPECT_EQ(
      difference(Rect(0, 0, 100, 100), Rect(10, 10, 90, 90)),
      (std::vector<Box>{{0, 0, 100, 10}, {0, 10, 10, 90}, {90, 10, 100, 90}, {0, 90, 100, 100}}));
}

TEST(RegionTest, HoleTouchingTheLeftEdgeLeavesThreeRectangles) {
  EXPECT_EQ(difference(Rect(0, 0, 100, 100), Rect(0, 10, 90, 90)),
            (std::vector<Box>{{0, 0, 100, 10}, {90, 10, 100, 90}, {0, 90, 100, 100}}));
}

TEST(RegionTest, AdjacentBandsWithTheSameExtentAreMerged) {
  // Removing a strip across the full width at the bottom leaves one band,
  // not the two that the hole's top edge would otherwise split it into.
  EXPECT_EQ(difference(Rect(0, 0, 100, 100), Rect(0, 50, 100, 100)),
            (std::vector<Box>{{0, 0, 100, 50}}));
  // A hole in the lower right corner splits only where the extent changes.
  EXPECT_EQ(difference(Rect(0, 0, 100, 100), Rect(50, 50, 100, 100)),
            (std::vector<Box>{{0, 0, 100, 50}, {0, 50, 50, 100}}));
}

TEST(RegionTest, SubtractingNothingOrSomethingElsewhereLeavesTheRectangle) {
  const Box whole{5, 6, 70, 80};
  EXPECT_EQ(difference(Rect(5, 6, 70, 80), Rect()), std::vector<Box>{whole});
  EXPECT_EQ(difference(Rect(5, 6, 70, 80), Rect(200, 200, 300, 300)), std::vector<Box>{whole});
  EXPECT_EQ(difference(Rect(5, 6, 70, 80), Rect(70, 6, 90, 80)), std::vector<Box>{whole});
}

TEST(RegionTest, SubtractingACoveringRegionLeavesNothing) {
  EXPECT_TRUE(difference(Rect(10, 10, 20, 20), Rect(0, 0, 100, 100)).empty());
  EXPECT_TRUE(difference(Rect(10, 10, 20, 20), Rect(10, 10, 20, 20)).empty());
}

TEST(RegionTest, NegativeCoordinatesAreSignExtendedOnTheWayOut) {
  const Rect rect(-1, -300, 40, -2);
  EXPECT_EQ(boxesOf(Region(&rect)), (std::vector<Box>{{-1, -300, 40, -2}}));
  EXPECT_EQ(difference(Rect(-20, -20, 20, 20), Rect(-10, -10, 10, 10)),
            (std::vector<Box>{
                {-20, -20, 20, -10}, {-20, -10, -10, 10}, {10, -10, 20, 10}, {-20, 10, 20, 20}}));
}

TEST(RegionTest, CoordinatesAreTruncatedToSixteenBits) {
  // 65536 + 10 enters as 10: the region keeps only the low 16 bits.
  const Rect rect(65536 + 10, 0, 65536 + 20, 5);
  EXPECT_EQ(boxesOf(Region(&rect)), (std::vector<Box>{{10, 0, 20, 5}}));
}

TEST(RegionTest, GetRectVectorReplacesWhatTheVectorHeld) {
  const Rect rect(1, 2, 3, 4);
  const Region region(&rect);
  std::vector<Rect> rects(3, Rect(9, 9, 99, 99));
  region.getRectVector(&rects);
  ASSERT_EQ(rects.size(), 1u);
  EXPECT_EQ(rects[0].left, 1);
  EXPECT_EQ(rects[0].bottom, 4);

  const Rect empty;
  Region(&empty).getRectVector(&rects);
  EXPECT_TRUE(rects.empty());
}

TEST(RegionTest, SubtractionsChain) {
  Rect outer(0, 0, 100, 100);
  Rect first(0, 0, 100, 10);
  Rect second(0, 90, 100, 100);
  Region region(&outer);
  const Region a(&first);
  const Region b(&second);
  region.subtract(&a);
  region.subtract(&b);
  EXPECT_EQ(boxesOf(region), (std::vector<Box>{{0, 10, 100, 90}}));
}

TEST(RegionTest, UnionMergesOverlapsAndKeepsSeparatePartsApart) {
  const Rect first(0, 0, 50, 50);
  const Rect overlapping(25, 25, 75, 75);
  const Rect apart(200, 0, 210, 10);
  const Rect empty;
  Region region(&first);
  const Region b(&overlapping);
  const Region c(&apart);
  const Region none(&empty);
  region.unite(&b);
  region.unite(&none);
  EXPECT_EQ(boxesOf(region), (std::vector<Box>{{0, 0, 50, 25}, {0, 25, 75, 50}, {25, 50, 75, 75}}));
  region.unite(&b);
  region.unite(&c);
  EXPECT_EQ(
      boxesOf(region),
      (std::vector<Box>{
          {0, 0, 50, 10}, {200, 0, 210, 10}, {0, 10, 50, 25}, {0, 25, 75, 50}, {25, 50, 75, 75}}));
}
