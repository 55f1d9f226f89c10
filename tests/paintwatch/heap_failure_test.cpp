// A hook procedure whose heap runs out, in a host: the hook library's own
// objects are loaded as a second DLL that can make its heap refuse.

#include <gtest/gtest.h>

#include "hook_processes.h"
#include "paintwatch/paintwatch.h"
#include "test_windows.h"

using lumo::region::Rect;
using lumo::test::UniqueWindow;

namespace {

using lumo::test::exported;
using WithFailingHeapFn = void (*)(void (*)(void *), void *);

TEST(HookHeapFailureTest, FrameReportsOfThatMessageAreDroppedAndTheNextMessageReports) {
  const lumo::UniqueModule library(
      LoadLibraryW(lumo::test::besideThisProgram(L"failing_heap_hooks.dll").c_str()));
  ASSERT_TRUE(library);
  const auto set = exported<SetHookWithMessageFn>(library.get(), "setHookWithMessage");
  const auto unset = exported<UnsetHookForWindowFn>(library.get(), "unsetHookForWindow");
  const auto withFailingHeap = exported<WithFailingHeapFn>(library.get(), "withFailingHeap");
  ASSERT_TRUE(set && unset && withFailingHeap);

  const UniqueWindow target = lumo::test::createTargetWindow();
  UniqueWindow framed = lumo::test::createQuietWindow(WS_OVERLAPPEDWINDOW, 301, 207, 250, 160);
  const UINT message = RegisterWindowMessageW(L"lumo-test-failing-heap");
  ASSERT_TRUE(set(target.get(), message));
  auto reports = [&] {
    return lumo::test::reportsInside(lumo::test::takeReports(target.get(), message),
                                     {framed.get()});
  };

  // The client area needs no memory and is still reported.
  withFailingHeap(
      [](void *window) {
        SendMessageW(static_cast<HWND>(window), WM_NCPAINT, 1, 0);
        SendMessageW(static_cast<HWND>(window), WM_PAINT, 0, 0);
      },
      framed.get());
  EXPECT_EQ(reports(), std::vector<Rect>{lumo::test::expectedClientRect(framed.get())});

  SendMessageW(framed.get(), WM_NCPAINT, 1, 0);
  EXPECT_EQ(reports(), lumo::test::expectedNonClientRects(framed.get()));
  EXPECT_TRUE(unset(target.get(), message));
}

}  // namespace
