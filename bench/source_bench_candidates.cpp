// The watchers of the source benchmark, each alone in a process of its
// own: the screen source with a consumer, the whole-screen poller, a bare
// report loop under the same hooks, a pixel probe, and none. Each measures
// its own CPU time from the phase `working` on.

#include <windows.h>

#include <psapi.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <stdexcept>
#include <utility>

#include "frames/changed_areas.h"
#include "frames/frame_builder.h"
#include "frames/gdi_screen_capture.h"
#include "paintwatch/report.h"
#include "source/hook_library.h"
#include "source/screen_source.h"
#include "source_bench_modes.h"
#include "win/module_file_path.h"

namespace lumo {
namespace bench {

namespace {

const double kInterval = 0.016;
// A slow consumer: what it does with a frame during a flood.
const DWORD kFloodFrameMs = 200;

double workingSetKib() {
  PROCESS_MEMORY_COUNTERS counters = {};
  counters.cb = sizeof counters;
  GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
  return static_cast<double>(counters.WorkingSetSize) / 1024;
}

void printFigure(const char *name, double value) { std::printf("figure %s %.6f\n", name, value); }

// The measured stretch: from the phase `working` to its end.
class Stretch {
public:
  Stretch() : cpu_(ownCpuSeconds()), wall_(nowSeconds()), memory_(workingSetKib()) {}
  void print() const {
    printFigure("cpu_s", ownCpuSeconds() - cpu_);
    printFigure("wall_s", nowSeconds() - wall_);
    printFigure("memory_growth_kib", workingSetKib() - memory_);
  }

private:
  double cpu_;
  double wall_;
  double memory_;
};

std::uint32_t pixelAt(const frames::PixelImage &image, POINT origin, POINT where) {
  const int x = where.x - origin.x;
  const int y = where.y - origin.y;
  if (x < 0 || y < 0 || x >= image.width() || y >= image.height()) {
    return 0xFFFFFFFF;
  }
  return image.at(x, y) & frames::kColourBits;
}

region::Rect virtualScreen() {
  const int left = GetSystemMetrics(SM_XVIRTUALSCREEN);
  const int top = GetSystemMetrics(SM_YVIRTUALSCREEN);
  return region::Rect(left, top, left + GetSystemMetrics(SM_CXVIRTUALSCREEN),
                      top + GetSystemMetrics(SM_CYVIRTUALSCREEN));
}

// Counts the reports the source takes while the work runs.
class CountingTap : public source::ReportTap {
public:
  explicit CountingTap(const SharedBlock &shared) : shared_(shared) {}
  void report(WPARAM wParam, LPARAM lParam) noexcept override {
    const LONG phase = phaseOf(shared_);
    if (phase == working) {
      ++count;
      const region::Rect r = paintwatch::unpackReport(wParam, lParam);
      pixels += static_cast<double>(r.getWidth()) * r.getHeight();
    } else if (phase > working) {
      ++late;
    }
  }
  void loaderEnded(DWORD) noexcept override {}

  std::atomic<long> count{0};
  // Taken after the work stopped: what was still queued, and what the
  // work's end drew.
  std::atomic<long> late{0};
  // The reports' areas added up; the source's thread alone writes it.
  double pixels = 0;

private:
  const SharedBlock &shared_;
};

// The source and a consumer that keeps a replica of the screen.
class SourceConsumer {
public:
  SourceConsumer(const SharedBlock &shared, Scenario scenario)
      : scenario_(scenario), tap_(shared), source_(settings(&tap_)), marks_(shared) {}

  // Takes a frame, if one comes within `timeout`; false where none did.
  bool step(std::chrono::milliseconds timeout) {
    source::SourceFrame frame;
    if (source_.next(timeout, &frame) != source::NextResult::frame) {
      return false;
    }
    frames::applyUpdate(frame.update, &replica_);
    ++frames_;
    capturedPixels_ += static_cast<double>(frame.update.counts.captured);
    origin_ = {frame.virtualScreen.left, frame.virtualScreen.top};
    screen_ = frame.virtualScreen;
    if (scenario_ == Scenario::latency) {
      marks_.look(pixelAt(replica_, origin_, marks_.middle()), nowSeconds());
    }
    if (scenario_ == Scenario::flood) {
      Sleep(kFloodFrameMs);
    }
    return true;
  }

