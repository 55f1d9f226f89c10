#pragma once

// Moves, resizes, appearances and disappearances of top-level windows
// between two looks at the desktop. The system moves a window's pixels
// without a painting message, so its old and new places are damage that
// no report names.

#include <vector>

#include "damage/desktop_source.h"
#include "region/rect.h"

namespace lumo {
namespace damage {

// A window's places at two looks.
struct PlaceChange {
  std::uintptr_t id = 0;
  region::Rect before;
  region::Rect after;
};

// Appends to `places` the old and the new place of every window that moved
// or changed size, the place of every window that appeared, and the last
// place of every window that went; to `vacated` what windows no longer
// cover: the last place of one that went (closed, minimised or hidden) and
// what one that moved or changed size left of its old place; and to
// `changed` each window that moved or changed size.
void addWindowChanges(const std::vector<TopWindow> &before, const std::vector<TopWindow> &after,
                      std::vector<region::Rect> *places, std::vector<region::Rect> *vacated,
                      std::vector<PlaceChange> *changed);

}  // namespace damage
}  // namespace lumo
