#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "tools/monitor/damage_map.h"

using lumo::region::Rect;
using lumo::tools::Damage;
using lumo::tools::paintDamage;
using lumo::tools::VerifyMarks;

namespace {

const std::uint32_t kGrey = 0x00808080;
const std::uint32_t kRed = 0x00FF0000;

// A picture with guard pixels on both sides, to catch writes outside it.
class Picture {
public:
  Picture(int width, int height)
      : width_(width), pixels_(static_cast<size_t>(width * height) + 2 * kGuard, kGrey) {}

  void paint(const std::vector<Damage> &damage, const VerifyMarks &marks = {}) {
    paintDamage(pixels_.data() + kGuard, width_, height(), damage, marks);
  }
  std::uint32_t at(int x, int y) const { return pixels_[kGuard + y * width_ + x]; }
  int height() const { return static_cast<int>((pixels_.size() - 2 * kGuard) / width_); }
  bool guardsIntact() const {
    for (size_t i = 0; i < kGuard; ++i) {
      if (pixels_[i] != kGrey || pixels_[pixels_.size() - 1 - i] != kGrey) {
        return false;
      }
    }
    return true;
  }

private:
  static constexpr size_t kGuard = 64;
  int width_;
  std::vector<std::uint32_t> pixels_;
};

unsigned red(std::uint32_t pixel) { return (pixel >> 16) & 0xFF; }
unsigned green(std::uint32_t pixel) { return (pixel >> 8) & 0xFF; }
unsigned blue(std::uint32_t pixel) { return pixel & 0xFF; }

TEST(DamageMapTest, RectangleIsOutlinedOnItsOwnPixelsAndShadedInside) {
  Picture picture(8, 6);
  picture.paint({{Rect(2, 1, 6, 4), 1}});
  // Right and bottom are exclusive: the outline runs on columns 2 and 5,
  // rows 1 and 3.
  for (auto [x, y] : {std::pair{2, 1}, {5, 1}, {2, 3}, {5, 3}, {3, 1}, {5, 2}}) {
    EXPECT_EQ(picture.at(x, y), kRed) << x << "," << y;
  }
  const std::uint32_t inside = picture.at(3, 2);
  EXPECT_GT(red(inside), 0x80u);
  EXPECT_LT(green(inside), 0x80u);
  EXPECT_NE(inside, kRed);
  for (auto [x, y] : {std::pair{1, 1}, {6, 1}, {2, 0}, {2, 4}, {0, 0}, {7, 5}}) {
    EXPECT_EQ(picture.at(x, y), kGrey) << x << "," << y;
  }
}

TEST(DamageMapTest, MoreReportsGiveADeeperShade) {
  Picture picture(12, 5);
  picture.paint({{Rect(0, 0, 5, 5), 1}, {Rect(6, 0, 11, 5), 4}});
  EXPECT_GT(red(picture.at(8, 2)), red(picture.at(2, 2)));
  EXPECT_LT(green(picture.at(8, 2)), green(picture.at(2, 2)));
}

TEST(DamageMapTest, RectanglesAreClippedToThePicture) {
  Picture picture(6, 4);
  picture.paint({{Rect(-3, -3, 3, 3), 2},
                 {Rect(4, 2, 40, 40), 1},
                 {Rect(10, 10, 20, 20), 1},
                 {Rect(-20, 1, -10, 2), 1},
                 {Rect(3, 3, 1, 1), 5}});
  EXPECT_TRUE(picture.guardsIntact());
  // Only the edges that lie inside are drawn.
  EXPECT_EQ(picture.at(2, 0), kRed);
  EXPECT_EQ(picture.at(0, 2), kRed);
  EXPECT_NE(picture.at(0, 0), kRed);
  EXPECT_NE(picture.at(0, 0), kGrey);
  EXPECT_EQ(picture.at(4, 2), kRed);
  EXPECT_NE(picture.at(5, 3), kRed);
  EXPECT_EQ(picture.at(3, 0), kGrey);
}

TEST(DamageMapTest, ARectangleOverMostOfTheScreenOnlyTintsIt) {
  Picture picture(40, 30);
  // The whole screen reported most often of all, and a small rectangle
  // reported once.
  picture.paint({{Rect(0, 0, 40, 30), 9}, {Rect(2, 2, 8, 8), 1}});
  const std::uint32_t underWhole = picture.at(20, 20);
  EXPECT_LT(red(underWhole) - green(underWhole), 0x30u);
  EXPECT_GT(green(underWhole), 0x60u);
  // The small one still stands out against it.
  EXPECT_GT(red(picture.at(4, 4)) - green(picture.at(4, 4)), red(underWhole) - green(underWhole));
}

TEST(DamageMapTest, MissedChangesAreMarkedInTheSecondColour) {
  Picture picture(10, 6);
  std::vector<std::uint8_t> missed(60, 0);
  missed[2 * 10 + 7] = 1;
  picture.paint({{Rect(0, 0, 5, 5), 1}}, {&missed});
  const std::uint32_t marked = picture.at(7, 2);
  EXPECT_NE(marked, kGrey);
  EXPECT_LT(red(marked), 0x40u);
  EXPECT_EQ(picture.at(8, 2), kGrey);
  // A mask of another size (the screen changed) is not used.
  std::vector<std::uint8_t> wrongSize(59, 1);
  Picture other(10, 6);
  other.paint({}, {&wrongSize});
  EXPECT_EQ(other.at(3, 3), kGrey);
}

TEST(DamageMapTest, TheTrackersAdditionsAreOutlinedInAColourOfTheirOwnOverTheReports) {
  Picture picture(10, 8);
  const std::vector<Rect> added = {Rect(0, 0, 4, 4), Rect(6, 5, 20, 20)};
  picture.paint({{Rect(0, 0, 4, 4), 1}}, {nullptr, &added});
  EXPECT_TRUE(picture.guardsIntact());
  const std::uint32_t edge = picture.at(0, 0);
  EXPECT_GT(green(edge), 0xA0u);
  EXPECT_LT(red(edge), 0x40u);
  EXPECT_EQ(picture.at(6, 5), edge);
  EXPECT_EQ(picture.at(9, 5), edge);
  // Inside stays as the reports left it; the edges off the picture are not
  // drawn.
  EXPECT_NE(picture.at(1, 1), edge);
  EXPECT_EQ(picture.at(7, 6), kGrey);
  EXPECT_EQ(picture.at(7, 7), kGrey);
}

TEST(DamageMapTest, AMoveIsOutlinedAtBothPlacesAndJoined) {
  Picture picture(40, 20);
  const std::vector<lumo::damage::WindowMove> moves = {{Rect(2, 2, 8, 8), Rect(30, 10, 36, 16)},
                                                       {Rect(-10, 5, -4, 9), Rect(36, 5, 42, 9)}};
  picture.paint({}, {nullptr, nullptr, &moves});
  EXPECT_TRUE(picture.guardsIntact());
  const std::uint32_t edge = picture.at(2, 2);
  EXPECT_NE(edge, kGrey);
  EXPECT_EQ(picture.at(30, 10), edge);
  // The line between the centres, (5, 5) to (33, 13).
  EXPECT_EQ(picture.at(19, 9), edge);
  EXPECT_EQ(picture.at(19, 2), kGrey);
}

TEST(DamageMapTest, WhatWasSentIsTintedLightlyInAColourOfItsOwnUnderTheMissedChanges) {
  // Sent: rows 2 and 3, columns 2 to 7; reported: columns 0 to 4; missed:
  // (7, 3).
  const int width = 10;
  std::vector<std::uint8_t> sent(width * 6, 0);
  std::vector<std::uint8_t> missed(width * 6, 0);
  for (int y = 2; y < 4; ++y) {
    std::fill_n(sent.begin() + y * width + 2, 6, 1);
  }
  missed[3 * width + 7] = 1;
  Picture picture(width, 6);
  picture.paint({{Rect(0, 0, 5, 6), 1}}, {&missed, nullptr, nullptr, &sent});
  // Violet shows as blue and red over green; the reports' tint has no blue
  // over green, the missed changes' no red.
  const auto violet = [](std::uint32_t p) { return blue(p) > green(p) && red(p) > green(p); };
  struct Case {
    const char *what;
    int x, y;
    bool isViolet;
  };
  const Case cases[] = {
      {"sent", 6, 2, true},
      {"sent where reported", 3, 3, true},
      {"reported, not sent", 3, 4, false},
      {"neither", 8, 2, false},
      {"sent and missed", 7, 3, false},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(violet(picture.at(c.x, c.y)), c.isViolet) << c.what;
  }
  EXPECT_EQ(picture.at(8, 2), kGrey);
  EXPECT_LT(red(picture.at(7, 3)), 0x40u);
  // Light: less than half of the way from the screen's grey to full blue.
  EXPECT_LT(blue(picture.at(6, 2)) - 0x80u, (0xFFu - 0x80u) / 2);
  // A mask of another size is not used.
  Picture other(width, 6);
  std::vector<std::uint8_t> wrongSize(width * 6 - 1, 1);
  other.paint({}, {nullptr, nullptr, nullptr, &wrongSize});
  EXPECT_EQ(other.at(3, 3), kGrey);
}

}  // namespace
