// The installation state machine with the system's hook calls replaced, so
// that failures the desktop rarely produces can be made to happen. The hook
// library's source is compiled into this test, not loaded.

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <vector>

#include "paintwatch/platform_seam.h"
#include "paintwatch/paintwatch.h"
#include "paintwatch/report.h"
#include "seam_override.h"
#include "test_windows.h"

using lumo::paintwatch::hookSeam;
using lumo::region::Rect;

namespace {

// A fake desktop: hooks get numbered handles; chosen types fail to install,
// chosen handles fail to unhook, and a handle whose hook is gone fails as
// the system fails it.
struct FakeHooks {
  std::vector<int> installed;  // hook types, in the order asked for
  std::set<int> refuse;        // hook types that fail to install
  std::set<HHOOK> stuck;       // handles that fail to unhook
  std::set<HHOOK> live;
  std::map<int, HHOOK> byType;
  std::map<int, HOOKPROC> procedures;
  std::vector<Rect> posted;
  // Added to every creation time the system reports: a change plays a
  // thread that got the installer's id after the installer ended.
  ULONGLONG threadTimeShift = 0;
};
FakeHooks fake;

HHOOK WINAPI fakeSet(int type, HOOKPROC procedure, HINSTANCE, DWORD thread) {
  EXPECT_EQ(thread, 0u);
  fake.installed.push_back(type);
  fake.procedures[type] = procedure;
  if (fake.refuse.count(type)) {
    return nullptr;
  }
  HHOOK hook = reinterpret_cast<HHOOK>(static_cast<INT_PTR>(0x100 + type));
  fake.live.insert(hook);
  fake.byType[type] = hook;
  return hook;
}

BOOL WINAPI fakeUnhook(HHOOK hook) {
  if (fake.stuck.count(hook)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (fake.live.erase(hook) != 1) {
    SetLastError(ERROR_INVALID_HOOK_HANDLE);
    return FALSE;
  }
  return TRUE;
}

BOOL WINAPI shiftedThreadTimes(HANDLE thread, LPFILETIME creation, LPFILETIME exit,
                               LPFILETIME kernel, LPFILETIME user) {
  if (!GetThreadTimes(thread, creation, exit, kernel, user)) {
    return FALSE;
  }
  ULARGE_INTEGER time = {{creation->dwLowDateTime, creation->dwHighDateTime}};
  time.QuadPart += fake.threadTimeShift;
  creation->dwLowDateTime = time.LowPart;
  creation->dwHighDateTime = time.HighPart;
  return TRUE;
}

class InstallStateTest : public ::testing::Test {
protected:
  void SetUp() override {
    hookSeam.setWindowsHookEx = fakeSet;
    hookSeam.unhookWindowsHookEx = fakeUnhook;
    hookSeam.getThreadTimes = shiftedThreadTimes;
    fake = FakeHooks();
  }
  void TearDown() override {
    fake.stuck.clear();
    unsetHookForWindow(window_.get(), kMessage);
    unsetHookForWindow(other_.get(), kMessage);
  }

  static constexpr UINT kMessage = 0xC123;
  // Declared first, so the real calls are back only after everything the
  // test made with the fakes has gone.
  const lumo::test::SeamOverride<lumo::paintwatch::HookSeam> seam_{hookSeam};
  lumo::test::UniqueWindow window_ = lumo::test::createTargetWindow();
  lumo::test::UniqueWindow other_ = lumo::test::createTargetWindow();
};

TEST_F(InstallStateTest, InstallsTheThreeHooksInOrderForAllThreads) {
  ASSERT_TRUE(setHookWithMessage(window_.get(), kMessage));
  EXPECT_EQ(fake.installed, (std::vector<int>{WH_CALLWNDPROCRET, WH_GETMESSAGE, WH_SYSMSGFILTER}));
  EXPECT_TRUE(unsetHookForWindow(window_.get(), kMessage));
  EXPECT_TRUE(fake.live.empty());
}

TEST_F(InstallStateTest, OneRefusedHookTakesTheOthersDownAndLeavesIdle) {
  fake.refuse = {WH_GETMESSAGE};
  EXPECT_FALSE(setHookWithMessage(window_.get(), kMessage));
  // All three were attempted, and the two that came up were removed.
  EXPECT_EQ(fake.installed.size(), 3u);
  EXPECT_TRUE(fake.live.empty());
  EXPECT_TRUE(unsetHookForWindow(nullptr, 0));

  fake.refuse.clear();
  EXPECT_TRUE(setHookWithMessage(other_.get(), kMessage));
  EXPECT_TRUE(unsetHookForWindow(other_.get(), kMessage));
}

TEST_F(InstallStateTest, FailedUnhookKeepsThatHookAndThePairForARetry) {
  ASSERT_TRUE(setHookWithMessage(window_.get(), kMessage));
  fake.stuck = {fake.byType[WH_GETMESSAGE]};

  EXPECT_FALSE(unsetHookForWindow(window_.get(), kMessage));
  // The failure did not stop the removal of the hook after it.
  EXPECT_EQ(fake.live, (std::set<HHOOK>{fake.byType[WH_GETMESSAGE]}));
  // Half-removed: installing stays refused, and the pair is still the
  // stored one, so the cleared pair does not match.
  EXPECT_FALSE(setHookWithMessage(other_.get(), kMessage));
  EXPECT_TRUE(unsetHookForWindow(nullptr, 0));
  EXPECT_EQ(fake.live.size(), 1u);

  fake.stuck.clear();
  EXPECT_TRUE(unsetHookForWindow(window_.get(), kMessage));
  EXPECT_TRUE(fake.live.empty());
  EXPECT_TRUE(setHookWithMessage(other_.get(), kMessage));
  EXPECT_TRUE(unsetHookForWindow(other_.get(), kMessage));
}

TEST_F(InstallStateTest, HooksThatNoLongerExistCountAsRemoved) {
  ASSERT_TRUE(setHookWithMessage(window_.get(), kMessage));
  fake.live.erase(fake.byType[WH_GETMESSAGE]);
  EXPECT_TRUE(unsetHookForWindow(window_.get(), kMessage));
  EXPECT_TRUE(fake.live.empty());
  EXPECT_TRUE(setHookWithMessage(other_.get(), kMessage));
  EXPECT_TRUE(unsetHookForWindow(other_.get(), kMessage));
}

TEST_F(InstallStateTest, ThreadThatReusedTheInstallersIdDoesNotKeepTheInstallation) {
  ASSERT_TRUE(setHookWithMessage(window_.get(), kMessage));
  // This thread still runs, so only its creation time tells it is not the
  // installer any more.
  fake.threadTimeShift = 10000000;
  EXPECT_TRUE(setHookWithMessage(other_.get(), kMessage));
  // The abandoned hooks were removed, the new ones installed.
  EXPECT_EQ(fake.installed.size(), 6u);
  EXPECT_EQ(fake.live.size(), 3u);
  EXPECT_TRUE(unsetHookForWindow(window_.get(), kMessage));
  EXPECT_EQ(fake.live.size(), 3u);
  EXPECT_TRUE(unsetHookForWindow(other_.get(), kMessage));
  EXPECT_TRUE(fake.live.empty());
}

TEST_F(InstallStateTest, AbandonedHookThatCannotBeRemovedKeepsRefusing) {
  ASSERT_TRUE(setHookWithMessage(window_.get(), kMessage));
  fake.threadTimeShift = 10000000;
  fake.stuck = {fake.byType[WH_SYSMSGFILTER]};
  EXPECT_FALSE(setHookWithMessage(other_.get(), kMessage));
  // Half-removed, with the old pair kept for a retry.
  EXPECT_EQ(fake.live, (std::set<HHOOK>{fake.byType[WH_SYSMSGFILTER]}));
  EXPECT_TRUE(unsetHookForWindow(other_.get(), kMessage));

  fake.stuck.clear();
  EXPECT_TRUE(setHookWithMessage(other_.get(), kMessage));
  EXPECT_TRUE(unsetHookForWindow(other_.get(), kMessage));
  EXPECT_TRUE(fake.live.empty());
}

BOOL WINAPI refusedFull(HWND, UINT, WPARAM, LPARAM) {
  SetLastError(ERROR_NOT_ENOUGH_QUOTA);
  return FALSE;
}

// A hook call that read the pair before its removal, refused after it.
BOOL WINAPI removedThenRefusedFull(HWND target, UINT message, WPARAM, LPARAM) {
  EXPECT_TRUE(unsetHookForWindow(target, message));
  return refusedFull(target, message, 0, 0);
}

BOOL WINAPI recordPost(HWND, UINT, WPARAM wParam, LPARAM lParam) {
  fake.posted.push_back(lumo::paintwatch::unpackReport(wParam, lParam));
  return TRUE;
}

// Here, with no other process to catch up first, the installations that
// follow a report a full queue refused: only the one it was refused to is
// owed an everything-changed report.
TEST_F(InstallStateTest, OnlyTheInstallationAFullQueueRefusedIsOwedEverything) {
  const lumo::test::UniqueWindow painted = lumo::test::createQuietWindow(WS_POPUP, 90, 80, 50, 30);
  CWPRETSTRUCT paint = {};
  paint.hwnd = painted.get();
  paint.message = WM_PAINT;
  const auto hookCall = [&paint] {
    fake.procedures[WH_CALLWNDPROCRET](HC_ACTION, 0, reinterpret_cast<LPARAM>(&paint));
  };
  const Rect client = lumo::test::expectedClientRect(painted.get());
  enum class Then { nothing, install, reinstall, takeOver };
  const struct {
    const char *what;
    BOOL(WINAPI *refusal)(HWND, UINT, WPARAM, LPARAM);
    Then then;
    std::vector<Rect> posted;
  } cases[] = {
      {"the same one", refusedFull, Then::nothing, {lumo::paintwatch::everythingChanged(), client}},
      {"removed and installed again", refusedFull, Then::reinstall, {client}},
      {"taken over", refusedFull, Then::takeOver, {client}},
      {"refused after its removal", removedThenRefusedFull, Then::install, {client}},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    fake.posted.clear();
    fake.threadTimeShift = 0;
    ASSERT_TRUE(setHookWithMessage(window_.get(), kMessage));
    hookSeam.postMessage = c.refusal;
    hookCall();
    hookSeam.postMessage = recordPost;
    if (c.then == Then::reinstall) {
      EXPECT_TRUE(unsetHookForWindow(window_.get(), kMessage));
    }
    if (c.then == Then::takeOver) {
      fake.threadTimeShift = 10000000;
    }
    if (c.then != Then::nothing) {
      EXPECT_TRUE(setHookWithMessage(other_.get(), kMessage));
    }
    hookCall();
    EXPECT_EQ(fake.posted, c.posted);
    EXPECT_TRUE(unsetHookForWindow(window_.get(), kMessage));
    EXPECT_TRUE(unsetHookForWindow(other_.get(), kMessage));
  }
}

}  // namespace
