#include "source/screen_source.h"

#include <algorithm>
#include <mutex>

#include "damage/system_desktop.h"
#include "frames/gdi_screen_capture.h"
#include "server/server_object_names.h"
#include "source/report_intake.h"
#include "source/shared_tracker.h"
#include "util/text_conversion.h"
#include "win/module_file_path.h"

namespace lumo {
namespace source {

namespace {

// A longer wait is this long: a deadline far in the future would overflow
// where the wait converts it to another clock.
const Clock::duration longestWait = std::chrono::hours(24);

ScreenSourceSettings completed(ScreenSourceSettings settings) {
  if (settings.hookLibrary.empty()) {
    const server::ServerObjectNames &names = server::ServerObjectNames::instance();
    settings.hookLibrary = win::besideThisProgram(
        toUtf16(sizeof(void *) == 8 ? names.hookLibrary64FileName : names.hookLibrary32FileName));
  }
  settings.minInterval = std::max(settings.minInterval, Clock::duration::zero());
  settings.tickInterval =
      std::max(settings.tickInterval, Clock::duration(std::chrono::milliseconds(1)));
  return settings;
}

std::unique_ptr<damage::DesktopSource> systemDesktop(damage::DesktopSource *given) {
  if (given != nullptr) {
    return nullptr;
  }
  try {
    return std::make_unique<damage::SystemDesktop>();
  } catch (const std::runtime_error &refused) {
    throw StartError(StartStep::desktopRefused, refused.what());
  }
}

}  // namespace

// Declared in the order of starting: the thread, last, goes first.
class ScreenSource::Running {
public:
  explicit Running(ScreenSourceSettings settings)
      : settings_(completed(std::move(settings))),
        ownDesktop_(systemDesktop(settings_.desktop)),
        tracker_(settings_.desktop != nullptr ? settings_.desktop : ownDesktop_.get()),
        builder_(settings_.capture != nullptr ? settings_.capture : &ownCapture_,
                 settings_.builder),
        intake_(settings_, &tracker_) {}

  NextResult next(Clock::duration timeout, SourceFrame *frame);
  bool stop() noexcept {
    tracker_.stop();
    return intake_.stop();
  }

  bool watching32() const { return intake_.watching32(); }
  const std::wstring &why32NotWatched() const { return intake_.why32NotWatched(); }
  double polledShare() const { return tracker_.polledShare(); }

private:
  const ScreenSourceSettings settings_;
  std::unique_ptr<damage::DesktopSource> ownDesktop_;
  frames::GdiScreenCapture ownCapture_;
  SharedTracker tracker_;
  // The consumer's alone, as are the members below it.
  std::mutex consumer_;
  frames::FrameBuilder builder_;
  Clock::time_point lastFrame_;
  std::uint64_t sequence_ = 0;
  ReportIntake intake_;
};

NextResult ScreenSource::Running::next(Clock::duration timeout, SourceFrame *frame) {
  const std::lock_guard<std::mutex> consumer(consumer_);
  const Clock::time_point deadline =
      Clock::now() + std::clamp(timeout, Clock::duration::zero(), longestWait);
  const Clock::time_point earliest =
      sequence_ == 0 ? Clock::time_point() : lastFrame_ + settings_.minInterval;
  switch (tracker_.wait(builder_.needsFrame(), earliest, deadline)) {
    case SharedTracker::Wait::stopped:
      return NextResult::stopped;
    case SharedTracker::Wait::timedOut:
      return NextResult::timedOut;
    case SharedTracker::Wait::due:
      break;
  }
  SharedTracker::Taken taken = tracker_.take();
  lastFrame_ = Clock::now();
  frame->update = builder_.build(
      {taken.virtualScreen, false, taken.frame.damage, taken.frame.moves, taken.frame.vacated},
      lastFrame_);
  frame->sequence = ++sequence_;
  frame->firstReport = taken.firstReport;
  frame->virtualScreen = taken.virtualScreen;
  frame->hints = std::move(taken.frame);
  return NextResult::frame;
}

ScreenSource::ScreenSource(ScreenSourceSettings settings) {
  try {
    running_ = std::make_unique<Running>(std::move(settings));
  } catch (const StartError &) {
    throw;
  } catch (const std::exception &e) {
    throw StartError(StartStep::resources, e.what());
  }
}

ScreenSource::~ScreenSource() { stop(); }

bool ScreenSource::watching32() const { return running_->watching32(); }

const std::wstring &ScreenSource::why32NotWatched() const { return running_->why32NotWatched(); }

NextResult ScreenSource::next(Clock::duration timeout, SourceFrame *frame) noexcept {
  try {
    return running_->next(timeout, frame);
  } catch (...) {
    // The tracker keeps what it could not give: the next frame is whole.
    return NextResult::failed;
  }
}

bool ScreenSource::stop() noexcept { return running_->stop(); }

double ScreenSource::polledShare() const { return running_->polledShare(); }

}  // namespace source
}  // namespace lumo
