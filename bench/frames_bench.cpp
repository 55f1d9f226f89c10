// The frame builder's comparison of two pictures of the screen that are
// alike, the case of every unchanged hinted pixel, against the floor: a loop
// that only reads both pictures once. The C runtime's memcmp is printed
// beside it; under Wine it is a plain loop, too weak to be the floor.

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "frames/changed_areas.h"
#include "measure.h"

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;

// What keeps the compiler from dropping a read whose result goes nowhere.
volatile std::uint64_t sink;

std::uint64_t readBoth(const std::uint32_t *a, const std::uint32_t *b, size_t count) {
  std::uint64_t any = 0;
  for (size_t i = 0; i < count; ++i) {
    any |= a[i] ^ b[i];
  }
  return any;
}

}  // namespace

int main() {
  lumo::frames::PixelImage now(kWidth, kHeight);
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      now.at(x, y) = static_cast<std::uint32_t>(x * 2654435761u ^ y * 40503u) & 0xFFFFFF;
    }
  }
  const lumo::frames::PixelImage before = now;
  const size_t count = static_cast<size_t>(kWidth) * kHeight;
  std::vector<lumo::region::Rect> boxes;
  const std::vector<double> ns = lumo::bench::compare(
      {[&] {
         boxes.clear();
         lumo::frames::appendChangedBoxes(now, before, now.bounds(), {16, 16}, &boxes);
         sink = boxes.size();
       },
       [&] { sink = readBoth(now.row(0), before.row(0), count); },
       [&] { sink = std::memcmp(now.row(0), before.row(0), count * 4); }},
      5, 21);
  const double megapixels = count / 1e6;
  std::printf("%-40s %14s %14s %14s %8s\n", "equal pictures, ms per megapixel", "comparison",
              "floor", "memcmp", "ratio");
  std::printf("%-40s %14.3f %14.3f %14.3f %8.2f\n", "1920x1080, 16-pixel tiles",
              ns[0] / 1e6 / megapixels, ns[1] / 1e6 / megapixels, ns[2] / 1e6 / megapixels,
              ns[0] / ns[1]);
  std::printf("median of 21 runs of 5 comparisons; floor: one read of both pictures\n");
  return 0;
}
