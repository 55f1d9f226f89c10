#include "verification.h"

#include <algorithm>
#include <stdexcept>

#include "paintwatch/report.h"
#include "text_output.h"
#include "util/text_conversion.h"
#include "util/text_format.h"

namespace lumo {
namespace tools {

namespace {

// The check captures at least this far apart, and so much further apart
// than one capture takes that the monitor keeps up with its reports.
const DWORD leastCaptureIntervalMs = 100;
const DWORD captureCostFactor = 3;
const std::size_t missedAreasShown = 8;

std::string percent(std::uint64_t part, std::uint64_t whole) {
  return whole == 0 ? std::string("-") : format("%.1f%%", 100.0 * part / whole);
}

std::wstring missedLine(const char *head, const std::vector<MissedArea> &areas) {
  if (areas.empty()) {
    return std::wstring();
  }
  std::wstring text = toUtf16(head);
  for (std::size_t i = 0; i < areas.size(); ++i) {
    const region::Rect &b = areas[i].bounds;
    text += formatText("%s %d %d %d %d (%llu pixels)", i == 0 ? "" : ";", b.left, b.top, b.right,
                       b.bottom, static_cast<unsigned long long>(areas[i].pixels));
  }
  return text + L"\n";
}

double seconds() {
  LARGE_INTEGER frequency, counter;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&counter);
  return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

}  // namespace

bool Verification::start() {
  intervalMs_ = leastCaptureIntervalMs;
  if (!capture_.ready()) {
    diagnostics_.error(L"cannot capture the screen for --verify: " + toUtf16(capture_.error()));
    return false;
  }
  tracker_ = std::make_unique<CoverageTracker>(capture_.width(), capture_.height());
  supplemented_ = std::make_unique<CoverageTracker>(capture_.width(), capture_.height());
  try {
    desktop_ = std::make_unique<damage::SystemDesktop>();
  } catch (const std::runtime_error &refused) {
    diagnostics_.error(L"cannot track damage for --verify: " + toUtf16(refused.what()));
    return false;
  }
  damage_ = std::make_unique<damage::DamageTracker>(desktop_.get());
  replica_ = std::make_unique<ReplicaCheck>(
      region::Rect(capture_.origin().x, capture_.origin().y, capture_.origin().x + capture_.width(),
                   capture_.origin().y + capture_.height()),
      &builderCapture_);
  const region::Rect none;
  additions_ = std::make_unique<region::Region>(&none);
  if (!openDisplayWindow()) {
    return false;
  }
  excludeOwnConsole();
  if (!captureNow()) {
    return false;
  }
  intervalMs_ =
      std::max(leastCaptureIntervalMs, static_cast<DWORD>(captureCostFactor * costMs_ / captures_));
  return true;
}

LRESULT CALLBACK Verification::displayWindowProc(HWND window, UINT message, WPARAM wParam,
                                                 LPARAM lParam) {
  auto *tracker =
      reinterpret_cast<damage::DamageTracker *>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (message == WM_DISPLAYCHANGE && tracker != nullptr) {
    tracker->displayChanged();
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

// Sent messages reach the window while the monitor's loop waits in
// GetMessageW, so the loop needs no dispatch of its own for it.
bool Verification::openDisplayWindow() {
  WNDCLASSW type = {};
  type.lpfnWndProc = &displayWindowProc;
  type.hInstance = GetModuleHandleW(nullptr);
  type.lpszClassName = L"LumoMonitorDisplay";
  if (!RegisterClassW(&type) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
    diagnostics_.error(L"cannot make the window that hears of display changes");
    return false;
  }
  displayWindow_.reset(CreateWindowExW(WS_EX_TOOLWINDOW, type.lpszClassName, L"", WS_POPUP, 0, 0, 0,
                                       0, nullptr, nullptr, type.hInstance, nullptr));
  if (!displayWindow_.valid()) {
    diagnostics_.error(L"cannot make the window that hears of display changes");
    return false;
  }
  SetWindowLongPtrW(displayWindow_.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(damage_.get()));
  return true;
}

// The monitor's own output, where it has a window of its own.
void Verification::excludeOwnConsole() {
  const HWND console = GetConsoleWindow();
  RECT own;
  if (console != nullptr && IsWindowVisible(console) && GetWindowRect(console, &own)) {
    const region::Rect place = paintwatch::virtualFromScreen(own, capture_.origin());
    tracker_->exclude(place);
    supplemented_->exclude(place);
    replica_->exclude(place);
  }
}

void Verification::report(WPARAM wParam, LPARAM lParam) {
  tracker_->addReport(paintwatch::unpackReport(wParam, lParam));
  damage_->addReport(wParam, lParam);
}

void Verification::tickFrame() {
  if (damage_ != nullptr) {
    supplement();
  }
}

// Each capture ticks too, so that the tracker's last frame of an interval
// ends where the interval does.
void Verification::supplement() {
  damage_->tick();
  const damage::Frame frame = damage_->takeFrame();
  for (const region::Rect &r : frame.damage) {
    supplemented_->addReport(r);
  }
  for (const region::Rect &r : frame.added) {
    const region::Region part(&r);
    additions_->unite(&part);
  }
  const double started = seconds();
  replica_->frame(damage_->virtualScreen(), frame, frames::Clock::now());
  const double took = seconds() - started;
  frameSeconds_ += took;
  longestFrameSeconds_ = std::max(longestFrameSeconds_, took);
  ++frames_;
}

bool Verification::captureNow() {
  const ULONGLONG started = GetTickCount64();
  supplement();
  if (!capture_.capture()) {
    diagnostics_.error(L"cannot capture the screen for --verify");
    return false;
  }
  tracker_->addCapture(capture_.pixels());
  supplemented_->addCapture(capture_.pixels());
  replica_->addCapture(capture_.pixels());
  costMs_ += GetTickCount64() - started;
  ++captures_;
  return true;
}

const std::vector<std::uint8_t> &Verification::finish() {
  tracker_->finish();
  supplemented_->finish();
  additions_->getRectVector(&additionList_);
  return tracker_->missedMask();
}

std::wstring Verification::supplementLine() const {
  const CoverageFigures &f = supplemented_->figures();
  return formatText(
      "coverage with supplement: %s of the changed pixels were covered by a report or the damage "
      "tracker (%llu of %llu); %llu missed; the tracker added %.2f%% of the screen per tick "
      "on average\n",
      percent(f.coveredPixels, f.changedPixels).c_str(),
      static_cast<unsigned long long>(f.coveredPixels),
      static_cast<unsigned long long>(f.changedPixels),
      static_cast<unsigned long long>(f.missedPixels), 100.0 * damage_->polledShare());
}

std::wstring Verification::summary() const {
  const CoverageFigures &f = tracker_->figures();
  std::wstring text = formatText(
      "coverage: %s of the changed pixels were covered by a report (%llu of %llu); %llu missed\n",
      percent(f.coveredPixels, f.changedPixels).c_str(),
      static_cast<unsigned long long>(f.coveredPixels),
      static_cast<unsigned long long>(f.changedPixels),
      static_cast<unsigned long long>(f.missedPixels));
  text += supplementLine();
  text += replica_->summary(f.changedPixels);
  text += missedLine("missed changes, largest first:", tracker_->missedAreas(missedAreasShown));
  text += missedLine("missed with supplement, largest first:",
                     supplemented_->missedAreas(missedAreasShown));
  text +=
      formatText("over-reporting: %s of the reported area did not change (%llu of %llu pixels)\n",
                 percent(f.unchangedReportedPixels, f.reportedPixels).c_str(),
                 static_cast<unsigned long long>(f.unchangedReportedPixels),
                 static_cast<unsigned long long>(f.reportedPixels));
  text += formatText(
      "verify: a %dx%d capture every %lu ms, %llu captures, %.1f ms per capture and comparison; "
      "frames built in %.2f ms on average, %.1f ms at most\n",
      capture_.width(), capture_.height(), intervalMs_, static_cast<unsigned long long>(f.captures),
      captures_ == 0 ? 0.0 : static_cast<double>(costMs_) / captures_,
      frames_ == 0 ? 0.0 : 1000 * frameSeconds_ / frames_, 1000 * longestFrameSeconds_);
  return text;
}

}  // namespace tools
}  // namespace lumo
