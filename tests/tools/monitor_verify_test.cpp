// The monitor's coverage check against the real hooks: a window that draws
// without a painting message is missed where it drew, one repainted without
// change is over-reported, and one moved is covered once the damage
// tracker's additions join the reports, and copied by what a server would
// send for the tracker's frames; what a window closed or minimised left,
// which the system draws late, reaches the client's screen.

#include <gtest/gtest.h>

#include <windows.h>

#include <regex>
#include <sstream>
#include <string>

#include "monitor_child.h"
#include "test_support.h"

namespace {

using lumo::test::Child;

// At a place no other test window uses.
const int kLeft = 700;
const int kTop = 560;
const int kWidth = 200;
const int kHeight = 150;

// The peer's arguments for its window at that place.
std::wstring peerArguments(const wchar_t *mode, int seconds) {
  return std::wstring(mode) + L" " + std::to_wstring(kLeft) + L" " + std::to_wstring(kTop) + L" " +
         std::to_wstring(kWidth) + L" " + std::to_wstring(kHeight) + L" " +
         std::to_wstring(seconds);
}

std::string runPeer(const wchar_t *mode) {
  Child monitor(L"--build 64 --verify --duration 4");
  EXPECT_TRUE(monitor.says("watching 64-bit processes")) << monitor.err();
  const std::wstring peer = lumo::test::besideThisProgram(L"screen_peer.exe");
  EXPECT_EQ(lumo::test::runProcess(peer, L"\"" + peer + L"\" " + peerArguments(mode, 2)), 0u);
  EXPECT_EQ(monitor.finish(), 0u) << monitor.err();
  return monitor.err();
}

// The number after the text, or -1, also where no number follows: a failed
// read stores 0.
double numberAfter(const std::string &text, const std::string &before) {
  const std::size_t at = text.find(before);
  if (at == std::string::npos) {
    return -1;
  }
  std::istringstream in(text.substr(at + before.size()));
  double value = -1;
  return in >> value ? value : -1;
}

// The replica line's figures: the pixels it differs by from the screen at
// the end, and the most that were stale; -1 where the line is not in its
// checked form.
struct ReplicaFigures {
  double differing = -1;
  double stale = -1;
};

ReplicaFigures replicaFigures(const std::string &err) {
  static const std::regex line(
      "\nreplica: (\\d+) pixels differ from the screen at the end; at most (\\d+) pixels stale "
      "for more than two captures\r?\n");
  std::smatch match;
  if (!std::regex_search(err, match, line)) {
    return {};
  }
  return {std::stod(match[1]), std::stod(match[2])};
}

void expectReplicaRight(const std::string &err) {
  const ReplicaFigures figures = replicaFigures(err);
  EXPECT_EQ(figures.differing, 0) << err;
  EXPECT_EQ(figures.stale, 0) << err;
}

TEST(MonitorVerifyTest, AMovedWindowIsCoveredWithTheTrackersAdditions) {
  const std::string err = runPeer(L"move");
  const double reportsAlone = numberAfter(err, "\ncoverage: ");
  const double supplemented = numberAfter(err, "\ncoverage with supplement: ");
  EXPECT_GE(supplemented, 99) << err;
  EXPECT_GT(supplemented, reportsAlone) << err;
  // The line ends with the share of the screen the tracker added.
  EXPECT_GT(numberAfter(err, "tracker added "), 0) << err;
  // What a server would send moved the window as copies and kept a client's
  // screen right.
  EXPECT_GT(numberAfter(err, " moves copied "), 0) << err;
  expectReplicaRight(err);
  // The client's first picture, the whole screen, is not sent for a change.
  EXPECT_LT(numberAfter(err, ", sent "),
            GetSystemMetrics(SM_CXVIRTUALSCREEN) * GetSystemMetrics(SM_CYVIRTUALSCREEN))
      << err;
}

TEST(MonitorVerifyTest, DrawingWithoutAPaintingMessageIsMissedWhereItHappened) {
  const std::string err = runPeer(L"unseen");
  EXPECT_GT(numberAfter(err, "; "), 0) << err;
  // The largest missed area is the window's client area, which it kept
  // repainting through GetDC.
  const std::size_t at = err.find("missed changes, largest first: ");
  ASSERT_NE(at, std::string::npos) << err;
  std::istringstream area(err.substr(at + 31));
  int left, top, right, bottom;
  ASSERT_TRUE(area >> left >> top >> right >> bottom) << err;
  EXPECT_GE(left, kLeft);
  EXPECT_GE(top, kTop);
  EXPECT_LE(right, kLeft + kWidth);
  EXPECT_LE(bottom, kTop + kHeight);
  EXPECT_GT((right - left) * (bottom - top), kWidth * kHeight / 2) << err;
}

// The window is on the screen, repainted without change, from before the
// monitor starts until after it ends: every report the monitor counts is one of
// an unchanged area, however many repaints the machine manages.
std::string watchSteadyRepaints() {
  Child peer(peerArguments(L"repaint", 8), Child::Output::File, L"screen_peer.exe");
  for (ULONGLONG end = GetTickCount64() + 5000; GetTickCount64() < end; Sleep(50)) {
    const HWND window = FindWindowW(nullptr, L"Lumo repaint");
    if (window != nullptr && IsWindowVisible(window)) {
      break;
    }
  }
  // Until it has painted itself for the first time.
  Sleep(500);
  Child monitor(L"--build 64 --verify --duration 2");
  EXPECT_EQ(monitor.finish(), 0u) << monitor.err();
  peer.kill();
  return monitor.err();
}

TEST(MonitorVerifyTest, RepaintsThatChangeNothingAreOverReporting) {
  const std::string err = watchSteadyRepaints();
  EXPECT_GT(numberAfter(err, "did not change ("), 0) << err;
  EXPECT_GT(numberAfter(err, "over-reporting: "), 80) << err;
  EXPECT_NE(err.find("verify: a "), std::string::npos) << err;
}

// The peer's window leaves its place after a second over a striped window
// of the peer's; the peer outlasts the monitor, so that the end is at rest
// some seconds after the system drew what the window left.
std::string watchLeaving(const wchar_t *mode) {
  Child monitor(L"--build 64 --verify --duration 7");
  EXPECT_TRUE(monitor.says("watching 64-bit processes")) << monitor.err();
  Child peer(peerArguments(mode, 12), Child::Output::File, L"screen_peer.exe");
  EXPECT_EQ(monitor.finish(), 0u) << monitor.err();
  // Else the end would be before the window left.
  const HWND window = FindWindowW(nullptr, L"Lumo leaving window");
  EXPECT_TRUE(!IsWindowVisible(window) || IsIconic(window)) << "the window did not leave in time";
  peer.kill();
  return monitor.err();
}

TEST(MonitorVerifyTest, WhatAClosedWindowLeftReachesTheReplica) {
  expectReplicaRight(watchLeaving(L"close"));
}

TEST(MonitorVerifyTest, WhatAMinimisedWindowLeftReachesTheReplica) {
  expectReplicaRight(watchLeaving(L"minimise"));
}

// No report comes as the desktop is drawn, two seconds after the window
// went: a window that was once active waits that long for a window
// manager, which the tests' display has none of.
TEST(MonitorVerifyTest, TheDesktopAnInactiveWindowLeftReachesTheReplica) {
  expectReplicaRight(watchLeaving(L"close-behind"));
}

}  // namespace
