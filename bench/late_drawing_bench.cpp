// How late the system draws what a window uncovered or left, which it does
// without a hint of its own: for each way of leaving and each thing
// beneath, the time from the call to the last change of the pixels there,
// read through GDI as fast as they can be by a thread of no windows. A
// frame builder must keep comparing such a place at least this long.
//   late_drawing_bench [EVENTS [BUSY_MS]]
// EVENTS of each kind over each background (20 by default); with BUSY_MS
// the thread of the window leaving does not pump its messages for that
// long after the call, as a program at work would not.

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <iterator>
#include <thread>
#include <vector>

#include "frames/gdi_screen_capture.h"
#include "frames/pixel_compare.h"
#include "measure.h"
#include "tests/support/striped_windows.h"
#include "util/unique_handle.h"

namespace {

using lumo::frames::PixelImage;
using lumo::region::Rect;

// The window's place; a background window covers it with a margin.
const Rect kPlace(300, 260, 700, 560);
const int kMargin = 40;
// How long a place is watched after the call returned.
const double kWatchSeconds = 2;

HWND makeWindow(const wchar_t *className, WNDPROC procedure, const Rect &place) {
  WNDCLASSW windowClass = {};
  windowClass.lpfnWndProc = procedure;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = className;
  RegisterClassW(&windowClass);
  return CreateWindowExW(0, className, className, WS_POPUP | WS_VISIBLE, place.left, place.top,
                         place.getWidth(), place.getHeight(), nullptr, nullptr,
                         windowClass.hInstance, nullptr);
}

HWND makeBackground() {
  return makeWindow(L"LumoLateBackground", lumo::test::backgroundProc,
                    Rect(kPlace.left - kMargin, kPlace.top - kMargin, kPlace.right + kMargin,
                         kPlace.bottom + kMargin));
}

// A way for a window to leave its place, and the part of the place it
// leaves to what is beneath.
struct Leaving {
  const char *name;
  void (*leave)(lumo::UniqueWindow *window);
  Rect left;
};

const int kHalf = kPlace.getWidth() / 2;
const Leaving kLeavings[] = {
    {"moved aside",
     [](lumo::UniqueWindow *window) {
       SetWindowPos(window->get(), nullptr, kPlace.left + kHalf, kPlace.top, 0, 0,
                    SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
     },
     Rect(kPlace.left, kPlace.top, kPlace.left + kHalf, kPlace.bottom)},
    {"closed", [](lumo::UniqueWindow *window) { window->reset(); }, kPlace},
    {"minimised", [](lumo::UniqueWindow *window) { ShowWindow(window->get(), SW_MINIMIZE); },
     kPlace},
    {"hidden", [](lumo::UniqueWindow *window) { ShowWindow(window->get(), SW_HIDE); }, kPlace},
    {"shrunk",
     [](lumo::UniqueWindow *window) {
       SetWindowPos(window->get(), nullptr, 0, 0, kHalf, kPlace.getHeight(),
                    SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
     },
     Rect(kPlace.left + kHalf, kPlace.top, kPlace.right, kPlace.bottom)},
};

// A thread of windows as a program's, pumping with GetMessageW, that does
// what is asked of it in turn.
class WindowThread {
public:
  enum Request : UINT { kShowBackground = WM_APP, kShowWindow, kLeave };

  explicit WindowThread(double busy) : busy_(busy), thread_([this] { run(); }) {
    id_ = started_.get_future().get();
  }
  WindowThread(const WindowThread &) = delete;
  WindowThread &operator=(const WindowThread &) = delete;
  ~WindowThread() {
    PostThreadMessageW(id_, WM_QUIT, 0, 0);
    thread_.join();
  }

  // The window leaves as kLeavings[leaving] does.
  void ask(Request request, int leaving = 0) {
    calledAt_ = returnedAt_ = 0;
    PostThreadMessageW(id_, request, leaving, 0);
  }
  void waitDone() const { WaitForSingleObject(done_.get(), INFINITE); }

  // When the last leaving call began and returned; 0 until it has.
  double calledAt() const { return calledAt_; }
  double returnedAt() const { return returnedAt_; }

private:
  void run() {
    MSG msg;
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);  // its queue, before anything is posted
    started_.set_value(GetCurrentThreadId());
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
      if (msg.hwnd == nullptr && msg.message >= WM_APP) {
        handle(msg.message, static_cast<int>(msg.wParam));
      } else {
        DispatchMessageW(&msg);
      }
    }
    window_.reset();
    background_.reset();
  }

  void handle(UINT request, int leaving) {
    if (request == kShowBackground) {
      background_.reset(makeBackground());
    } else if (request == kShowWindow) {
      window_.reset(makeWindow(L"LumoLateLeaving", lumo::test::leavingProc, kPlace));
    } else {
      calledAt_ = lumo::bench::nowSeconds();
      kLeavings[leaving].leave(&window_);
      returnedAt_ = lumo::bench::nowSeconds();
      Sleep(static_cast<DWORD>(busy_ * 1e3));
    }
    SetEvent(done_.get());
  }

  const double busy_;
  const lumo::UniqueHandle done_{CreateEventW(nullptr, FALSE, FALSE, nullptr)};
  std::atomic<double> calledAt_{0};
  std::atomic<double> returnedAt_{0};
  // Touched by the thread alone.
  lumo::UniqueWindow background_;
  lumo::UniqueWindow window_;
  std::promise<DWORD> started_;
  DWORD id_ = 0;
  std::thread thread_;
};

bool samePicture(const PixelImage &a, const PixelImage &b) {
  for (int y = 0; y < a.height(); ++y) {
    if (!lumo::frames::samePixels(a.row(y), b.row(y), a.width())) {
      return false;
    }
  }
  return true;
}

// Captures `place` until it has not changed for half a second (three at
// most); the last capture in *image.
void settle(lumo::frames::GdiScreenCapture *capture, const Rect &place, PixelImage *image) {
  PixelImage now(place.getWidth(), place.getHeight());
  capture->capture(place, image, 0, 0);
  const double start = lumo::bench::nowSeconds();
  double quietSince = start;
  while (lumo::bench::nowSeconds() - quietSince < 0.5 && lumo::bench::nowSeconds() - start < 3) {
    Sleep(10);
    capture->capture(place, &now, 0, 0);
    if (!samePicture(now, *image)) {
      std::swap(now, *image);
      quietSince = lumo::bench::nowSeconds();
    }
  }
}

// Seconds from the call: when it returned, when the pixels first differed
// from what the window showed and when they last changed; -1 where they
// never did.
struct Watched {
  double returned = 0;
  double first = -1;
  double last = -1;
};

// Captures `place` as fast as it can until the watch is over.
Watched watch(lumo::frames::GdiScreenCapture *capture, const Rect &place, const PixelImage &before,
              const WindowThread &program) {
  PixelImage previous = before;
  PixelImage now(place.getWidth(), place.getHeight());
  double first = 0;
  double last = 0;
  while (program.returnedAt() == 0 ||
         lumo::bench::nowSeconds() - program.returnedAt() < kWatchSeconds) {
    capture->capture(place, &now, 0, 0);
    if (!samePicture(now, previous)) {
      last = lumo::bench::nowSeconds();
      first = first == 0 ? last : first;
      std::swap(now, previous);
    }
  }
  const double called = program.calledAt();
  return {program.returnedAt() - called, first == 0 ? -1 : first - called,
          last == 0 ? -1 : last - called};
}

// The machine's busy share since the last call, from the system's times.
double machineBusy() {
  static ULONGLONG idleBefore = 0;
  static ULONGLONG allBefore = 0;
  FILETIME idle, kernel, user;
  GetSystemTimes(&idle, &kernel, &user);
  const auto ticks = [](const FILETIME &t) {
    return static_cast<ULONGLONG>(t.dwHighDateTime) << 32 | t.dwLowDateTime;
  };
  const ULONGLONG idleNow = ticks(idle);
  const ULONGLONG allNow = ticks(kernel) + ticks(user);  // kernel time includes idle
  const double busy = 1.0 - static_cast<double>(idleNow - idleBefore) / (allNow - allBefore);
  idleBefore = idleNow;
  allBefore = allNow;
  return busy;
}

void report(const char *leaving, const char *beneath, const std::vector<Watched> &events) {
  std::vector<double> call, first, last;
  int afterASecond = 0;
  for (const Watched &event : events) {
    call.push_back(event.returned * 1e3);
    if (event.last >= 0) {
      first.push_back(event.first * 1e3);
      last.push_back(event.last * 1e3);
      afterASecond += event.last > 1;
    }
  }
  std::printf("%-11s over %-26s call %4.0f ms;", leaving, beneath, lumo::bench::median(call));
  if (last.empty()) {
    std::printf(" never changed in %zu", events.size());
  } else {
    std::printf(" last change %4.0f ms, most %4.0f; first %4.0f; %zu of %zu changed, %d after 1 s",
                lumo::bench::median(last), *std::max_element(last.begin(), last.end()),
                lumo::bench::median(first), last.size(), events.size(), afterASecond);
  }
  std::printf("; machine %2.0f%% busy\n", machineBusy() * 100);
  std::fflush(stdout);
}

enum class Beneath { kDesktop, kAnotherThread, kTheSameThread };

// Each way of leaving, `events` times, over what is beneath.
void measureOver(Beneath beneath, int events, double busy) {
  WindowThread another(0);
  WindowThread program(busy);
  if (beneath != Beneath::kDesktop) {
    WindowThread *owner = beneath == Beneath::kAnotherThread ? &another : &program;
    owner->ask(WindowThread::kShowBackground);
    owner->waitDone();
  }
  const char *names[] = {"the desktop", "a window of another thread", "a window of its own thread"};
  lumo::frames::GdiScreenCapture capture;
  for (int k = 0; k < static_cast<int>(std::size(kLeavings)); ++k) {
    const Rect &place = kLeavings[k].left;
    PixelImage before(place.getWidth(), place.getHeight());
    std::vector<Watched> watched;
    machineBusy();
    for (int i = 0; i < events; ++i) {
      program.ask(WindowThread::kShowWindow);
      program.waitDone();
      settle(&capture, place, &before);
      program.ask(WindowThread::kLeave, k);
      watched.push_back(watch(&capture, place, before, program));
      program.waitDone();
    }
    report(kLeavings[k].name, names[static_cast<int>(beneath)], watched);
  }
}

}  // namespace

int main(int argc, char **argv) {
  const int events = argc > 1 ? std::atoi(argv[1]) : 20;
  const double busy = argc > 2 ? std::atof(argv[2]) / 1e3 : 0;
  SYSTEM_INFO system;
  GetSystemInfo(&system);
  std::printf(
      "%d events of each kind, each watched until %.0f s after the call returned, the "
      "leaving window's thread busy %.0f ms after it; %lu cores\n",
      events, kWatchSeconds, busy * 1e3, system.dwNumberOfProcessors);
  for (const Beneath beneath :
       {Beneath::kDesktop, Beneath::kAnotherThread, Beneath::kTheSameThread}) {
    measureOver(beneath, events, busy);
  }
  return 0;
}
