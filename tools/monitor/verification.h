#pragma once

// The monitor's --verify: the screen captured at a steady interval against
// the reports, and the figures that come of it.

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "coverage.h"
#include "diagnostics.h"
#include "region/rect.h"
#include "screen_capture.h"

namespace lumo {
namespace tools {

class Verification {
public:
  explicit Verification(const Diagnostics &diagnostics) : diagnostics_(diagnostics) {}

  // Measures one capture to choose the interval; false, said, if the screen
  // cannot be captured.
  bool start();
  DWORD intervalMs() const { return intervalMs_; }

  void report(const region::Rect &rect) { tracker_->addReport(rect); }
  // False, said, if the system refused the capture.
  bool captureNow();

  // Judges what is left; gives the changes no report covered, one byte per
  // pixel.
  const std::vector<std::uint8_t> &finish();
  // The coverage, missed, over-reporting and verify lines.
  std::wstring summary() const;

private:
  void excludeOwnConsole();

  const Diagnostics &diagnostics_;
  ScreenCapture capture_;
  std::unique_ptr<CoverageTracker> tracker_;
  DWORD intervalMs_ = 0;
  ULONGLONG costMs_ = 0;
  std::uint64_t captures_ = 0;
};

}  // namespace tools
}  // namespace lumo
