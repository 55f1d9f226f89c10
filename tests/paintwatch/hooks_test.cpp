// Drives the hook library of this program's bitness in this process and in
// a second one. The hooks are installed system-wide, so these tests hold the
// hooks lock in ctest.

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "hook_processes.h"
#include "paintwatch/paintwatch.h"
#include "test_windows.h"

using lumo::region::Rect;
using lumo::test::UniqueWindow;

namespace {

const DWORD kFramed = WS_OVERLAPPEDWINDOW;

UINT registeredMessage(const wchar_t *name) { return RegisterWindowMessageW(name); }

std::vector<Rect> concat(std::vector<Rect> a, const std::vector<Rect> &b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

class ExportContractTest : public ::testing::Test {
protected:
  void TearDown() override {
    // Leave the desktop as found, whatever a failed expectation left behind.
    unsetHookForWindow(first_.get(), firstMessage_);
    unsetHookForWindow(second_.get(), secondMessage_);
  }

  UniqueWindow first_ = lumo::test::createTargetWindow();
  UniqueWindow second_ = lumo::test::createTargetWindow();
  UINT firstMessage_ = registeredMessage(L"lumo-test-first");
  UINT secondMessage_ = registeredMessage(L"lumo-test-second");
  UniqueWindow painted_ = lumo::test::createQuietWindow(kFramed, 301, 207, 250, 160);
};

TEST_F(ExportContractTest, OnlyRegisteredMessageNumbersAreAccepted) {
  EXPECT_FALSE(setHookWithMessage(first_.get(), 0xBFFF));
  EXPECT_FALSE(setHookWithMessage(first_.get(), 0x10000));
  EXPECT_FALSE(setHookWithMessage(first_.get(), 0));
  for (UINT message : {0xC000u, 0xFFFFu}) {
    ASSERT_TRUE(setHookWithMessage(first_.get(), message)) << message;
    EXPECT_TRUE(unsetHookForWindow(first_.get(), message)) << message;
  }
}

TEST_F(ExportContractTest, InvalidWindowIsRefusedAndChangesNothing) {
  HWND gone = lumo::test::createTargetWindow().get();  // destroyed at once
  EXPECT_FALSE(setHookWithMessage(gone, firstMessage_));
  EXPECT_FALSE(setHookWithMessage(nullptr, firstMessage_));
  // Still idle: the cleared pair matches, and a valid installation proceeds.
  EXPECT_TRUE(unsetHookForWindow(nullptr, 0));
  ASSERT_TRUE(setHookWithMessage(first_.get(), firstMessage_));
  EXPECT_TRUE(unsetHookForWindow(first_.get(), firstMessage_));
}

TEST_F(ExportContractTest, SecondInstallationIsRefusedAndTheFirstKeepsReporting) {
  ASSERT_TRUE(setHookWithMessage(first_.get(), firstMessage_));
  EXPECT_FALSE(setHookWithMessage(second_.get(), secondMessage_));
  EXPECT_FALSE(setHookWithMessage(first_.get(), firstMessage_));
  // Neither another caller's pair nor our window with another message
  // takes the hooks down.
  EXPECT_TRUE(unsetHookForWindow(second_.get(), secondMessage_));
  EXPECT_TRUE(unsetHookForWindow(first_.get(), secondMessage_));

  SendMessageW(painted_.get(), WM_PAINT, 0, 0);
  const Rect client = lumo::test::expectedClientRect(painted_.get());
  EXPECT_EQ(lumo::test::reportsInside(lumo::test::takeReports(first_.get(), firstMessage_),
                                      {painted_.get()}),
            std::vector<Rect>{client});
  EXPECT_TRUE(lumo::test::takeReports(second_.get(), secondMessage_).empty());

  ASSERT_TRUE(unsetHookForWindow(first_.get(), firstMessage_));
  SendMessageW(painted_.get(), WM_PAINT, 0, 0);
  EXPECT_TRUE(lumo::test::takeReports(first_.get(), firstMessage_).empty());
  // Idle again, so another caller may install now.
  ASSERT_TRUE(setHookWithMessage(second_.get(), secondMessage_));
  EXPECT_TRUE(unsetHookForWindow(second_.get(), secondMessage_));
}

TEST_F(ExportContractTest, UnsetInIdleWithTheClearedPairSucceeds) {
  EXPECT_TRUE(unsetHookForWindow(nullptr, 0));
  EXPECT_TRUE(unsetHookForWindow(first_.get(), firstMessage_));
}

class ReportTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_NE(target_, nullptr);
    ASSERT_TRUE(setHookWithMessage(target_.get(), message_));
    lumo::test::takeReports(target_.get(), message_);
  }
  void TearDown() override { EXPECT_TRUE(unsetHookForWindow(target_.get(), message_)); }

  std::vector<Rect> reportsFor(const std::vector<HWND> &windows) {
    return lumo::test::reportsInside(lumo::test::takeReports(target_.get(), message_), windows);
  }

  UniqueWindow target_ = lumo::test::createTargetWindow();
  UINT message_ = registeredMessage(L"lumo-test-hook-update");
};

