#include "ticker.h"

#include <algorithm>

#include "platform_seam.h"

namespace lumo {
namespace tools {

namespace {

const ULONGLONG never = ~0ull;
// How soon a post the queue refused is tried again: the monitor's loop
// drains the queue meanwhile.
const DWORD postRetryMs = 10;

// One message posted at a steady interval.
struct Pace {
  Pace(UINT message, DWORD periodMs, ULONGLONG started)
      : message(message), periodMs(periodMs), next(periodMs == 0 ? never : started + periodMs) {}

  bool due(ULONGLONG now) const { return now >= next; }
  // A late post does not make the next ones come faster.
  void posted(ULONGLONG now) { next = std::max(next + periodMs, now + periodMs / 2); }

  UINT message;
  DWORD periodMs;
  ULONGLONG next;
};

}  // namespace

Ticker::Ticker(DWORD thread, DWORD durationMs, TickerPaces paces)
    : thread_(thread),
      wake_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      worker_([this, durationMs, paces] { run(durationMs, paces); }) {}

Ticker::~Ticker() {
  SetEvent(wake_.get());
  worker_.join();
}

bool postUntilTaken(DWORD thread, UINT message, HANDLE giveUp) {
  while (!monitorSeam.postThreadMessage(thread, message, 0, 0)) {
    if (GetLastError() != ERROR_NOT_ENOUGH_QUOTA) {
      return false;
    }
    if (giveUp == nullptr) {
      Sleep(postRetryMs);
    } else if (WaitForSingleObject(giveUp, postRetryMs) != WAIT_TIMEOUT) {
      return false;
    }
  }
  return true;
}

// False once the ticker is ending.
bool Ticker::post(UINT message) { return postUntilTaken(thread_, message, wake_.get()); }

void Ticker::run(DWORD durationMs, TickerPaces paces) {
  const ULONGLONG started = GetTickCount64();
  const ULONGLONG end = durationMs == INFINITE ? never : started + durationMs;
  Pace capture(kCaptureMessage, paces.captureMs, started);
  Pace frame(kFrameMessage, paces.frameMs, started);
  for (;;) {
    const ULONGLONG now = GetTickCount64();
    if (now >= end) {
      post(kStopMessage);
      return;
    }
    bool posted = false;
    for (Pace *pace : {&capture, &frame}) {
      if (pace->due(now)) {
        if (!post(pace->message)) {
          return;
        }
        pace->posted(now);
        posted = true;
      }
    }
    if (posted) {
      continue;
    }
    const ULONGLONG next = std::min({end, capture.next, frame.next});
    const DWORD wait = next == never ? INFINITE : static_cast<DWORD>(next - now);
    if (WaitForSingleObject(wake_.get(), wait) != WAIT_TIMEOUT) {
      return;
    }
  }
}

}  // namespace tools
}  // namespace lumo
