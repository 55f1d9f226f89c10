#pragma once

// A picture of (part of) the virtual screen: 32-bit pixels, top row first,
// of which only the 24 colour bits count. Capture leaves the fourth byte as
// it pleases.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "region/rect.h"

namespace lumo {
namespace frames {

constexpr std::uint32_t kColourBits = 0x00FFFFFF;

inline bool coloursDiffer(std::uint32_t a, std::uint32_t b) { return ((a ^ b) & kColourBits) != 0; }

class PixelImage {
public:
  PixelImage() = default;
  // Throws std::bad_alloc where the pixels cannot be had, also where their
  // count does not fit the address space.
  PixelImage(int width, int height)
      : width_(width), height_(height), pixels_(pixelsFor(width, height)) {}

  int width() const { return width_; }
  int height() const { return height_; }
  region::Rect bounds() const { return region::Rect(0, 0, width_, height_); }
  std::uint32_t *row(int y) { return pixels_.data() + static_cast<size_t>(y) * width_; }
  const std::uint32_t *row(int y) const { return pixels_.data() + static_cast<size_t>(y) * width_; }
  std::uint32_t &at(int x, int y) { return row(y)[x]; }
  std::uint32_t at(int x, int y) const { return row(y)[x]; }

private:
  static size_t pixelsFor(int width, int height);

  int width_ = 0;
  int height_ = 0;
  std::vector<std::uint32_t> pixels_;
};

// Copies the pixels of `area` from one image to another place of the same
// size in another or the same image; overlapping places are copied as if
// through a buffer.
void copyPixels(const PixelImage &from, const region::Rect &area, PixelImage *to, int toLeft,
                int toTop);

}  // namespace frames
}  // namespace lumo
