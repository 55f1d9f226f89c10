#include "monitor.h"

#include <cstdint>

#include "damage_map.h"
#include "diagnostics.h"
#include "hook_library.h"
#include "loader_process.h"
#include "paintwatch/report.h"
#include "report_output.h"
#include "report_tally.h"
#include "server/server_object_names.h"
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

// What the monitor says when its 64-bit hooks are not installed.
std::wstring installFailure(HookLibrary::Outcome outcome, const HookLibrary &hooks) {
  const std::wstring &path = hooks.path();
  switch (outcome) {
    case HookLibrary::Outcome::NotFound:
      return L"cannot find the hook library " + path;
    case HookLibrary::Outcome::NotThisBitness:
      return path + L" is not a 64-bit library";
    case HookLibrary::Outcome::NotLoaded:
      return formatText("cannot load %s (error %lu)", utf8(path).c_str(), hooks.loadError());
    case HookLibrary::Outcome::NotHookLibrary:
      return path +
             L" is not the screen-hook library: it lacks setHookWithMessage or unsetHookForWindow";
    default:
      return L"cannot install the screen hooks: another program has them installed, or the "
             L"system refused them";
  }
}

class Monitor {
public:
  explicit Monitor(const MonitorOptions &options)
      : options_(options),
        names_(server::ServerObjectNames::instance()),
        diagnostics_(L"paintmonitor"),
        verification_(diagnostics_),
        hooks64_(options.library, diagnostics_, L"the screen hooks could not all be removed"),
        loader_(diagnostics_),
        output_(GetStdHandle(STD_OUTPUT_HANDLE)),
        tally_(options.windowTitles) {}

  int run();

private:
  bool openReportWindow();
  void listenForStop();
  bool installHooks();
  double receiveReports();
  void receive(const MSG &msg);
  int finish(double seconds);
  bool writeMap(const std::vector<std::uint8_t> *missed);

  const MonitorOptions &options_;
  const server::ServerObjectNames &names_;
  const Diagnostics diagnostics_;
  UniqueWindow target_;
  UniqueHandle inputWatcher_;
  Verification verification_;
  // After the window they report to, so that they are removed before it goes.
  HookLibrary hooks64_;
  Loader32 loader_;
  ReportOutput output_;
  ReportTally tally_;
};

int Monitor::run() {
  if (!openReportWindow()) {
    return 1;
  }
  listenForStop();
  if ((options_.verify && !verification_.start()) || !installHooks()) {
    return 1;
  }
  const double seconds = receiveReports();
  return finish(seconds);
}

bool Monitor::openReportWindow() {
  // The number the server's programs use for the same purpose.
  if (names_.hookUpdateMessage == 0 || names_.hookLoaderCloseMessage == 0) {
    diagnostics_.error(L"Windows refused to register the report message");
    return false;
  }
  // Named as the server's window, so that the 32-bit loader finds it.
  target_.reset(CreateWindowExW(0, L"STATIC", toUtf16(names_.hookTargetWindowName).c_str(), 0, 0, 0,
                                0, 0, HWND_MESSAGE, nullptr, GetModuleHandleW(nullptr), nullptr));
  if (!target_) {
    diagnostics_.error(formatText("cannot create the report window (error %lu)", GetLastError()));
    return false;
  }
  return true;
}

void Monitor::listenForStop() {
  // The window made this thread's message queue, to which the others post.
  monitorThread = GetCurrentThreadId();
  SetConsoleCtrlHandler(onConsoleControl, TRUE);
  inputWatcher_.reset(CreateThread(nullptr, 0, watchInput, nullptr, 0, nullptr));
}

bool Monitor::installHooks() {
  if (options_.watch64) {
    const HookLibrary::Outcome outcome = hooks64_.install(target_.get(), names_.hookUpdateMessage);
    if (outcome != HookLibrary::Outcome::Installed) {
      diagnostics_.error(installFailure(outcome, hooks64_));
      return false;
    }
  }
  if (options_.watch32 &&
      !loader_.start(options_.watch64 ? L": watching 64-bit processes only" : L"") &&
      !options_.watch64) {
    return false;
  }
  const bool watching32 = loader_.process() != nullptr;
  diagnostics_.status(
      formatText("watching %s processes",
                 options_.watch64 ? (watching32 ? "64-bit and 32-bit" : "64-bit") : "32-bit"));
  return true;
}

double Monitor::receiveReports() {
  const ULONGLONG started = GetTickCount64();
  {
    TickerPaces paces;
    if (options_.verify) {
      paces = {verification_.intervalMs(), Verification::frameMs};
    }
    const Ticker ticker(GetCurrentThreadId(), options_.durationMs, paces, loader_.process());
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0 &&
           !(msg.hwnd == nullptr && msg.message == kStopMessage)) {
      receive(msg);
    }
  }
  return (GetTickCount64() - started) / 1000.0;
}

void Monitor::receive(const MSG &msg) {
  if (msg.message == names_.hookUpdateMessage && msg.hwnd == target_.get()) {
    const region::Rect r = paintwatch::unpackReport(msg.wParam, msg.lParam);
    tally_.record(r);
    output_.addReport(r);
    if (options_.verify) {
      verification_.report(msg.wParam, msg.lParam);
    }
  } else if (msg.hwnd != nullptr) {
    DispatchMessageW(&msg);
  } else if (msg.message == kCaptureMessage) {
    verification_.captureNow();
  } else if (msg.message == kFrameMessage) {
    verification_.tickFrame();
  } else if (msg.message == kLoaderEndedMessage) {
    loader_.ended();
  }
}

int Monitor::finish(double seconds) {
  const bool removed64 = hooks64_.remove();
  const bool removed32 = loader_.stop();
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
  if (!removed64 || !removed32) {
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
    marks = {missed, &verification_.additions(), &verification_.moves()};
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
