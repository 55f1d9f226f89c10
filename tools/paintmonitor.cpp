// paintmonitor: stands in for the server program that owns the report window.
// It installs the screen hooks, the 64-bit build itself and the 32-bit one
// through the 32-bit hook loader, prints every report as one line
// "left top right bottom" (virtual-screen coordinates) and removes the hooks
// when it ends: after --duration, on Ctrl+C, or when its input closes. With
// --verify it also captures the screen and says which changes no report
// covered.

#include <windows.h>

#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "command_line.h"
#include "console_text.h"
#include "coverage.h"
#include "damage_map.h"
#include "hook_installations.h"
#include "paintwatch/report.h"
#include "report_output.h"
#include "report_tally.h"
#include "screen_capture.h"
#include "server/server_object_names.h"
#include "util/text_conversion.h"
#include "util/unique_handle.h"
#include "win/module_file_path.h"

namespace {

const wchar_t kUsage[] =
    L"usage: paintmonitor [--duration SECONDS] [--build 64|32|both] [--library PATH]\n"
    L"                    [--window-title TITLE]... [--damage-map FILE.png] [--verify]\n"
    L"\n"
    L"Installs the screen-change hooks and prints each reported rectangle as\n"
    L"\"left top right bottom\" in virtual-screen coordinates. Ends after SECONDS,\n"
    L"on Ctrl+C, or when standard input closes, and then prints a summary.\n"
    L"\n"
    L"  --duration SECONDS    stop after this many seconds (default: no limit)\n"
    L"  --build BITS          which processes to watch: 64-bit ones (this program\n"
    L"                        installs paintwatch64.dll), 32-bit ones (paintloader32\n"
    L"                        beside this program installs paintwatch32.dll), or\n"
    L"                        both (the default)\n"
    L"  --library PATH        the 64-bit hook library (default: paintwatch64.dll\n"
    L"                        beside this program)\n"
    L"  --window-title TITLE  count in the summary the rectangles that lie inside\n"
    L"                        the top-level window with this title; may be given\n"
    L"                        more than once\n"
    L"  --damage-map FILE     at the end, write a PNG of the screen with every\n"
    L"                        reported rectangle outlined and shaded by how often\n"
    L"                        it was reported\n"
    L"  --verify              capture the screen at a steady interval and compare:\n"
    L"                        which changed pixels the reports covered, which they\n"
    L"                        missed (shown in the damage map), and how much of the\n"
    L"                        reported area did not change\n"
    L"  --help                show this text\n";

using lumo::UniqueHandle;
using lumo::UniqueWindow;
using lumo::server::ServerObjectNames;
using lumo::tools::quoted;
using lumo::tools::wideFormat;

struct Options {
  DWORD durationMs = INFINITE;
  bool watch64 = true;
  bool watch32 = true;
  bool verify = false;
  std::wstring library;
  std::vector<std::wstring> windowTitles;
  std::wstring damageMap;
};

// How long the writer may take, once the monitor stops, to write the
// reports still queued: a slow reader must not keep the monitor running.
const DWORD kOutputGraceMs = 1000;
// The coverage check captures at least this far apart, and so much further
// apart than one capture takes that the monitor keeps up with its reports.
const DWORD kLeastCaptureIntervalMs = 100;
const DWORD kCaptureCostFactor = 3;
const std::size_t kMissedAreasShown = 8;

void complain(const std::wstring &text) { lumo::tools::complain(L"paintmonitor", text); }

int usageError(const std::wstring &text) {
  complain(text + L" (try --help)");
  return 2;
}

// Returns -1 to go on, or the exit code.
int parseOptions(int argc, wchar_t **argv, Options *options) {
  options->library = lumo::win::besideThisProgram(L"paintwatch64.dll");
  for (int i = 1; i < argc; ++i) {
    const std::wstring arg = argv[i];
    if (arg == L"--help" || arg == L"-h") {
      lumo::tools::writeText(GetStdHandle(STD_OUTPUT_HANDLE), kUsage);
      return 0;
    }
    if (arg == L"--verify") {
      options->verify = true;
      continue;
    }
    if (arg != L"--duration" && arg != L"--build" && arg != L"--library" &&
        arg != L"--window-title" && arg != L"--damage-map") {
      return usageError(L"unknown option " + quoted(arg));
    }
    if (i + 1 == argc) {
      return usageError(arg + L" needs a value");
    }
    const std::wstring value = argv[++i];
    if (arg == L"--duration") {
      std::uint32_t milliseconds = 0;
      if (!lumo::tools::parseSeconds(value, 86400, &milliseconds)) {
        return usageError(L"--duration needs a number of seconds above 0 and up to 86400, not " +
                          quoted(value));
      }
      options->durationMs = milliseconds;
    } else if (arg == L"--build") {
      if (value != L"64" && value != L"32" && value != L"both") {
        return usageError(L"--build needs 64, 32 or both, not " + quoted(value));
      }
      options->watch64 = value != L"32";
      options->watch32 = value != L"64";
    } else if (value.empty()) {
      return usageError(arg + L" needs a value, not an empty one");
    } else if (arg == L"--library") {
      options->library = value;
    } else if (arg == L"--damage-map") {
      options->damageMap = value;
    } else {
      options->windowTitles.push_back(value);
    }
  }
  return -1;
}

// Everything that ends or paces the monitor reaches its loop as a thread
// message, so that the loop waits in GetMessageW alone: one system call per
// report, as a bare message loop makes.
const UINT kStopMessage = WM_APP + 1;
const UINT kCaptureMessage = WM_APP + 2;
const UINT kLoaderEndedMessage = WM_APP + 3;

DWORD monitorThread = 0;

BOOL WINAPI onConsoleControl(DWORD) {
  PostThreadMessageW(monitorThread, kStopMessage, 0, 0);
  return TRUE;
}

DWORD WINAPI watchInput(void *) {
  char buffer[256];
  DWORD read = 0;
  while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), buffer, sizeof buffer, &read, nullptr) &&
         read > 0) {
  }
  PostThreadMessageW(monitorThread, kStopMessage, 0, 0);
  return 0;
}

