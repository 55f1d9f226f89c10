#include "source/report_intake.h"

#include <algorithm>
#include <system_error>

#include "server/server_object_names.h"
#include "source/hook_library.h"
#include "source/loader_process.h"
#include "util/text_conversion.h"
#include "util/text_format.h"

namespace lumo {
namespace source {

namespace {

// Reports go into the tracker a batch at a time, under one lock; a drain
// ends after so many messages, so that a flood leaves time for the ticks.
const std::size_t reportBatch = 64;
const int mostMessagesPerDrain = 1024;

const wchar_t windowClass[] = L"LumoScreenSource";

// Why the hooks are not installed, and at which step.
StartError hookFailure(HookLibrary::Outcome outcome, const HookLibrary &hooks) {
  const std::string path = toUtf8(hooks.path().c_str());
  switch (outcome) {
    case HookLibrary::Outcome::NotFound:
      return StartError(StartStep::libraryMissing, "cannot find the hook library " + path);
    case HookLibrary::Outcome::NotThisBitness:
      return StartError(
          StartStep::libraryOtherBitness,
          format("%s is not a %d-bit library", path.c_str(), static_cast<int>(sizeof(void *) * 8)));
    case HookLibrary::Outcome::NotLoaded:
      return StartError(StartStep::libraryNotLoaded,
                        format("cannot load %s (error %lu)", path.c_str(), hooks.loadError()));
    case HookLibrary::Outcome::NotHookLibrary:
      return StartError(StartStep::notHookLibrary,
                        path +
                            " is not the screen-hook library: it lacks setHookWithMessage or "
                            "unsetHookForWindow");
    default:
      return StartError(StartStep::hooksRefused,
                        "cannot install the screen hooks: another program has them installed, "
                        "or the system refused them");
  }
}

LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto *tracker = reinterpret_cast<SharedTracker *>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (message == WM_DISPLAYCHANGE && tracker != nullptr) {
    tracker->displayChanged();
  }
  // A program that closes every top-level window must not end the reports.
  if (message == WM_CLOSE) {
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

// Top-level, since the system tells only those of a display change, and
// named as the server's hook target, so that the 32-bit loader finds it.
UniqueWindow openWindow(const server::ServerObjectNames &names, SharedTracker *tracker) {
  WNDCLASSW type = {};
  type.lpfnWndProc = &windowProc;
  type.hInstance = GetModuleHandleW(nullptr);
  type.lpszClassName = windowClass;
  UniqueWindow window;
  if (RegisterClassW(&type) || GetLastError() == ERROR_CLASS_ALREADY_EXISTS) {
    window.reset(CreateWindowExW(WS_EX_TOOLWINDOW, windowClass,
                                 toUtf16(names.hookTargetWindowName).c_str(), WS_POPUP, 0, 0, 0, 0,
                                 nullptr, nullptr, type.hInstance, nullptr));
  }
  if (!window) {
    throw StartError(StartStep::reportWindow,
                     format("cannot create the report window (error %lu)", GetLastError()));
  }
  SetWindowLongPtrW(window.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(tracker));
  return window;
}

DWORD millisecondsUntil(Clock::time_point when) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(when - Clock::now()).count();
  return static_cast<DWORD>(std::clamp<long long>(left, 0, 60000));
}

}  // namespace

// What the thread holds while it serves, declared in the order it is made:
// the hooks go before the window they report to.
class ReportIntake::Serving {
public:
  Serving(const ScreenSourceSettings &settings, SharedTracker *tracker,
          std::atomic<bool> *watching32, std::wstring *why32)
      : settings_(settings),
        names_(server::ServerObjectNames::instance()),
        tracker_(*tracker),
        watching32_(*watching32) {
    if (names_.hookUpdateMessage == 0 || names_.hookLoaderCloseMessage == 0) {
      throw StartError(StartStep::reportWindow, "Windows refused to register the report message");
    }
    window_ = openWindow(names_, tracker);
    if (settings.watchOwnBitness) {
      install();
    }
    if (settings.watch32 && sizeof(void *) == 8) {
      startLoader(why32);
    }
  }

  void serve(HANDLE stop);
  // False where a hook could not be removed.
  bool remove() {
    const bool removedOwn = hooks_.remove();
    const bool removed32 = loader_.stop();
    return removedOwn && removed32;
  }

private:
  void install() {
    const HookLibrary::Outcome outcome = hooks_.install(window_.get(), names_.hookUpdateMessage);
    if (outcome != HookLibrary::Outcome::Installed) {
      throw hookFailure(outcome, hooks_);
    }
  }

