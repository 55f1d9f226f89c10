#include "damage/window_changes.h"

#include <algorithm>

#include "region/rect_geometry.h"

namespace lumo {
namespace damage {

namespace {

struct Sink {
  std::vector<region::Rect> *places;
  std::vector<region::Rect> *vacated;
  std::vector<PlaceChange> *changed;
};

void addChange(const TopWindow &old, const TopWindow &now, const Sink &into) {
  if (old.place != now.place) {
    into.places->push_back(old.place);
    into.places->push_back(now.place);
    appendDifference(old.place, now.place, into.vacated);
    into.changed->push_back({now.id, old.place, now.place});
  }
}

bool sameIds(const std::vector<TopWindow> &a, const std::vector<TopWindow> &b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](const TopWindow &x, const TopWindow &y) { return x.id == y.id; });
}

std::vector<TopWindow> sortedById(std::vector<TopWindow> windows) {
  std::sort(windows.begin(), windows.end(),
            [](const TopWindow &a, const TopWindow &b) { return a.id < b.id; });
  return windows;
}

}  // namespace

void addWindowChanges(const std::vector<TopWindow> &before, const std::vector<TopWindow> &after,
                      std::vector<region::Rect> *places, std::vector<region::Rect> *vacated,
                      std::vector<PlaceChange> *changed) {
  const Sink into{places, vacated, changed};
  // Ticks mostly see the same windows in the same order: no sorting then.
  if (sameIds(before, after)) {
    for (size_t i = 0; i < after.size(); ++i) {
      addChange(before[i], after[i], into);
    }
    return;
  }
  const std::vector<TopWindow> was = sortedById(before);
  const std::vector<TopWindow> is = sortedById(after);
  auto old = was.begin();
  auto now = is.begin();
  while (old != was.end() || now != is.end()) {
    if (now == is.end() || (old != was.end() && old->id < now->id)) {
      places->push_back(old->place);
      vacated->push_back((old++)->place);
    } else if (old == was.end() || now->id < old->id) {
      places->push_back((now++)->place);
    } else {
      addChange(*old++, *now++, into);
    }
  }
}

}  // namespace damage
}  // namespace lumo