  // Pixels of the replica that differ from a fresh capture of the screen.
  double pixelsOff() {
    frames::GdiScreenCapture capture;
    frames::PixelImage fresh(screen_.getWidth(), screen_.getHeight());
    if (!capture.capture(screen_, &fresh, 0, 0) || fresh.width() != replica_.width() ||
        fresh.height() != replica_.height()) {
      return static_cast<double>(fresh.width()) * fresh.height();
    }
    double off = 0;
    for (int y = 0; y < fresh.height(); ++y) {
      for (int x = 0; x < fresh.width(); ++x) {
        off += frames::coloursDiffer(fresh.at(x, y), replica_.at(x, y)) ? 1 : 0;
      }
    }
    return off;
  }

  long reports() const { return tap_.count; }
  // From the start of the measured stretch.
  void restartCounts() {
    frames_ = 0;
    capturedPixels_ = 0;
  }
  void printCounts() const {
    printFigure("frames", frames_);
    printFigure("captured_pixels", capturedPixels_);
    printFigure("reported_pixels", tap_.pixels);
    printFigure("reports_late", tap_.late);
  }
  const MarkerWatch &marks() const { return marks_; }

private:
  static source::ScreenSourceSettings settings(CountingTap *tap) {
    source::ScreenSourceSettings settings;
    settings.watch32 = false;
    settings.minInterval = std::chrono::milliseconds(16);
    settings.tap = tap;
    return settings;
  }

  Scenario scenario_;
  CountingTap tap_;
  source::ScreenSource source_;
  frames::PixelImage replica_;
  POINT origin_ = {0, 0};
  region::Rect screen_;
  MarkerWatch marks_;
  double frames_ = 0;
  double capturedPixels_ = 0;
};

void ready(SharedBlock *shared) { InterlockedIncrement(&shared->candidateReady); }

int sourceCandidate(SharedBlock *shared, Scenario scenario) {
  SourceConsumer consumer(*shared, scenario);
  ready(shared);
  while (phaseOf(*shared) < working) {
    consumer.step(std::chrono::milliseconds(20));
  }
  const Stretch stretch;
  consumer.restartCounts();
  const Phase end = scenario == Scenario::flood ? settling : finished;
  while (phaseOf(*shared) < end) {
    consumer.step(std::chrono::milliseconds(100));
  }
  stretch.print();
  printFigure("reports", consumer.reports());
  consumer.printCounts();
  if (scenario == Scenario::flood) {
    while (phaseOf(*shared) < comparing) {
      consumer.step(std::chrono::milliseconds(100));
    }
    // At rest: until a frame is no longer due.
    while (consumer.step(std::chrono::milliseconds(500))) {
    }
    printFigure("pixels_off", consumer.pixelsOff());
  }
  consumer.marks().print();
  return 0;
}

// Every interval, the whole virtual screen captured and compared with the
// last capture.
int pollerCandidate(SharedBlock *shared, Scenario scenario) {
  const region::Rect screen = virtualScreen();
  const POINT origin = {screen.left, screen.top};
  frames::GdiScreenCapture capture;
  frames::PixelImage now(screen.getWidth(), screen.getHeight());
  frames::PixelImage last(screen.getWidth(), screen.getHeight());
  std::vector<region::Rect> changed;
  MarkerWatch marks(*shared);
  ready(shared);
  waitForPhase(*shared, working);
  const Stretch stretch;
  for (double next = nowSeconds(); phaseOf(*shared) < finished;) {
    capture.capture(screen, &now, 0, 0);
    changed.clear();
    frames::appendChangedBoxes(now, last, now.bounds(), frames::TileGrid{}, &changed);
    std::swap(now, last);
    if (scenario == Scenario::latency) {
      marks.look(pixelAt(last, origin, marks.middle()), nowSeconds());
    }
    next += kInterval;
    const double wait = next - nowSeconds();
    if (wait > 0) {
      Sleep(static_cast<DWORD>(wait * 1000 + 0.5));
    } else {
      next = nowSeconds();
    }
  }
  stretch.print();
  marks.print();
  return 0;
}

LRESULT CALLBACK quietProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcW(window, message, wParam, lParam);
}

// A bare GetMessageW loop that counts the reports of the same hooks.
int bareCandidate(SharedBlock *shared) {
  WNDCLASSW type = {};
  type.lpfnWndProc = &quietProc;
  type.lpszClassName = L"LumoSourceBenchBare";
  RegisterClassW(&type);
  const UniqueWindow window(CreateWindowExW(WS_EX_TOOLWINDOW, type.lpszClassName, L"", WS_POPUP, 0,
                                            0, 0, 0, nullptr, nullptr, nullptr, nullptr));
  const UINT reportMessage = RegisterWindowMessageW(L"lumo-source-bench-report");
  source::HookLibrary hooks(win::besideThisProgram(L"paintwatch64.dll"));
  if (hooks.install(window.get(), reportMessage) != source::HookLibrary::Outcome::Installed) {
    std::fprintf(stderr, "source_bench: the bare loop could not install the hooks\n");
    return 1;
  }
  SetTimer(window.get(), 1, 100, nullptr);
  ready(shared);
  long reports = 0;
  MSG msg;
  while (phaseOf(*shared) < working && GetMessageW(&msg, nullptr, 0, 0) > 0) {
  }
  const Stretch stretch;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (msg.message == reportMessage) {
      reports += phaseOf(*shared) == working ? 1 : 0;
    } else if (msg.message == WM_TIMER && phaseOf(*shared) >= settling) {
      break;
    }
  }
  stretch.print();
  printFigure("reports", reports);
  return hooks.remove() ? 0 : 1;
}

// When the marker's pixels reach the screen, read a pixel at a time.
int probeCandidate(SharedBlock *shared) {
  MarkerWatch marks(*shared);
  const UniqueScreenDc screen(GetDC(nullptr));
  ready(shared);
  waitForPhase(*shared, working);
  while (phaseOf(*shared) < finished) {
    const POINT at = marks.middle();
    const COLORREF colour = GetPixel(screen.get(), at.x, at.y);
    marks.look((GetRValue(colour) << 16) | (GetGValue(colour) << 8) | GetBValue(colour),
               nowSeconds());
  }
  marks.print();
  return 0;
}

int noCandidate(SharedBlock *shared) {
  ready(shared);
  waitForPhase(*shared, working);
  const Stretch stretch;
  while (phaseOf(*shared) < finished) {
    Sleep(20);
  }
  stretch.print();
  return 0;
}

}  // namespace