// The monitor's clock, and its watch over the 32-bit loader, on a thread of
// its own.
class Ticker {
public:
  // A zero captureMs posts no captures; a null loader is not watched. The
  // loader's handle must stay open while the ticker lives.
  Ticker(DWORD durationMs, DWORD captureMs, HANDLE loader)
      : wake_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
        thread_([this, durationMs, captureMs, loader] { run(durationMs, captureMs, loader); }) {}
  Ticker(const Ticker &) = delete;
  Ticker &operator=(const Ticker &) = delete;
  ~Ticker() {
    SetEvent(wake_.get());
    thread_.join();
  }

private:
  void run(DWORD durationMs, DWORD captureMs, HANDLE loader) {
    const ULONGLONG started = GetTickCount64();
    const ULONGLONG end = durationMs == INFINITE ? ~0ull : started + durationMs;
    ULONGLONG nextCapture = captureMs == 0 ? ~0ull : started + captureMs;
    for (;;) {
      const ULONGLONG now = GetTickCount64();
      if (now >= end) {
        PostThreadMessageW(monitorThread, kStopMessage, 0, 0);
        return;
      }
      if (now >= nextCapture) {
        PostThreadMessageW(monitorThread, kCaptureMessage, 0, 0);
        // A late capture does not make the next ones come faster.
        nextCapture = std::max(nextCapture + captureMs, now + captureMs / 2);
        continue;
      }
      const ULONGLONG next = std::min(end, nextCapture);
      const DWORD wait = next == ~0ull ? INFINITE : static_cast<DWORD>(next - now);
      const HANDLE handles[] = {wake_.get(), loader};
      const DWORD woken = WaitForMultipleObjects(loader != nullptr ? 2 : 1, handles, FALSE, wait);
      if (woken == WAIT_OBJECT_0 || woken == WAIT_FAILED) {
        return;
      }
      if (woken == WAIT_OBJECT_0 + 1) {
        // Dropped first: the monitor closes the handle once told.
        loader = nullptr;
        PostThreadMessageW(monitorThread, kLoaderEndedMessage, 0, 0);
      }
    }
  }