TEST_F(ReportTest, EachWatchedMessageReportsItsRectanglesInOrder) {
  UniqueWindow window = lumo::test::createQuietWindow(kFramed, 413, 121, 320, 240);
  UniqueWindow button = lumo::test::createQuietWindow(WS_CHILD, 20, 30, 90, 25, window.get(), 7);
  HWND w = window.get();
  const std::vector<Rect> client = {lumo::test::expectedClientRect(w)};
  const std::vector<Rect> frame = lumo::test::expectedNonClientRects(w);
  ASSERT_EQ(frame.size(), 4u) << "the framed window should have a frame on all sides";

  DRAWITEMSTRUCT item = {};
  item.CtlType = ODT_BUTTON;
  item.CtlID = 7;
  item.hwndItem = button.get();
  item.rcItem = {0, 0, 5, 5};

  struct Case {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    std::vector<Rect> expected;
  };
  const Case cases[] = {
      {WM_ACTIVATE, WA_ACTIVE, 0, client},
      {WM_PAINT, 0, 0, client},
      {WM_ERASEBKGND, 0, 0, client},
      {WM_DRAWITEM,
       7,
       reinterpret_cast<LPARAM>(&item),
       {lumo::test::expectedWindowRect(button.get())}},
      {WM_NCPAINT, 1, 0, frame},
      {WM_NCACTIVATE, TRUE, 0, frame},
      {0x0092, 0, 0, concat(client, frame)},
      {WM_HSCROLL, SB_LINERIGHT, 0, frame},
      {WM_VSCROLL, SB_LINEDOWN, 0, frame},
      {WM_CTLCOLOREDIT, 0, 0, client},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.message);
    SendMessageW(w, c.message, c.wParam, c.lParam);
    EXPECT_EQ(reportsFor({w}), c.expected);
  }
}

TEST_F(ReportTest, OtherMessagesReportNothing) {
  UniqueWindow window = lumo::test::createQuietWindow(kFramed, 200, 100, 300, 200);
  for (UINT message :
       std::initializer_list<UINT>{WM_NULL, WM_MOVE, WM_SIZE, 0x0091, 0x0093, WM_CTLCOLORBTN,
                                   WM_CTLCOLORSTATIC, WM_MOUSEMOVE, WM_TIMER, WM_USER}) {
    SCOPED_TRACE(message);
    SendMessageW(window.get(), message, 0, 0);
    EXPECT_TRUE(reportsFor({window.get()}).empty());
  }
}

TEST_F(ReportTest, DrawItemForAMenuOrWithoutAStructureReportsNothing) {
  UniqueWindow window = lumo::test::createQuietWindow(kFramed, 200, 100, 300, 200);
  UniqueWindow button = lumo::test::createQuietWindow(WS_CHILD, 5, 5, 50, 20, window.get(), 3);
  DRAWITEMSTRUCT item = {};
  item.CtlType = ODT_MENU;
  item.hwndItem = button.get();
  SendMessageW(window.get(), WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&item));
  SendMessageW(window.get(), WM_DRAWITEM, 3, 0);
  EXPECT_TRUE(reportsFor({window.get()}).empty());
}

TEST_F(ReportTest, MessageFilterHookReportsForDialogMenuAndScrollBarCodesOnly) {
  UniqueWindow window = lumo::test::createQuietWindow(kFramed, 250, 150, 300, 200);
  MSG msg = {};
  msg.hwnd = window.get();
  msg.message = WM_PAINT;
  const std::vector<Rect> client = {lumo::test::expectedClientRect(window.get())};
  for (int code : {MSGF_DIALOGBOX, MSGF_MENU, MSGF_SCROLLBAR}) {
    SCOPED_TRACE(code);
    CallMsgFilterW(&msg, code);
    EXPECT_EQ(reportsFor({window.get()}), client);
  }
  for (int code : {MSGF_MESSAGEBOX, 3, 4, MSGF_NEXTWINDOW, MSGF_USER}) {
    SCOPED_TRACE(code);
    CallMsgFilterW(&msg, code);
    EXPECT_TRUE(reportsFor({window.get()}).empty());
  }
}

TEST_F(ReportTest, PaintPeekedAndThenRetrievedIsReportedTwice) {
  UniqueWindow window = lumo::test::createQuietWindow(kFramed, 180, 90, 300, 200);
  ASSERT_TRUE(PostMessageW(window.get(), WM_PAINT, 0, 0));
  MSG msg;
  ASSERT_TRUE(PeekMessageW(&msg, window.get(), WM_PAINT, WM_PAINT, PM_NOREMOVE));
  ASSERT_GT(GetMessageW(&msg, window.get(), WM_PAINT, WM_PAINT), 0);
  const Rect client = lumo::test::expectedClientRect(window.get());
  EXPECT_EQ(reportsFor({window.get()}), (std::vector<Rect>{client, client}));
}

