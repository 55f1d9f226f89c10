#include "frames/pixel_image.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>

namespace lumo {
namespace frames {

size_t PixelImage::pixelsFor(int width, int height) {
  if (width < 0 || height < 0 ||
      static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) >
          PTRDIFF_MAX / sizeof(std::uint32_t)) {
    throw std::bad_alloc();
  }
  return static_cast<size_t>(width) * static_cast<size_t>(height);
}

void copyPixels(const PixelImage &from, const region::Rect &area, PixelImage *to, int toLeft,
                int toTop) {
  const size_t bytes = static_cast<size_t>(area.getWidth()) * sizeof(std::uint32_t);
  // Downwards a row at a time, unless the rows would overwrite rows still to
  // be read; within a row memmove takes care of itself.
  const bool upwards = &from == to && toTop > area.top;
  for (int i = 0; i < area.getHeight(); ++i) {
    const int row = upwards ? area.getHeight() - 1 - i : i;
    std::memmove(to->row(toTop + row) + toLeft, from.row(area.top + row) + area.left, bytes);
  }
}

}  // namespace frames
}  // namespace lumo
