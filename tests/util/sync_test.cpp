#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "seam_override.h"
#include "util/exception.h"
#include "util/lock.h"
#include "util/windows_event.h"
#include "util/platform_seam.h"

using lumo::AutoLock;
using lumo::LocalMutex;
using lumo::test::SeamOverride;

namespace {

// Long enough for a thread that could go ahead to have done so.
constexpr auto settle = std::chrono::milliseconds(200);

HANDLE WINAPI failingCreateEvent(LPSECURITY_ATTRIBUTES, BOOL, BOOL, LPCWSTR) {
  SetLastError(ERROR_NO_SYSTEM_RESOURCES);
  return nullptr;
}

}  // namespace

TEST(LocalMutexTest, OtherThreadsWaitUntilEveryLevelIsReleased) {
  LocalMutex mutex;
  std::atomic<bool> acquired{false};
  std::thread other;
  {
    const AutoLock outer(&mutex);
    { const AutoLock inner(&mutex); }
    other = std::thread([&] {
      const AutoLock hold(&mutex);
      acquired = true;
    });
    std::this_thread::sleep_for(settle);
    EXPECT_FALSE(acquired);
  }
  other.join();
  EXPECT_TRUE(acquired);
}

TEST(WindowsEventTest, OneSignalReleasesExactlyOneWaiter) {
  WindowsEvent event;
  std::atomic<int> released{0};
  auto wait = [&] { released += WaitForSingleObject(event.getHandle(), 1000) == WAIT_OBJECT_0; };
  std::thread first(wait);
  std::thread second(wait);
  std::this_thread::sleep_for(settle);
  SetEvent(event.getHandle());
  first.join();
  second.join();
  EXPECT_EQ(released, 1);
  EXPECT_EQ(WaitForSingleObject(event.getHandle(), 0), WAIT_TIMEOUT);
}

TEST(WindowsEventTest, CreationFailureNamesTheWindowsError) {
  const SeamOverride<lumo::UtilSeam> seam(lumo::utilSeam);
  lumo::utilSeam.createEvent = failingCreateEvent;
  try {
    WindowsEvent event;
    FAIL() << "the event was created";
  } catch (const lumo::Exception &e) {
    EXPECT_EQ(e.getMessage(), "Cannot create windows event with error = 1450");
  }
}
