#pragma once

// The monitor's clock, on a thread of its own. Everything that ends or
// paces the monitor reaches its loop as a thread message, so that the loop
// waits in GetMessageW alone. No post is lost to a full queue.

#include <windows.h>

#include <thread>

#include "util/unique_handle.h"

namespace lumo {
namespace tools {

enum MonitorMessage : UINT {
  kStopMessage = WM_APP + 1,
  kCaptureMessage = WM_APP + 2,
  kLoaderEndedMessage = WM_APP + 3,
  kFrameMessage = WM_APP + 4,
};

// What the ticker posts at a steady interval.
struct TickerPaces {
  // kCaptureMessage every captureMs (0: never).
  DWORD captureMs = 0;
  // kFrameMessage every frameMs (0: never): a server's frame clock.
  DWORD frameMs = 0;
};

// Posts to the thread, again every few milliseconds while its queue is full
// (on Windows a queue refuses posts past 10,000 messages, which a flood of
// reports can reach). False once `giveUp` (null: never) is set, or where
// the thread takes no posts at all.
bool postUntilTaken(DWORD thread, UINT message, HANDLE giveUp);

class Ticker {
public:
  // Posts to the thread: kStopMessage once durationMs (INFINITE: never) has
  // passed, and the paces' messages.
  Ticker(DWORD thread, DWORD durationMs, TickerPaces paces);
  Ticker(const Ticker &) = delete;
  Ticker &operator=(const Ticker &) = delete;
  ~Ticker();

private:
  bool post(UINT message);
  void run(DWORD durationMs, TickerPaces paces);

  DWORD thread_;
  UniqueHandle wake_;
  std::thread worker_;
};

}  // namespace tools
}  // namespace lumo
