#include "ticker.h"

#include <algorithm>

namespace lumo {
namespace tools {

namespace {

const ULONGLONG never = ~0ull;

}  // namespace

Ticker::Ticker(DWORD thread, DWORD durationMs, DWORD captureMs, HANDLE loader)
    : thread_(thread),
      wake_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      worker_([this, durationMs, captureMs, loader] { run(durationMs, captureMs, loader); }) {}

Ticker::~Ticker() {
  SetEvent(wake_.get());
  worker_.join();
}

void Ticker::run(DWORD durationMs, DWORD captureMs, HANDLE loader) {
  const ULONGLONG started = GetTickCount64();
  const ULONGLONG end = durationMs == INFINITE ? never : started + durationMs;
  ULONGLONG nextCapture = captureMs == 0 ? never : started + captureMs;
  for (;;) {
    const ULONGLONG now = GetTickCount64();
    if (now >= end) {
      PostThreadMessageW(thread_, kStopMessage, 0, 0);
      return;
    }
    if (now >= nextCapture) {
      PostThreadMessageW(thread_, kCaptureMessage, 0, 0);
      // A late capture does not make the next ones come faster.
      nextCapture = std::max(nextCapture + captureMs, now + captureMs / 2);
      continue;
    }
    const ULONGLONG next = std::min(end, nextCapture);
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
