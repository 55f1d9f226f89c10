#pragma once

// The damage map: a picture of the virtual screen with every reported
// rectangle outlined and shaded by how often it was reported.

#include <cstdint>
#include <string>
#include <vector>

#include "region/rect.h"

namespace lumo {
namespace tools {

struct Damage {
  region::Rect rect;  // virtual-screen coordinates
  unsigned long count;
};

// Shades and outlines the rectangles on 32-bit BGRX pixels whose top-left
// pixel is the virtual screen's origin. Rectangles are clipped to the picture;
// more reports give a deeper red.
void paintDamage(std::uint32_t *pixels, int width, int height,
                 const std::vector<Damage> &damage);

// Captures the virtual screen, paints the damage on it and writes it as PNG
// with the platform's image codecs. Returns an empty string on success,
// otherwise what went wrong.
std::string writeDamageMap(const std::wstring &path, const std::vector<Damage> &damage);

}  // namespace tools
}  // namespace lumo