  UniqueHandle wake_;
  std::thread thread_;
};

std::wstring percent(std::uint64_t part, std::uint64_t whole) {
  return whole == 0 ? std::wstring(L"-") : wideFormat(L"%.1f%%", 100.0 * part / whole);
}

// The screen captured at a steady interval against the reports.
class Verification {
public:
  // Measures one capture to choose the interval; false if the screen
  // cannot be captured.
  bool start() {
    if (!capture_.ready()) {
      complain(L"cannot capture the screen for --verify: " + lumo::toUtf16(capture_.error()));
      return false;
    }
    tracker_ = std::make_unique<lumo::tools::CoverageTracker>(capture_.width(), capture_.height());
    // The monitor's own output, where it has a window of its own.
    const HWND console = GetConsoleWindow();
    RECT own;
    if (console != nullptr && IsWindowVisible(console) && GetWindowRect(console, &own)) {
      tracker_->exclude(lumo::paintwatch::virtualFromScreen(own, capture_.origin()));
    }
    if (!captureNow()) {
      return false;
    }
    intervalMs_ = std::max(kLeastCaptureIntervalMs,
                           static_cast<DWORD>(kCaptureCostFactor * costMs_ / captures_));
    return true;
  }

  DWORD intervalMs() const { return intervalMs_; }
  void report(const lumo::region::Rect &rect) { tracker_->addReport(rect); }

  const std::vector<std::uint8_t> &finish() {
    tracker_->finish();
    return tracker_->missedMask();
  }

  std::wstring summary() const {
    const lumo::tools::CoverageFigures &f = tracker_->figures();
    std::wstring text = wideFormat(
        L"coverage: %ls of the changed pixels were covered by a report (%llu of %llu); %llu "
        L"missed\n",
        percent(f.coveredPixels, f.changedPixels).c_str(),
        static_cast<unsigned long long>(f.coveredPixels),
        static_cast<unsigned long long>(f.changedPixels),
        static_cast<unsigned long long>(f.missedPixels));
    const auto areas = tracker_->missedAreas(kMissedAreasShown);
    if (!areas.empty()) {
      text += L"missed changes, largest first:";
      for (std::size_t i = 0; i < areas.size(); ++i) {
        const lumo::region::Rect &b = areas[i].bounds;
        text += wideFormat(L"%ls %d %d %d %d (%llu pixels)", i == 0 ? L"" : L";", b.left, b.top,
                           b.right, b.bottom, static_cast<unsigned long long>(areas[i].pixels));
      }
      text += L"\n";
    }
    text += wideFormat(
        L"over-reporting: %ls of the reported area did not change (%llu of %llu pixels)\n",
        percent(f.unchangedReportedPixels, f.reportedPixels).c_str(),
        static_cast<unsigned long long>(f.unchangedReportedPixels),
        static_cast<unsigned long long>(f.reportedPixels));
    text += wideFormat(
        L"verify: a %dx%d capture every %lu ms, %llu captures, %.1f ms per capture "
        L"and comparison\n",
        capture_.width(), capture_.height(), intervalMs_,
        static_cast<unsigned long long>(f.captures),
        captures_ == 0 ? 0.0 : static_cast<double>(costMs_) / captures_);
    return text;
  }

  bool captureNow() {
    const ULONGLONG started = GetTickCount64();
    if (!capture_.capture()) {
      complain(L"cannot capture the screen for --verify");
      return false;
    }
    tracker_->addCapture(capture_.pixels());
    costMs_ += GetTickCount64() - started;
    ++captures_;
    return true;
  }

private:
  lumo::tools::ScreenCapture capture_;
  std::unique_ptr<lumo::tools::CoverageTracker> tracker_;
  DWORD intervalMs_ = kLeastCaptureIntervalMs;
  ULONGLONG costMs_ = 0;
  std::uint64_t captures_ = 0;
};

