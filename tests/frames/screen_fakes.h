#pragma once

// A screen made in memory, read as the frame builder reads the real one.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <new>
#include <random>

#include "frames/frame_builder.h"
#include "region/rect_geometry.h"

namespace lumo::test {

class MemoryScreen : public frames::ScreenCapture {
public:
  // The virtual screen's top left is at (left, top) on the screen.
  MemoryScreen(int left, int top, int width, int height)
      : virtualScreen(left, top, left + width, top + height), pixels(width, height) {}

  bool capture(const region::Rect &onScreen, frames::PixelImage *into, int intoLeft,
               int intoTop) override {
    ++captures;
    if (outOfMemory) {
      throw std::bad_alloc();
    }
    if (refuse) {
      return false;
    }
    const region::Rect area(onScreen.left - virtualScreen.left, onScreen.top - virtualScreen.top,
                            onScreen.right - virtualScreen.left,
                            onScreen.bottom - virtualScreen.top);
    const region::Rect placed(intoLeft, intoTop, intoLeft + area.getWidth(),
                              intoTop + area.getHeight());
    if (region::intersection(area, pixels.bounds()) != area ||
        region::intersection(placed, into->bounds()) != placed) {
      ADD_FAILURE() << "a capture off the screen or its picture";
      return false;
    }
    frames::copyPixels(pixels, area, into, intoLeft, intoTop);
    return true;
  }

  void fill(const region::Rect &area, std::uint32_t colour) {
    for (int y = area.top; y < area.bottom; ++y) {
      for (int x = area.left; x < area.right; ++x) {
        pixels.at(x, y) = colour;
      }
    }
  }

  // Pixels no two of which are alike, as a window's content is to a compare.
  void paint(const region::Rect &area, std::mt19937 *random) {
    for (int y = area.top; y < area.bottom; ++y) {
      for (int x = area.left; x < area.right; ++x) {
        pixels.at(x, y) = (*random)() & frames::kColourBits;
      }
    }
  }

  region::Rect virtualScreen;
  frames::PixelImage pixels;
  int captures = 0;
  bool refuse = false;
  bool outOfMemory = false;
};

// Pixels whose colours differ; all of the larger picture's where the two
// differ in size.
inline int differences(const frames::PixelImage &a, const frames::PixelImage &b) {
  if (a.bounds() != b.bounds()) {
    return std::max(a.width() * a.height(), b.width() * b.height());
  }
  int count = 0;
  for (int y = 0; y < a.height(); ++y) {
    for (int x = 0; x < a.width(); ++x) {
      count += frames::coloursDiffer(a.at(x, y), b.at(x, y));
    }
  }
  return count;
}

}  // namespace lumo::test
