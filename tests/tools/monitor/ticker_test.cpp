// The monitor's clock when the monitor's queue refuses posts, as a thread's
// queue on Windows does past 10,000 messages (Wine's takes them all).

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>

#include "platform_seam.h"
#include "seam_override.h"
#include "ticker.h"
#include "util/unique_handle.h"

using lumo::tools::kFrameMessage;
using lumo::tools::kLoaderEndedMessage;
using lumo::tools::kStopMessage;
using lumo::tools::monitorSeam;
using lumo::tools::postUntilTaken;
using lumo::tools::Ticker;

namespace {

std::atomic<int> refusalsLeft{0};
DWORD refusal = ERROR_NOT_ENOUGH_QUOTA;

BOOL WINAPI refuseFirstPosts(DWORD thread, UINT message, WPARAM wParam, LPARAM lParam) {
  if (refusalsLeft.fetch_sub(1) > 0) {
    SetLastError(refusal);
    return FALSE;
  }
  return PostThreadMessageW(thread, message, wParam, lParam);
}

// True once this thread's queue holds the message, within five seconds.
bool received(UINT message) {
  const ULONGLONG deadline = GetTickCount64() + 5000;
  MSG msg;
  while (GetTickCount64() < deadline) {
    if (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE) && msg.message == message) {
      return true;
    }
    Sleep(5);
  }
  return false;
}

TEST(TickerTest, PostsTheQueueRefusesAreTriedAgainUntilTaken) {
  const struct {
    const char *what;
    DWORD durationMs;
    DWORD frameMs;
    UINT message;
  } cases[] = {
      {"the stop", 30, 0, kStopMessage},
      {"a frame", INFINITE, 20, kFrameMessage},
  };
  MSG queue;
  PeekMessageW(&queue, nullptr, 0, 0, PM_NOREMOVE);
  for (const auto &c : cases) {
    const lumo::test::SeamOverride<lumo::tools::MonitorSeam> seam(monitorSeam);
    monitorSeam.postThreadMessage = &refuseFirstPosts;
    refusalsLeft = 5;
    const Ticker ticker(GetCurrentThreadId(), c.durationMs, {0, c.frameMs});
    EXPECT_TRUE(received(c.message)) << c.what;
    EXPECT_LT(refusalsLeft, 0) << c.what;
  }
}

// What the console's Ctrl+C and the end of the monitor's input post, with
// nothing to give up on: a full queue is waited out, a thread that takes no
// posts is not.
TEST(TickerTest, AStopWaitsOutAFullQueueButNotAThreadThatTakesNoPosts) {
  const struct {
    DWORD refusal;
    bool taken;
  } cases[] = {{ERROR_NOT_ENOUGH_QUOTA, true}, {ERROR_INVALID_THREAD_ID, false}};
  MSG queue;
  PeekMessageW(&queue, nullptr, 0, 0, PM_NOREMOVE);
  for (const auto &c : cases) {
    const lumo::test::SeamOverride<lumo::tools::MonitorSeam> seam(monitorSeam);
    monitorSeam.postThreadMessage = &refuseFirstPosts;
    refusal = c.refusal;
    refusalsLeft = 5;
    EXPECT_EQ(postUntilTaken(GetCurrentThreadId(), kStopMessage, nullptr), c.taken) << c.refusal;
    // Five refusals and the post taken, or one refusal and no more tries.
    EXPECT_EQ(refusalsLeft, c.taken ? -1 : 4) << c.refusal;
  }
  refusal = ERROR_NOT_ENOUGH_QUOTA;
}

}  // namespace