  void startLoader(std::wstring *why) {
    const wchar_t *consequence =
        settings_.watchOwnBitness ? L": watching 64-bit processes only" : L"";
    if (loader_.start(consequence, why)) {
      watching32_ = true;
    } else if (!settings_.watchOwnBitness) {
      throw StartError(StartStep::loaderNotStarted, toUtf8(why->c_str()));
    }
  }

  void drain();
  void loaderEnded();

  const ScreenSourceSettings &settings_;
  const server::ServerObjectNames &names_;
  SharedTracker &tracker_;
  std::atomic<bool> &watching32_;
  UniqueWindow window_;
  HookLibrary hooks_{settings_.hookLibrary};
  Loader32 loader_;
};

void ReportIntake::Serving::serve(HANDLE stop) {
  Clock::time_point nextTick = Clock::now();
  for (;;) {
    if (Clock::now() >= nextTick) {
      tracker_.tick();
      nextTick = Clock::now() + settings_.tickInterval;
    }
    const HANDLE handles[] = {stop, loader_.process()};
    const DWORD count = loader_.process() != nullptr ? 2 : 1;
    const DWORD woken = MsgWaitForMultipleObjectsEx(count, handles, millisecondsUntil(nextTick),
                                                    QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    if (woken == WAIT_OBJECT_0 || woken == WAIT_FAILED) {
      return;
    }
    if (woken == WAIT_OBJECT_0 + 1 && count == 2) {
      loaderEnded();
    } else if (woken == WAIT_OBJECT_0 + count) {
      drain();
    }
  }
}

void ReportIntake::Serving::drain() {
  const Clock::time_point takenAt = Clock::now();
  const UINT reportMessage = names_.hookUpdateMessage;
  Report batch[reportBatch];
  std::size_t batched = 0;
  MSG msg;
  for (int taken = 0; taken < mostMessagesPerDrain && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE);
       ++taken) {
    if (msg.message != reportMessage || msg.hwnd != window_.get()) {
      DispatchMessageW(&msg);
      continue;
    }
    if (settings_.tap != nullptr) {
      settings_.tap->report(msg.wParam, msg.lParam);
    }
    batch[batched++] = {msg.wParam, msg.lParam};
    if (batched == reportBatch) {
      tracker_.addReports(batch, batched, takenAt);
      batched = 0;
    }
  }
  tracker_.addReports(batch, batched, takenAt);
}

void ReportIntake::Serving::loaderEnded() {
  watching32_ = false;
  const DWORD code = loader_.ended();
  if (settings_.tap != nullptr) {
    settings_.tap->loaderEnded(code);
  }
}

ReportIntake::ReportIntake(const ScreenSourceSettings &settings, SharedTracker *tracker)
    : settings_(settings),
      tracker_(*tracker),
      stop_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      started_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
  if (!stop_ || !started_) {
    throw StartError(StartStep::resources,
                     format("cannot make the source's events (error %lu)", GetLastError()));
  }
  std::exception_ptr failure;
  try {
    thread_ = std::thread([this, &failure] { run(&failure); });
  } catch (const std::system_error &e) {
    throw StartError(StartStep::resources,
                     std::string("cannot start the source's thread: ") + e.what());
  }
  WaitForSingleObject(started_.get(), INFINITE);
  if (failure) {
    thread_.join();
    std::rethrow_exception(failure);
  }
}

ReportIntake::~ReportIntake() { stop(); }

void ReportIntake::run(std::exception_ptr *failure) {
  std::unique_ptr<Serving> serving;
  try {
    serving = std::make_unique<Serving>(settings_, &tracker_, &watching32_, &why32_);
  } catch (const StartError &) {
    *failure = std::current_exception();
  } catch (const std::exception &e) {
    *failure = std::make_exception_ptr(StartError(StartStep::resources, e.what()));
  }
  SetEvent(started_.get());
  if (serving == nullptr) {
    return;
  }
  serving->serve(stop_.get());
  removed_ = serving->remove();
}

bool ReportIntake::stop() noexcept {
  SetEvent(stop_.get());
  if (thread_.joinable()) {
    thread_.join();
  }
  return removed_;
}

}  // namespace source
}  // namespace lumo
