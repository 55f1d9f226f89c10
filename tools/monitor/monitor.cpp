#include "monitor.h"

#include <atomic>
#include <cstdint>
#include <memory>

#include "damage_map.h"
#include "diagnostics.h"
#include "paintwatch/report.h"
#include "report_output.h"
#include "report_tally.h"
#include "source/screen_source.h"
#include "text_output.h"
#include "ticker.h"
#include "util/text_conversion.h"
#include "util/unique_handle.h"
#include "verification.h"

namespace lumo {
namespace tools {

namespace {

// How long the writer may take, once the monitor stops, to write the
// reports still queued: a slow reader must not keep the monitor running.
const DWORD outputGraceMs = 1000;

DWORD monitorThread = 0;

// A stop the person asked for is not lost to a queue full of reports.
void requestStop() { postUntilTaken(monitorThread, kStopMessage, nullptr); }

BOOL WINAPI onConsoleControl(DWORD) {
  requestStop();
  return TRUE;
}

DWORD WINAPI watchInput(void *) {
  char buffer[256];
  DWORD read = 0;
  while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), buffer, sizeof buffer, &read, nullptr) &&
         read > 0) {
  }
  requestStop();
  return 0;
}

// The source's thread tells of reports and of the loader's end here: what
// the monitor prints and counts is queued or kept apart, so that the
// source's thread never waits on the monitor's.
class Monitor : public source::ReportTap {
public:
  explicit Monitor(const MonitorOptions &options)
      : options_(options),
        diagnostics_(L"paintmonitor"),
        verification_(diagnostics_),
        output_(GetStdHandle(STD_OUTPUT_HANDLE)),
        tally_(options.windowTitles) {}

  int run();

  void report(WPARAM wParam, LPARAM lParam) noexcept override;
  void loaderEnded(DWORD exitCode) noexcept override;

private:
  void listenForStop();
  bool startSource();
  double receiveMessages();
  void receive(const MSG &msg);
  int finish(double seconds);
  bool writeMap(const std::vector<std::uint8_t> *missed);

  const MonitorOptions &options_;
  const Diagnostics diagnostics_;
  UniqueHandle inputWatcher_;
  std::atomic<DWORD> loaderExitCode_{0};
  Verification verification_;
  ReportOutput output_;
  ReportTally tally_;
  // Last: it stops, and hears no more, before what it tells goes.
  std::unique_ptr<source::ScreenSource> source_;
};

int Monitor::run() {
  listenForStop();
  if ((options_.verify && !verification_.start()) || !startSource()) {
    return 1;
  }
  const double seconds = receiveMessages();
  return finish(seconds);
}

void Monitor::listenForStop() {
  // The queue the others post to.
  MSG msg;
  PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
  monitorThread = GetCurrentThreadId();
  SetConsoleCtrlHandler(onConsoleControl, TRUE);
  inputWatcher_.reset(CreateThread(nullptr, 0, watchInput, nullptr, 0, nullptr));
}

bool Monitor::startSource() {
  source::ScreenSourceSettings settings;
  settings.hookLibrary = options_.library;
  settings.watchOwnBitness = options_.watch64;
  settings.watch32 = options_.watch32;
  // The monitor's own clock paces the frames.
  settings.minInterval = frames::Clock::duration::zero();
  settings.tap = this;
  try {
    source_ = std::make_unique<source::ScreenSource>(settings);
  } catch (const source::StartError &e) {
    if (*e.what() != '\0') {
      diagnostics_.error(toUtf16(e.what()));
    }
    return false;
  }
  if (!source_->why32NotWatched().empty()) {
    diagnostics_.status(source_->why32NotWatched());
  }
  verification_.attach(source_.get());
  const bool watching32 = source_->watching32();
  diagnostics_.status(
      formatText("watching %s processes",
                 options_.watch64 ? (watching32 ? "64-bit and 32-bit" : "64-bit") : "32-bit"));
  return true;
}

void Monitor::report(WPARAM wParam, LPARAM lParam) noexcept {
  const region::Rect r = paintwatch::unpackReport(wParam, lParam);
  tally_.record(r);
  output_.addReport(r);
  if (options_.verify) {
    verification_.report(wParam, lParam);
  }
}

void Monitor::loaderEnded(DWORD exitCode) noexcept {
  loaderExitCode_ = exitCode;
  postUntilTaken(monitorThread, kLoaderEndedMessage, nullptr);
}

double Monitor::receiveMessages() {
  const ULONGLONG started = GetTickCount64();
  {
    TickerPaces paces;
    if (options_.verify) {
      paces = {verification_.intervalMs(), Verification::frameMs};
    }
    const Ticker ticker(GetCurrentThreadId(), options_.durationMs, paces);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0 &&
           !(msg.hwnd == nullptr && msg.message == kStopMessage)) {
      receive(msg);
    }
  }
  return (GetTickCount64() - started) / 1000.0;
}

void Monitor::receive(const MSG &msg) {
  if (msg.hwnd != nullptr) {
    DispatchMessageW(&msg);
  } else if (msg.message == kCaptureMessage) {
    verification_.captureNow();
  } else if (msg.message == kFrameMessage) {
    verification_.tickFrame();
  } else if (msg.message == kLoaderEndedMessage) {
    diagnostics_.status(
        formatText("the 32-bit hook loader ended (exit code %lu): 32-bit processes are no longer "
                   "watched",
                   loaderExitCode_.load()));
  }
}

int Monitor::finish(double seconds) {
  const bool removed = source_->stop();
  const std::uint64_t dropped = output_.finish(outputGraceMs);
  const std::vector<std::uint8_t> *missed = options_.verify ? &verification_.finish() : nullptr;
  const bool mapWritten = writeMap(missed);
  std::wstring summary = tally_.summary(seconds);
  if (dropped != 0) {
    summary +=
        formatText("output: %llu report lines were dropped: standard output was not read in time\n",
                   static_cast<unsigned long long>(dropped));
  }
  if (options_.verify) {
    summary += verification_.summary();
  }
  writeText(GetStdHandle(STD_ERROR_HANDLE), summary);
  if (!removed) {
    return diagnostics_.fail(L"the screen hooks could not all be removed");
  }
  return mapWritten ? 0 : 1;
}

bool Monitor::writeMap(const std::vector<std::uint8_t> *missed) {
  if (options_.damageMap.empty()) {
    return true;
  }
  VerifyMarks marks;
  if (missed != nullptr) {
    const frames::FrameCounts &counts = verification_.frameCounts();
    marks = {missed,
             &verification_.additions(),
             &verification_.moves(),
             &verification_.sent(),
             counts.hinted,
             counts.sent};
  }
  const std::string error = writeDamageMap(options_.damageMap, tally_.damage(), marks);
  if (!error.empty()) {
    diagnostics_.error(L"cannot write the damage map " + options_.damageMap + L": " +
                       toUtf16(error));
  }
  return error.empty();
}

}  // namespace

int runMonitor(const MonitorOptions &options) { return Monitor(options).run(); }

}  // namespace tools
}  // namespace lumo