void MarkerWatch::look(std::uint32_t pixel, double at) {
  LONG number = 0;
  std::uint32_t expected = 0;
  double paintedAt = 0;
  do {
    number = shared_.markerNumber;
    expected = static_cast<std::uint32_t>(shared_.markerPixel);
    paintedAt = shared_.markerPaintedAt;
  } while (number != shared_.markerNumber);
  if (number <= counted_) {
    return;
  }
  missed_ += number - counted_ - 1;
  if (pixel == expected) {
    latencies_.push_back((at - paintedAt) * 1000);
    counted_ = number;
  } else {
    counted_ = std::max(counted_, number - 1);
  }
}

void MarkerWatch::print() const {
  for (const double ms : latencies_) {
    std::printf("latency %.3f\n", ms);
  }
  // The last one painted and never seen counts too.
  const int unseen = shared_.markerNumber > counted_ ? 1 : 0;
  std::printf("missed %d\n", missed_ + unseen);
}

int runCandidate(const std::wstring &kind, Scenario scenario, SharedBlock *shared) {
  try {
    if (kind == L"source") {
      return sourceCandidate(shared, scenario);
    }
    if (kind == L"poller") {
      return pollerCandidate(shared, scenario);
    }
    if (kind == L"bare") {
      return bareCandidate(shared);
    }
    if (kind == L"probe") {
      return probeCandidate(shared);
    }
    if (kind == L"none") {
      return noCandidate(shared);
    }
  } catch (const std::exception &e) {
    std::fprintf(stderr, "source_bench: %ls: %s\n", kind.c_str(), e.what());
    return 1;
  }
  std::fprintf(stderr, "source_bench: no candidate named %ls\n", kind.c_str());
  return 2;
}

}  // namespace bench
}  // namespace lumo
