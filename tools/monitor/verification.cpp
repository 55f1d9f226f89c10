#include "verification.h"

#include <algorithm>

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
  replica_ = std::make_unique<ReplicaCheck>(region::Rect(capture_.origin().x, capture_.origin().y,
                                                         capture_.origin().x + capture_.width(),
                                                         capture_.origin().y + capture_.height()));
  const region::Rect none;
  additions_ = std::make_unique<region::Region>(&none);
  excludeOwnConsole();
  if (!captureNow()) {
    return false;
  }
  intervalMs_ =
      std::max(leastCaptureIntervalMs, static_cast<DWORD>(captureCostFactor * costMs_ / captures_));
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
  const std::lock_guard<std::mutex> lock(reportsLock_);
  reports_.push_back(paintwatch::unpackReport(wParam, lParam));
}

void Verification::takeReports() {
  std::vector<region::Rect> taken;
  {
    const std::lock_guard<std::mutex> lock(reportsLock_);
    taken.swap(reports_);
  }
  for (const region::Rect &r : taken) {
    tracker_->addReport(r);
  }
}

void Verification::tickFrame() {
  if (source_ != nullptr) {
    supplement();
  }
}

// Each capture asks for a frame too: the source looks at the desktop once
// more, so that its last frame of an interval ends where the interval does.
void Verification::supplement() {
  const double started = seconds();
  source::SourceFrame frame;
  if (source_->next(frames::Clock::duration::zero(), &frame) != source::NextResult::frame) {
    return;
  }
  for (const region::Rect &r : frame.hints.damage) {
    supplemented_->addReport(r);
  }
  for (const region::Rect &r : frame.hints.added) {
    const region::Region part(&r);
    additions_->unite(&part);
  }
  replica_->frame(frame.virtualScreen, frame.update);
  const double took = seconds() - started;
  frameSeconds_ += took;
  longestFrameSeconds_ = std::max(longestFrameSeconds_, took);
  ++frames_;
}

bool Verification::captureNow() {
  const ULONGLONG started = GetTickCount64();
  if (source_ != nullptr) {
    supplement();
  }
  takeReports();
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
  takeReports();
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
      static_cast<unsigned long long>(f.missedPixels),
      100.0 * (source_ != nullptr ? source_->polledShare() : 0.0));
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
