// The monitor's check of a moved window, in the session whose second monitor
// is left of the primary: the window goes from that monitor, at negative x,
// onto the primary and back, so the tracker's places, the copies a server
// would send and the client's replica all cross the border between them.

#include <gtest/gtest.h>

#include <windows.h>

#include <regex>
#include <string>

#include "monitor_child.h"
#include "test_support.h"

namespace {

using lumo::test::Child;

// screen_peer's move goes 61 pixels right and 59 back: 50 pixels wide, the
// window is wholly on the left monitor at its first place and wholly on the
// primary at its second, and later straddles the border.
const int kLeft = -55;
const int kTop = 560;
const int kWidth = 50;
const int kHeight = 150;
const int kStep = 61;

// The first number the pattern captures, or -1 where no line has its form.
double figure(const std::string &text, const char *pattern) {
  std::smatch match;
  if (!std::regex_search(text, match, std::regex(pattern))) {
    return -1;
  }
  return std::stod(match[1].str());
}

TEST(TwoMonitorsTest, AWindowMovedAcrossTheBorderIsCoveredAndCopied) {
  const int screenLeft = GetSystemMetrics(SM_XVIRTUALSCREEN);
  const int screenWidth = GetSystemMetrics(SM_CXVIRTUALSCREEN);
  const int screenHeight = GetSystemMetrics(SM_CYVIRTUALSCREEN);
  ASSERT_LT(screenLeft, 0) << "the virtual screen starts at x " << screenLeft
                           << ": this session has no monitor left of the primary";
  const struct {
    const char *corner;
    POINT point;
    bool primary;
  } places[] = {
      {"first place, top left", {kLeft, kTop}, false},
      {"first place, bottom right", {kLeft + kWidth - 1, kTop + kHeight - 1}, false},
      {"second place, top left", {kLeft + kStep, kTop}, true},
      {"second place, bottom right", {kLeft + kStep + kWidth - 1, kTop + kHeight - 1}, true},
  };
  for (const auto &place : places) {
    MONITORINFO info = {};
    info.cbSize = sizeof info;
    const HMONITOR monitor = MonitorFromPoint(place.point, MONITOR_DEFAULTTONULL);
    ASSERT_TRUE(monitor != nullptr && GetMonitorInfoW(monitor, &info))
        << place.corner << " is on no monitor";
    EXPECT_EQ((info.dwFlags & MONITORINFOF_PRIMARY) != 0, place.primary) << place.corner;
  }

  Child monitor(L"--build 64 --verify --duration 4");
  EXPECT_TRUE(monitor.says("watching 64-bit processes")) << monitor.err();
  const std::wstring peer = lumo::test::besideThisProgram(L"screen_peer.exe");
  const std::wstring arguments = L"move " + std::to_wstring(kLeft) + L" " + std::to_wstring(kTop) +
                                 L" " + std::to_wstring(kWidth) + L" " + std::to_wstring(kHeight) +
                                 L" 2";
  EXPECT_EQ(lumo::test::runProcess(peer, L"\"" + peer + L"\" " + arguments), 0u);
  EXPECT_EQ(monitor.finish(), 0u) << monitor.err();
  const std::string err = monitor.err();

  // Both monitors captured, or the left one's changes went unchecked.
  EXPECT_NE(err.find("\nverify: a " + std::to_string(screenWidth) + "x" +
                     std::to_string(screenHeight) + " capture "),
            std::string::npos)
      << err;
  const double supplemented = figure(err, "\ncoverage with supplement: ([0-9.]+)% ");
  EXPECT_GE(supplemented, 99) << err;
  EXPECT_GT(supplemented, figure(err, "\ncoverage: ([0-9.]+)% ")) << err;
  EXPECT_GT(figure(err, "the tracker added ([0-9.]+)% of the screen"), 0) << err;
  EXPECT_GT(figure(err, "\nframes: .*; ([0-9]+) moves copied "), 0) << err;
  EXPECT_EQ(figure(err, "\nreplica: ([0-9]+) pixels differ from the screen at the end;"), 0) << err;
  // The client's first picture, the whole screen, is not sent for a change.
  const double sent = figure(err, "\nframes: .*, sent ([0-9]+), ");
  EXPECT_GE(sent, 0) << err;
  EXPECT_LT(sent, static_cast<double>(screenWidth) * screenHeight) << err;
}

}  // namespace
