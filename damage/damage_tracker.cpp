#include "damage/damage_tracker.h"

#include <algorithm>
#include <new>

#include "damage/window_changes.h"
#include "paintwatch/report.h"
#include "region/rect_geometry.h"
#include "region/region.h"

namespace lumo {
namespace damage {

namespace {

// A caret is drawn a pixel or two wider than its rectangle where the
// system scales or smooths it.
const int caretPadding = 2;

// A frame nobody takes for long gathers a place left per moving window and
// tick; past this many they are kept as their bounding box, which only
// watches more.
const std::size_t mostVacated = 256;

void boundVacated(std::vector<region::Rect> *vacated) {
  if (vacated->size() <= mostVacated) {
    return;
  }
  region::Rect box;
  for (const region::Rect &r : *vacated) {
    box = region::boundingUnion(box, r);
  }
  vacated->assign(1, box);
}

std::unique_ptr<region::Region> emptyRegion() {
  const region::Rect none;
  return std::make_unique<region::Region>(&none);
}

region::Rect padded(const region::Rect &r, int by) {
  return region::Rect(r.left - by, r.top - by, r.right + by, r.bottom + by);
}

std::uint64_t areaOf(const region::Region &region) {
  std::uint64_t area = 0;
  region.forEachRect([&area](const region::Rect &r) { area += region::pixelCount(r); });
  return area;
}

// False where the region has failed.
bool unite(region::Region *into, const region::Rect &rect) {
  if (rect.isEmpty()) {
    return true;
  }
  const region::Region part(&rect);
  return into->unite(&part);
}

// Runs a step; false where it threw, whatever it threw: the server gets the
// whole screen rather than an exception or a stale screen.
template <typename Step>
bool failSafe(Step step) noexcept {
  try {
    step();
    return true;
  } catch (...) {
    return false;
  }
}

}  // namespace

DamageTracker::DamageTracker(DesktopSource *desktop)
    : desktop_(*desktop), damage_(emptyRegion()), added_(emptyRegion()) {}

DamageTracker::~DamageTracker() = default;

void DamageTracker::addReport(WPARAM wParam, LPARAM lParam) noexcept {
  const region::Rect r = paintwatch::unpackReport(wParam, lParam);
  changed_ = true;
  // Reports carry 16-bit coordinates and the virtual screen starts at
  // (0, 0): clipped to what a region holds, a wild report stays whole until
  // the frame is clipped to the screen.
  if (!unite(damage_.get(), clipped(r, region::kRegionLimit, region::kRegionLimit))) {
    whole_ = true;
  }
}

// A failed tick leaves the desktop as the last good tick saw it, while the
// screen may have changed since, and may change back before the next good
// tick: that tick's frame is whole too.
void DamageTracker::tick() noexcept {
  if (!failSafe([this] { look(); })) {
    whole_ = true;
    lost_ = true;
  }
}

void DamageTracker::displayChanged() noexcept { displayChanged_ = true; }

// Everything that can fail comes before the first change to the tracker's
// state.
void DamageTracker::look() {
  DesktopSnapshot now = desktop_.snapshot(displayChanged_ ? ScreenRead::Now : ScreenRead::Cached);
  std::vector<region::Rect> additions;
  std::vector<region::Rect> vacated = vacated_;
  std::vector<PlaceChange> changed;
  if (haveBaseline_) {
    addWindowChanges(windows_, now.windows, &additions, &vacated, &changed);
    boundVacated(&vacated);
    addScrollBars(now.scrollBars, &additions);
  }
  std::vector<PlaceChange> moved = movedInFrame(changed);
  addRepaintedBars(now, &additions);
  std::vector<region::Rect> held;
  addHeld(now, &held, &additions);
  // Most ticks add nothing: no region then.
  const std::unique_ptr<region::Region> tick =
      additions.empty() ? nullptr : onVirtualScreen(additions, now.virtualScreen);

  const bool united = !tick || (added_->unite(tick.get()) && damage_->unite(tick.get()));
  const bool screenChanged = haveBaseline_ && now.virtualScreen != screen_;
  whole_ = whole_ || !united || screenChanged || displayChanged_ || lost_;
  displayChanged_ = false;
  lost_ = false;
  const double screenArea =
      static_cast<double>(now.virtualScreen.getWidth()) * now.virtualScreen.getHeight();
  const std::uint64_t added = tick ? areaOf(*tick) : 0;
  changed_ = changed_ || added != 0;
  polledShares_ += screenArea <= 0 ? 0.0 : static_cast<double>(added) / screenArea;
  ++ticks_;
  screen_ = now.virtualScreen;
  windows_ = std::move(now.windows);
  moved_ = std::move(moved);
  vacated_ = std::move(vacated);
  scrollBars_ = std::move(now.scrollBars);
  held_ = std::move(held);
  haveBaseline_ = true;
}

// A window that moves twice in a frame moves once, from where it was when
// the frame began.
std::vector<PlaceChange> DamageTracker::movedInFrame(
    const std::vector<PlaceChange> &changed) const {
  std::vector<PlaceChange> moved = moved_;
  for (const PlaceChange &change : changed) {
    const auto same = std::find_if(moved.begin(), moved.end(),
                                   [&change](const PlaceChange &m) { return m.id == change.id; });
    if (same == moved.end()) {
      moved.push_back(change);
    } else {
      same->after = change.after;
    }
  }
  return moved;
}

// The caret and the menus now, and where they were at the last tick.
void DamageTracker::addHeld(const DesktopSnapshot &now, std::vector<region::Rect> *held,
                            std::vector<region::Rect> *additions) const {
  *held = now.menus;
  if (now.caret) {
    held->push_back(padded(*now.caret, caretPadding));
  }
  additions->insert(additions->end(), held_.begin(), held_.end());
  additions->insert(additions->end(), held->begin(), held->end());
}

// A bar that changed, moved or went damages where it was and where it is.
void DamageTracker::addScrollBars(const std::vector<ScrollBarState> &bars,
                                  std::vector<region::Rect> *additions) const {
  if (bars == scrollBars_) {
    return;
  }
  for (const ScrollBarState &bar : scrollBars_) {
    additions->push_back(bar.place);
  }
  for (const ScrollBarState &bar : bars) {
    additions->push_back(bar.place);
  }
}

// A bar that cannot be read is added where the reports repainted the client
// area beside it: text that scrolled moved the thumb.
void DamageTracker::addRepaintedBars(const DesktopSnapshot &now,
                                     std::vector<region::Rect> *additions) const {
  const POINT origin = {now.virtualScreen.left, now.virtualScreen.top};
  for (const UnreadScrollBar &bar : now.unreadScrollBars) {
    const region::Rect client = paintwatch::virtualFromScreen(bar.client, origin);
    bool repainted = false;
    damage_->forEachRect([&client, &repainted](const region::Rect &r) {
      repainted = repainted || overlap(r, client);
    });
    if (repainted) {
      additions->push_back(bar.band);
    }
  }
}

// The additions in virtual-screen coordinates, clipped to the screen they
// were seen on. Throws std::bad_alloc where the region fails.
std::unique_ptr<region::Region> DamageTracker::onVirtualScreen(
    const std::vector<region::Rect> &additions, const region::Rect &screen) const {
  std::unique_ptr<region::Region> tick = emptyRegion();
  const POINT origin = {screen.left, screen.top};
  for (const region::Rect &r : additions) {
    const region::Rect inside =
        clipped(paintwatch::virtualFromScreen(r, origin), screen.getWidth(), screen.getHeight());
    if (!unite(tick.get(), inside)) {
      throw std::bad_alloc();
    }
  }
  return tick;
}

Frame DamageTracker::takeFrame() {
  Frame frame;
  const region::Rect all(0, 0, screen_.getWidth(), screen_.getHeight());
  if (whole_ || !failSafe([this, &frame] { readFrame(&frame); })) {
    whole_ = true;
    frame.damage.assign(1, all);
    frame.added.assign(1, all);
    frame.moves.clear();
  }
  if (!failSafe([this, &frame] { readVacated(&frame.vacated); })) {
    frame.vacated.assign(1, all);
  }
  moved_.clear();
  vacated_.clear();
  changed_ = false;
  whole_ = !failSafe([this] {
    damage_ = emptyRegion();
    added_ = emptyRegion();
  });
  return frame;
}

bool DamageTracker::hasChanges() const noexcept {
  return changed_ || whole_ || displayChanged_ || lost_ || !moved_.empty() || !vacated_.empty();
}

void DamageTracker::readFrame(Frame *frame) const {
  const auto read = [this](const region::Region &from, std::vector<region::Rect> *into) {
    from.forEachRect([this, into](const region::Rect &r) {
      const region::Rect inside = clipped(r, screen_.getWidth(), screen_.getHeight());
      if (!inside.isEmpty()) {
        into->push_back(inside);
      }
    });
  };
  read(*damage_, &frame->damage);
  read(*added_, &frame->added);
  const POINT origin = {screen_.left, screen_.top};
  for (const PlaceChange &m : moved_) {
    if (m.before != m.after && m.before.getWidth() == m.after.getWidth() &&
        m.before.getHeight() == m.after.getHeight()) {
      frame->moves.push_back({paintwatch::virtualFromScreen(m.before, origin),
                              paintwatch::virtualFromScreen(m.after, origin)});
    }
  }
}

void DamageTracker::readVacated(std::vector<region::Rect> *vacated) const {
  const POINT origin = {screen_.left, screen_.top};
  for (const region::Rect &r : vacated_) {
    const region::Rect inside =
        clipped(paintwatch::virtualFromScreen(r, origin), screen_.getWidth(), screen_.getHeight());
    if (!inside.isEmpty()) {
      vacated->push_back(inside);
    }
  }
}

}  // namespace damage
}  // namespace lumo
