#include "damage/window_changes.h"

#include <algorithm>

#include "region/rect_geometry.h"

namespace lumo {
namespace damage {

void addWindowChanges(std::vector<TopWindow> *before, std::vector<TopWindow> *after,
                      std::vector<region::Rect> *places, std::vector<region::Rect> *vacated,
                      std::vector<PlaceChange> *changed) {
  const auto byId = [](const TopWindow &a, const TopWindow &b) { return a.id < b.id; };
  std::sort(before->begin(), before->end(), byId);
  std::sort(after->begin(), after->end(), byId);
  auto old = before->begin();
  auto now = after->begin();
  while (old != before->end() || now != after->end()) {
    if (now == after->end() || (old != before->end() && old->id < now->id)) {
      places->push_back(old->place);
      vacated->push_back((old++)->place);
    } else if (old == before->end() || now->id < old->id) {
      places->push_back((now++)->place);
    } else {
      if (old->place != now->place) {
        places->push_back(old->place);
        places->push_back(now->place);
        appendDifference(old->place, now->place, vacated);
        changed->push_back({now->id, old->place, now->place});
      }
      ++old;
      ++now;
    }
  }
}

}  // namespace damage
}  // namespace lumo
