#pragma once

// The monitor's --verify: the screen captured at a steady interval against
// the reports, and against the reports with what the damage tracker adds
// at each capture; a replica kept from the screen source's frames, against
// the same captures; and the figures that come of it.

#include <windows.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "coverage.h"
#include "damage/damage_tracker.h"
#include "diagnostics.h"
#include "region/rect.h"
#include "region/region.h"
#include "replica_check.h"
#include "screen_capture.h"
#include "source/screen_source.h"

namespace lumo {
namespace tools {

class Verification {
public:
  explicit Verification(const Diagnostics &diagnostics) : diagnostics_(diagnostics) {}

  // Measures one capture to choose the interval; false, said, if the screen
  // cannot be captured.
  bool start();
  DWORD intervalMs() const { return intervalMs_; }
  // The frames come from `source` from now on; it must outlive the
  // verification's use.
  void attach(source::ScreenSource *source) { source_ = source; }

  // The monitor's frame clock, as a server's might run.
  static constexpr DWORD frameMs = 40;
  // A frame from the source between captures, where anything changed.
  void tickFrame();

  // A report as the hooks post it; on any thread.
  void report(WPARAM wParam, LPARAM lParam);
  // A frame from the source, then the capture. False, said, if the system
  // refused the capture.
  bool captureNow();

  // Judges what is left; gives the changes no report covered, one byte per
  // pixel.
  const std::vector<std::uint8_t> &finish();
  // Everything the damage tracker added, as rectangles once finished.
  const std::vector<region::Rect> &additions() const { return additionList_; }
  // Every move the frame builder copied, from where to where.
  const std::vector<damage::WindowMove> &moves() const { return replica_->copies(); }
  // Where the frame builder sent changed areas, one byte per pixel, and its
  // counts, as the frames line gives them.
  const std::vector<std::uint8_t> &sent() const { return replica_->sent(); }
  const frames::FrameCounts &frameCounts() const { return replica_->counts(); }
  // The coverage, supplemented coverage, missed, over-reporting and verify
  // lines.
  std::wstring summary() const;

private:
  void excludeOwnConsole();
  void takeReports();
  void supplement();
  std::wstring supplementLine() const;

  const Diagnostics &diagnostics_;
  ScreenCapture capture_;
  std::unique_ptr<CoverageTracker> tracker_;
  // The reports with the damage tracker's additions.
  std::unique_ptr<CoverageTracker> supplemented_;
  source::ScreenSource *source_ = nullptr;
  // The reports the source's thread heard since the last capture.
  std::mutex reportsLock_;
  std::vector<region::Rect> reports_;
  // What the source sent, kept as a client.
  std::unique_ptr<ReplicaCheck> replica_;
  std::unique_ptr<region::Region> additions_;
  std::vector<region::Rect> additionList_;
  DWORD intervalMs_ = 0;
  ULONGLONG costMs_ = 0;
  std::uint64_t captures_ = 0;
  // What building the frames and applying them to the replica cost.
  double frameSeconds_ = 0;
  double longestFrameSeconds_ = 0;
  std::uint64_t frames_ = 0;
};

}  // namespace tools
}  // namespace lumo
