#include "ticker.h"

#include <algorithm>

namespace lumo {
namespace tools {

namespace {

const ULONGLONG never = ~0ull;

// One message posted at a steady interval.
struct Pace {
  Pace(UINT message, DWORD periodMs, ULONGLONG started)
      : message(message), periodMs(periodMs), next(periodMs == 0 ? never : started + periodMs) {}

  // Posts when due; a late post does not make the next ones come faster.
  bool post(DWORD thread, ULONGLONG now) {
    if (now < next) {
      return false;
    }
    PostThreadMessageW(thread, message, 0, 0);
    next = std::max(next + periodMs, now + periodMs / 2);
    return true;
  }

  UINT message;
  DWORD periodMs;
  ULONGLONG next;
};

}  // namespace

Ticker::Ticker(DWORD thread, DWORD durationMs, TickerPaces paces, HANDLE loader)
    : thread_(thread),
      wake_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      worker_([this, durationMs, paces, loader] { run(durationMs, paces, loader); }) {}

Ticker::~Ticker() {
  SetEvent(wake_.get());
  worker_.join();
}

void Ticker::run(DWORD durationMs, TickerPaces paces, HANDLE loader) {
  const ULONGLONG started = GetTickCount64();
  const ULONGLONG end = durationMs == INFINITE ? never : started + durationMs;
  Pace capture(kCaptureMessage, paces.captureMs, started);
  Pace frame(kFrameMessage, paces.frameMs, started);
  for (;;) {
    const ULONGLONG now = GetTickCount64();
    if (now >= end) {
      PostThreadMessageW(thread_, kStopMessage, 0, 0);
      return;
    }
    const bool captured = capture.post(thread_, now);
    if (frame.post(thread_, now) || captured) {
      continue;
    }
    const ULONGLONG next = std::min({end, capture.next, frame.next});
    const DWORD wait = next == never ? INFINITE : static_cast<DWORD>(next - now);
    const HANDLE handles[] = {wake_.get(), loader};
    const DWORD woken = WaitForMultipleObjects(loader != nullptr ? 2 : 1, handles, FALSE, wait);
    if (woken == WAIT_OBJECT_0 || woken == WAIT_FAILED) {
      return;
    }
    if (woken == WAIT_OBJECT_0 + 1) {
      // Dropped first: the monitor closes the handle once told.
      loader = nullptr;
      PostThreadMessageW(thread_, kLoaderEndedMessage, 0, 0);
    }
  }
}

}  // namespace tools
}  // namespace lumo
