#pragma once

// Every stage from a paint to what a server sends, behind one object: the
// hook library of this process's bitness installed for a window of the
// source's own, the 32-bit hooks through paintloader32 where 32-bit code
// runs, the damage tracker, and the frame builder. A server asks it for
// frames when it can send one.
//
// Threads. The source's own thread owns its window and the hooks: it takes
// the reports as they come, into the tracker, and ticks the tracker at the
// tick interval. The consumer's thread, in next(), ticks the tracker once
// more, takes its frame and builds what to send. The tracker is guarded by
// one lock, held for a tick, a handful of reports or the taking of a frame:
// never while the screen is read or the consumer works. The builder belongs
// to the consumer's thread alone.

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

#include "damage/damage_tracker.h"
#include "damage/desktop_source.h"
#include "frames/frame_builder.h"
#include "frames/screen_capture.h"
#include "region/rect.h"

namespace lumo {
namespace source {

using frames::Clock;

// Hears every raw report, as the hooks posted it, and the end of the 32-bit
// loader, on the source's own thread: it must not wait, or the reports wait
// in the queue behind it.
class ReportTap {
public:
  virtual ~ReportTap() = default;
  virtual void report(WPARAM wParam, LPARAM lParam) noexcept = 0;
  // The loader ended by itself: 32-bit processes are no longer watched.
  virtual void loaderEnded(DWORD exitCode) noexcept = 0;
};

struct ScreenSourceSettings {
  // The hook library of this process's bitness, by its full path only: one
  // found on the search path would be mapped into every process on the
  // desktop. Empty: the catalogue's file beside this program.
  std::wstring hookLibrary;
  bool watchOwnBitness = true;
  // 64-bit processes only: paintloader32.exe beside this program installs
  // the 32-bit hooks, where 32-bit code runs.
  bool watch32 = true;
  // The least time from one frame to the next.
  Clock::duration minInterval = std::chrono::milliseconds(16);
  // How often the tracker looks at the desktop for what the hooks cannot
  // see; most of an idle source's cost.
  Clock::duration tickInterval = std::chrono::milliseconds(40);
  frames::FrameBuilderSettings builder;
  // Null: none. Must outlive the source.
  ReportTap *tap = nullptr;
  // For tests: where the screen is read and the desktop looked at. Null:
  // GDI and the system. Must outlive the source.
  frames::ScreenCapture *capture = nullptr;
  damage::DesktopSource *desktop = nullptr;
};

// The step at which a start failed.
enum class StartStep {
  reportWindow,
  libraryMissing,
  libraryOtherBitness,
  libraryNotLoaded,
  notHookLibrary,
  // setHookWithMessage answers only yes or no: another program holds the
  // hooks of this build, the window or message was refused, or the system
  // refused a hook.
  hooksRefused,
  // Where the 32-bit hooks alone were asked for. what() is empty where the
  // loader said why itself.
  loaderNotStarted,
  desktopRefused,
  resources,
};

class StartError : public std::runtime_error {
public:
  StartError(StartStep step, const std::string &what) : std::runtime_error(what), step_(step) {}
  StartStep step() const { return step_; }

private:
  StartStep step_;
};

// One frame: what to send, and what it answers.
struct SourceFrame {
  // 1 for the first frame, one more for each after it.
  std::uint64_t sequence = 0;
  // When the source took the first report this frame answers; the epoch
  // where it answers none (a tick's addition, a watched place, a display
  // change).
  Clock::time_point firstReport;
  // The tracker's frame the update was built from.
  damage::Frame hints;
  // The virtual screen in screen coordinates.
  region::Rect virtualScreen;
  // Its areas point into the source's replica: valid until the next call
  // of next() or stop(). Holding a frame blocks nothing; the next call
  // reuses the pixels.
  frames::FrameUpdate update;
};

// failed: no frame this time, memory having run out; nothing is lost, and
// the next frame is whole.
enum class NextResult { frame, timedOut, stopped, failed };

class ScreenSource {
public:
  // Starts: the window, the hooks, the 32-bit loader, the thread. Throws
  // StartError naming the step, with everything it did undone.
  explicit ScreenSource(ScreenSourceSettings settings);
  ScreenSource(const ScreenSource &) = delete;
  ScreenSource &operator=(const ScreenSource &) = delete;
  // Stops, where stop() was not called.
  ~ScreenSource();

  // Whether 32-bit processes are watched, and where they are not though
  // asked, why: empty where the loader said why itself, on the standard
  // error this process gave it.
  bool watching32() const;
  const std::wstring &why32NotWatched() const;

  // Waits up to `timeout` until something may have changed (a report, a
  // tick's addition, a watched place due for another look, a display
  // change) and the least interval since the last frame has passed, then
  // builds one frame: everything since the last. One consumer thread only.
  // Never throws.
  NextResult next(Clock::duration timeout, SourceFrame *frame) noexcept;

  // Removes the hooks, ends the loader and joins the thread; a next()
  // waiting then gives `stopped`. False where a hook could not be removed.
  // Waits on no other program but the loader, and on that for a bounded
  // time.
  bool stop() noexcept;

  // The tracker's additions as a share of the virtual screen, per tick.
  double polledShare() const;

private:
  class Running;
  std::unique_ptr<Running> running_;
};

}  // namespace source
}  // namespace lumo
