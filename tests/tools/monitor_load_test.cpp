// The monitor under load: a program paints many windows as fast as it can
// and knows how many reports it caused; the monitor must receive every one,
// also when nobody reads its output in time, and end on time.

#include <gtest/gtest.h>

#include <windows.h>

#include <sstream>
#include <string>

#include "monitor_child.h"
#include "test_support.h"

namespace {

using lumo::test::Child;

const wchar_t kMonitorArguments[] = L"--build 64 --duration 6 --window-title \"Lumo load\"";
const DWORD kDurationMs = 6000;

// How many WM_PAINTs the load peer sent, and so reports it caused.
unsigned long runLoad() {
  Child peer(L"load 50 3", Child::Output::File, L"screen_peer.exe");
  EXPECT_EQ(peer.finish(30000), 0u);
  return std::stoul(peer.out());
}

// From the summary's line "reports: ... per second over ... s; N inside the
// window "Lumo load"".
unsigned long reportsInside(const std::string &err) {
  const std::size_t line = err.find("\nreports: ");
  const std::size_t start = err.find("; ", line);
  if (line == std::string::npos || start == std::string::npos) {
    return 0;
  }
  return std::stoul(err.substr(start + 2));
}

TEST(MonitorLoadTest, EveryReportOfAFastPainterArrives) {
  Child monitor(kMonitorArguments);
  ASSERT_TRUE(monitor.says("watching 64-bit processes")) << monitor.err();
  const unsigned long sent = runLoad();
  EXPECT_GT(sent, 1000u);
  ASSERT_EQ(monitor.finish(), 0u) << monitor.err();
  EXPECT_EQ(reportsInside(monitor.err()), sent) << monitor.err();
  EXPECT_EQ(monitor.err().find("dropped"), std::string::npos) << monitor.err();
}

TEST(MonitorLoadTest, ASlowReaderCostsOutputLinesButNoReportsAndNoTime) {
  const ULONGLONG started = GetTickCount64();
  Child monitor(kMonitorArguments, Child::Output::SlowReader);
  ASSERT_TRUE(monitor.says("watching 64-bit processes")) << monitor.err();
  const unsigned long sent = runLoad();
  ASSERT_EQ(monitor.finish(), 0u) << monitor.err();
  EXPECT_LT(GetTickCount64() - started, kDurationMs + 4000) << "the monitor overran its duration";
  // How many lines the reader missed depends on how much the pipe holds;
  // ReportOutputTest counts those.
  EXPECT_EQ(reportsInside(monitor.err()), sent) << monitor.err();
}

}  // namespace
