#include "damage/damage_tracker.h"

#include <algorithm>

#include "damage/window_changes.h"
#include "paintwatch/report.h"
#include "region/region.h"

namespace lumo {
namespace damage {

namespace {

// A caret is drawn a pixel or two wider than its rectangle where the
// system scales or smooths it.
const int caretPadding = 2;

std::unique_ptr<region::Region> emptyRegion() {
  const region::Rect none;
  return std::make_unique<region::Region>(&none);
}

region::Rect padded(const region::Rect &r, int by) {
  return region::Rect(r.left - by, r.top - by, r.right + by, r.bottom + by);
}

// Screen coordinates to the virtual screen's, clipped to it.
region::Rect onVirtualScreen(const region::Rect &r, const region::Rect &screen) {
  return region::Rect(std::max(r.left, screen.left) - screen.left,
                      std::max(r.top, screen.top) - screen.top,
                      std::min(r.right, screen.right) - screen.left,
                      std::min(r.bottom, screen.bottom) - screen.top);
}

std::uint64_t areaOf(const region::Region &region) {
  std::uint64_t area = 0;
  region.forEachRect([&area](const region::Rect &r) {
    area += static_cast<std::uint64_t>(r.getWidth()) * static_cast<std::uint64_t>(r.getHeight());
  });
  return area;
}

void unite(region::Region *into, const region::Rect &rect) {
  if (!rect.isEmpty()) {
    const region::Region part(&rect);
    into->unite(&part);
  }
}

}  // namespace

DamageTracker::DamageTracker(DesktopSource *desktop)
    : desktop_(*desktop),
      screen_(desktop->virtualScreen()),
      damage_(emptyRegion()),
      added_(emptyRegion()) {}

DamageTracker::~DamageTracker() = default;

void DamageTracker::addReport(WPARAM wParam, LPARAM lParam) {
  const region::Rect r = paintwatch::unpackReport(wParam, lParam);
  const region::Rect whole(0, 0, screen_.getWidth(), screen_.getHeight());
  unite(damage_.get(), onVirtualScreen(r, whole));
}

void DamageTracker::tick() {
  desktop_.beginTick();
  screen_ = desktop_.virtualScreen();
  std::vector<region::Rect> additions;
  std::vector<TopWindow> windows = desktop_.topWindows();
  if (haveBaseline_) {
    addWindowChanges(&windows_, &windows, &additions);
  }
  windows_ = std::move(windows);
  addHeld(&additions);
  addScrollBars(&additions);
  haveBaseline_ = true;
  addToFrame(additions);
}

void DamageTracker::addHeld(std::vector<region::Rect> *additions) {
  additions->insert(additions->end(), held_.begin(), held_.end());
  held_ = desktop_.openMenus();
  if (const std::optional<region::Rect> caret = desktop_.caret()) {
    held_.push_back(padded(*caret, caretPadding));
  }
  additions->insert(additions->end(), held_.begin(), held_.end());
}

void DamageTracker::addScrollBars(std::vector<region::Rect> *additions) {
  std::vector<ScrollBarState> bars = desktop_.scrollBars();
  if (haveBaseline_ && bars != scrollBars_) {
    for (const ScrollBarState &bar : scrollBars_) {
      additions->push_back(bar.place);
    }
    for (const ScrollBarState &bar : bars) {
      additions->push_back(bar.place);
    }
  }
  scrollBars_ = std::move(bars);
}

void DamageTracker::addToFrame(const std::vector<region::Rect> &additions) {
  const std::unique_ptr<region::Region> tick = emptyRegion();
  for (const region::Rect &r : additions) {
    unite(tick.get(), onVirtualScreen(r, screen_));
  }
  const double screenArea = static_cast<double>(screen_.getWidth()) * screen_.getHeight();
  polledShares_ += screenArea <= 0 ? 0.0 : static_cast<double>(areaOf(*tick)) / screenArea;
  ++ticks_;
  added_->unite(tick.get());
  damage_->unite(tick.get());
}

Frame DamageTracker::takeFrame() {
  Frame frame;
  damage_->getRectVector(&frame.damage);
  added_->getRectVector(&frame.added);
  damage_ = emptyRegion();
  added_ = emptyRegion();
  return frame;
}

}  // namespace damage
}  // namespace lumo