TEST_F(ReportTest, WindowLeftOfTheScreenTravelsAsSixteenBitTwosComplement) {
  UniqueWindow window = lumo::test::createQuietWindow(WS_POPUP, -50, 60, 200, 100);
  ASSERT_EQ(lumo::test::expectedWindowRect(window.get()), Rect(-50, 60, 150, 160));
  SendMessageW(window.get(), WM_PAINT, 0, 0);
  MSG msg;
  std::vector<MSG> ours;
  while (PeekMessageW(&msg, target_.get(), message_, message_, PM_REMOVE)) {
    if (msg.wParam == ((0xFFCEu << 16) | 60)) {
      ours.push_back(msg);
    }
  }
  ASSERT_EQ(ours.size(), 1u);
  EXPECT_EQ(static_cast<unsigned long long>(ours[0].lParam), (150ull << 16) | 160);
}

TEST_F(ReportTest, MinimisedWindowReportsItsWholeWindowAsFrame) {
  UniqueWindow window = lumo::test::createQuietWindow(kFramed | WS_MINIMIZE, 300, 300, 300, 200);
  ASSERT_TRUE(lumo::test::expectedClientRect(window.get()).isEmpty());
  SendMessageW(window.get(), WM_NCPAINT, 1, 0);
  EXPECT_EQ(reportsFor({window.get()}),
            std::vector<Rect>{lumo::test::expectedWindowRect(window.get())});
}

// A second process paints a borderless window at a place no other window
// uses; its report can only come through the shared section.
TEST_F(ReportTest, ReportsArriveFromAnotherProcess) {
  const std::wstring peer = lumo::test::besideThisProgram(L"hook_peer.exe");
  std::wstring commandLine = L"\"" + peer + L"\" 517 333 91 47";

  ASSERT_EQ(lumo::test::runProcess(peer, commandLine), 0u);

  const Rect expected(517, 333, 608, 380);
  std::vector<Rect> matching;
  for (int attempt = 0; attempt < 50 && matching.empty(); ++attempt) {
    for (const Rect &report : lumo::test::takeReports(target_.get(), message_)) {
      if (report == expected) {
        matching.push_back(report);
      }
    }
    Sleep(20);
  }
  EXPECT_EQ(matching, std::vector<Rect>{expected});
}

// An installer that ends without removing its hooks must not lock every
// later caller out; a live one still refuses them.
class AbandonedInstallationTest : public ::testing::Test {
protected:
  void TearDown() override { unsetHookForWindow(next_.get(), nextMessage_); }

  // The next installer is accepted, its hooks report, and it can leave.
  void expectNextInstallerReports() {
    ASSERT_TRUE(setHookWithMessage(next_.get(), nextMessage_));
    lumo::test::takeReports(next_.get(), nextMessage_);
    UniqueWindow painted = lumo::test::createQuietWindow(kFramed, 333, 222, 200, 150);
    SendMessageW(painted.get(), WM_PAINT, 0, 0);
    EXPECT_EQ(lumo::test::reportsInside(lumo::test::takeReports(next_.get(), nextMessage_),
                                        {painted.get()}),
              std::vector<Rect>{lumo::test::expectedClientRect(painted.get())});
    EXPECT_TRUE(unsetHookForWindow(next_.get(), nextMessage_));
  }

  UniqueWindow first_ = lumo::test::createTargetWindow();
  UniqueWindow next_ = lumo::test::createTargetWindow();
  UINT firstMessage_ = registeredMessage(L"lumo-test-first-installer");
  UINT nextMessage_ = registeredMessage(L"lumo-test-next-installer");
};

TEST_F(AbandonedInstallationTest, InstallingThreadThatEndedIsReplaced) {
  bool installed = false;
  std::thread([&] { installed = setHookWithMessage(first_.get(), firstMessage_); }).join();
  ASSERT_TRUE(installed);
  expectNextInstallerReports();
  // The old pair is no longer the stored one: its removal changes nothing.
  EXPECT_TRUE(unsetHookForWindow(first_.get(), firstMessage_));
}

TEST_F(AbandonedInstallationTest, DeadInstallersOwnPairStillRemovesItsHooks) {
  bool installed = false;
  std::thread([&] { installed = setHookWithMessage(first_.get(), firstMessage_); }).join();
  ASSERT_TRUE(installed);
  // Hooks that went with their thread count as removed, not as a failure.
  EXPECT_TRUE(unsetHookForWindow(first_.get(), firstMessage_));
  expectNextInstallerReports();
}

TEST_F(AbandonedInstallationTest, KilledInstallerProcessIsReplaced) {
  lumo::test::PeerInstaller peer(first_.get(), firstMessage_);
  ASSERT_TRUE(peer.started());
  EXPECT_FALSE(setHookWithMessage(next_.get(), nextMessage_));
  EXPECT_FALSE(setHookWithMessage(first_.get(), firstMessage_));
  peer.kill();
  expectNextInstallerReports();
}

TEST_F(AbandonedInstallationTest, LiveInstallerWhoseWindowIsGoneIsReplaced) {
  lumo::test::PeerInstaller peer(first_.get(), firstMessage_);
  ASSERT_TRUE(peer.started());
  first_.reset();
  expectNextInstallerReports();
}

}  // namespace
