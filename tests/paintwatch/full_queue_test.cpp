// Posts refused in a second process, whose copy of the hook library's
// objects (failing_heap_hooks.dll) fails them as the system can: only a
// full queue loses a report, and the receiver is then told once, before
// the next report, that everything may have changed.

#include <gtest/gtest.h>

#include <vector>

#include "hook_processes.h"
#include "paintwatch/paintwatch.h"
#include "paintwatch/report.h"
#include "test_windows.h"

using lumo::region::Rect;
using lumo::test::UniqueWindow;

namespace {

TEST(FullQueueTest, OnlyAFullQueueOwesTheReceiverOneEverythingChanged) {
  const lumo::UniqueModule library(
      LoadLibraryW(lumo::test::besideThisProgram(L"failing_heap_hooks.dll").c_str()));
  ASSERT_TRUE(library);
  const auto set = lumo::test::exported<SetHookWithMessageFn>(library.get(), "setHookWithMessage");
  const auto unset =
      lumo::test::exported<UnsetHookForWindowFn>(library.get(), "unsetHookForWindow");
  ASSERT_TRUE(set && unset);
  const UniqueWindow target = lumo::test::createTargetWindow();
  const UINT message = RegisterWindowMessageW(L"lumo-test-full-queue");
  const UniqueWindow painted = lumo::test::createQuietWindow(WS_POPUP, 611, 243, 70, 40);
  // The peer paints its window twice, then this process paints its own
  // twice.
  const Rect all = lumo::paintwatch::everythingChanged();
  const Rect peer(523, 341, 590, 379);
  const Rect here = lumo::test::expectedClientRect(painted.get());
  const DWORD full = ERROR_NOT_ENOUGH_QUOTA;
  const struct {
    const char *what;
    std::vector<DWORD> refusals;  // of the peer's first posts
    std::vector<Rect> reports;
  } cases[] = {
      {"full queue", {full}, {all, peer, here, here}},
      // The peer's next hook call tries again.
      {"the catch-up refused, full", {full, full}, {peer, all, here, here}},
      {"the catch-up refused for integrity level",
       {full, ERROR_ACCESS_DENIED},
       {peer, all, here, here}},
      {"integrity level", {ERROR_ACCESS_DENIED}, {peer, here, here}},
      {"target gone", {ERROR_INVALID_WINDOW_HANDLE}, {peer, here, here}},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(set(target.get(), message));
    EXPECT_TRUE(lumo::test::paintFromPeer(L"hook_peer.exe", peer, c.refusals));
    SendMessageW(painted.get(), WM_PAINT, 0, 0);
    SendMessageW(painted.get(), WM_PAINT, 0, 0);
    std::vector<Rect> reports;
    for (const Rect &report : lumo::test::takeReports(target.get(), message)) {
      if (report == all || report == peer || report == here) {
        reports.push_back(report);
      }
    }
    EXPECT_EQ(reports, c.reports);
    EXPECT_TRUE(unset(target.get(), message));
  }
}

}  // namespace