int monitor(const Options &options) {
  const ServerObjectNames &names = ServerObjectNames::instance();
  // The number the server's programs use for the same purpose.
  const UINT message = names.hookUpdateMessage;
  if (message == 0 || names.hookLoaderCloseMessage == 0) {
    complain(L"Windows refused to register the report message");
    return 1;
  }
  // Named as the server's window, so that the 32-bit loader finds it.
  UniqueWindow target(
      CreateWindowExW(0, L"STATIC", lumo::toUtf16(names.hookTargetWindowName).c_str(), 0, 0, 0, 0,
                      0, HWND_MESSAGE, nullptr, GetModuleHandleW(nullptr), nullptr));
  if (!target) {
    complain(wideFormat(L"cannot create the report window (error %lu)", GetLastError()));
    return 1;
  }
  // The window made this thread's message queue, to which the others post.
  monitorThread = GetCurrentThreadId();
  SetConsoleCtrlHandler(onConsoleControl, TRUE);
  UniqueHandle inputWatcher(CreateThread(nullptr, 0, watchInput, nullptr, 0, nullptr));

  Verification verification;
  if (options.verify && !verification.start()) {
    return 1;
  }
  lumo::tools::Hooks64 hooks64(options.library);
  if (options.watch64 && !hooks64.install(target.get(), message)) {
    return 1;
  }
  lumo::tools::Loader32 loader;
  if (options.watch32 &&
      !loader.start(options.watch64 ? L": watching 64-bit processes only" : L"") &&
      !options.watch64) {
    hooks64.remove();
    return 1;
  }
  const bool watching32 = loader.process() != nullptr;
  complain(
      wideFormat(L"watching %ls processes",
                 options.watch64 ? (watching32 ? L"64-bit and 32-bit" : L"64-bit") : L"32-bit"));

  lumo::tools::ReportOutput output(GetStdHandle(STD_OUTPUT_HANDLE));
  lumo::tools::ReportTally tally(options.windowTitles);
  const ULONGLONG started = GetTickCount64();
  {
    const Ticker ticker(options.durationMs, options.verify ? verification.intervalMs() : 0,
                        loader.process());
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
      if (msg.message == message && msg.hwnd == target.get()) {
        const lumo::region::Rect r = lumo::paintwatch::unpackReport(msg.wParam, msg.lParam);
        tally.record(r);
        output.add(std::to_wstring(r.left) + L" " + std::to_wstring(r.top) + L" " +
                   std::to_wstring(r.right) + L" " + std::to_wstring(r.bottom));
        if (options.verify) {
          verification.report(r);
        }
      } else if (msg.hwnd != nullptr) {
        DispatchMessageW(&msg);
      } else if (msg.message == kStopMessage) {
        break;
      } else if (msg.message == kCaptureMessage) {
        verification.captureNow();
      } else if (msg.message == kLoaderEndedMessage) {
        loader.ended();
      }
    }
  }
  const double seconds = (GetTickCount64() - started) / 1000.0;

  const bool removed64 = hooks64.remove();
  const bool removed32 = loader.stop(names.hookLoaderCloseMessage, names.hookLoaderWindowName);
  const std::uint64_t dropped = output.finish(kOutputGraceMs);
  const std::vector<std::uint8_t> *missed = options.verify ? &verification.finish() : nullptr;
  bool mapWritten = true;
  if (!options.damageMap.empty()) {
    const std::string error =
        lumo::tools::writeDamageMap(options.damageMap, tally.damage(), missed);
    if (!error.empty()) {
      complain(L"cannot write the damage map " + options.damageMap + L": " + lumo::toUtf16(error));
      mapWritten = false;
    }
  }
  std::wstring summary = tally.summary(seconds);
  if (dropped != 0) {
    summary += wideFormat(
        L"output: %llu report lines were dropped: standard output was not read "
        L"in time\n",
        static_cast<unsigned long long>(dropped));
  }
  if (options.verify) {
    summary += verification.summary();
  }
  lumo::tools::writeText(GetStdHandle(STD_ERROR_HANDLE), summary);
  if (!removed64 || !removed32) {
    complain(L"the screen hooks could not all be removed");
    return 1;
  }
  return mapWritten ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t **argv) {
  Options options;
  const int code = parseOptions(argc, argv, &options);
  if (code >= 0) {
    return code;
  }
  return monitor(options);
}
