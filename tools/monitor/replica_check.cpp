#include "replica_check.h"

#include <algorithm>
#include <bitset>

#include "region/rect_geometry.h"
#include "text_output.h"

namespace lumo {
namespace tools {

namespace {

// Captures of the last eight at which a pixel may trail the screen: a
// change lands between a frame and the capture after it, and a hint can
// come before its paint.
const int allowedWrongCaptures = 2;

bool stale(std::uint8_t wrongAt) { return std::bitset<8>(wrongAt).count() > allowedWrongCaptures; }

// Sets the rectangle's bytes in a mask of one byte per pixel, as far as it
// lies on the mask.
void mark(const region::Rect &rect, int width, int height, std::vector<std::uint8_t> *mask) {
  const region::Rect c = clipped(rect, width, height);
  for (int y = c.top; y < c.bottom; ++y) {
    std::fill_n(mask->begin() + static_cast<size_t>(y) * width + c.left, c.getWidth(), 1);
  }
}

}  // namespace

ReplicaCheck::ReplicaCheck(const region::Rect &captured)
    : captured_(captured),
      width_(captured.getWidth()),
      height_(captured.getHeight()),
      excluded_(static_cast<size_t>(width_) * height_, 0),
      sent_(static_cast<size_t>(width_) * height_, 0),
      wrongAt_(static_cast<size_t>(width_) * height_, 0) {}

void ReplicaCheck::exclude(const region::Rect &rect) { mark(rect, width_, height_, &excluded_); }

void ReplicaCheck::frame(const region::Rect &virtualScreen, const frames::FrameUpdate &update) {
  layout_ = virtualScreen;
  // The client's first picture is what changes are counted from, as the
  // coverage check counts them from its first capture: not sent for a change.
  const bool firstPicture = replica_.width() == 0 && update.whole;
  frames::applyUpdate(update, &replica_);
  ++frames_;
  if (firstPicture) {
    return;
  }
  counts_.hinted += update.counts.hinted;
  counts_.sent += update.counts.sent;
  counts_.copied += update.counts.copied;
  moves_ += update.moves.size();
  for (const frames::ChangedArea &area : update.areas) {
    mark(area.place, width_, height_, &sent_);
  }
  for (const frames::Move &move : update.moves) {
    const region::Rect &from = move.source;
    copies_.push_back({from, region::Rect(move.toLeft, move.toTop, move.toLeft + from.getWidth(),
                                          move.toTop + from.getHeight())});
  }
}

// At the end a pixel counts where the replica differs from the screen, but
// for a change that landed since the capture before, between the last frame
// and the capture, unless the pixel is stale. After a display change the
// replica is of another place than the captures: nothing is compared, and
// the pixels' record starts anew.
void ReplicaCheck::addCapture(const std::uint32_t *pixels) {
  checkedLast_ = layout_ == captured_ && replica_.width() == width_ && replica_.height() == height_;
  if (!checkedLast_) {
    std::fill(wrongAt_.begin(), wrongAt_.end(), 0);
    previous_.clear();
    return;
  }
  const bool havePrevious = !previous_.empty();
  std::uint64_t staleNow = 0;
  differing_ = 0;
  for (int y = 0; y < height_; ++y) {
    const std::uint32_t *replicaRow = replica_.row(y);
    for (int x = 0; x < width_; ++x) {
      const size_t i = static_cast<size_t>(y) * width_ + x;
      if (excluded_[i]) {
        continue;
      }
      const bool wrong = frames::coloursDiffer(replicaRow[x], pixels[i]);
      wrongAt_[i] = static_cast<std::uint8_t>(wrongAt_[i] << 1 | (wrong ? 1 : 0));
      const bool isStale = stale(wrongAt_[i]);
      staleNow += isStale;
      const bool justChanged = havePrevious && frames::coloursDiffer(previous_[i], pixels[i]);
      differing_ += wrong && (!justChanged || isStale);
    }
  }
  mostStale_ = std::max(mostStale_, staleNow);
  previous_.assign(pixels, pixels + static_cast<size_t>(width_) * height_);
}

std::wstring ReplicaCheck::summary(std::uint64_t changed) const {
  const auto n = [](std::uint64_t v) { return static_cast<unsigned long long>(v); };
  return formatText(
             "frames: %llu frames; hinted %llu pixels, sent %llu, changed %llu; %llu moves "
             "copied %llu pixels\n",
             n(frames_), n(counts_.hinted), n(counts_.sent), n(changed), n(moves_),
             n(counts_.copied)) +
         (checkedLast_
              ? formatText("replica: %llu pixels differ from the screen at the end; at most %llu "
                           "pixels stale for more than two captures\n",
                           n(differing_), n(mostStale_))
              : formatText("replica: not checked at the end, the virtual screen having changed; "
                           "at most %llu pixels stale for more than two captures\n",
                           n(mostStale_)));
}

}  // namespace tools
}  // namespace lumo
