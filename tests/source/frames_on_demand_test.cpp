// next() against a still desktop and a screen in memory, with no hooks:
// reports are posted to the source's window as the hooks post them. What
// it waits for, what it captures while nothing changes, and how it ends.

#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <future>

#include "paintwatch/report.h"
#include "screen_fakes.h"
#include "server/server_object_names.h"
#include "source/screen_source.h"

namespace {

using lumo::region::Rect;
using lumo::source::Clock;
using lumo::source::NextResult;
using lumo::source::SourceFrame;
using std::chrono::milliseconds;

class StillDesktop : public lumo::damage::DesktopSource {
public:
  lumo::damage::DesktopSnapshot snapshot(lumo::damage::ScreenRead) override {
    return {Rect(0, 0, 640, 480), {}, std::nullopt, {}, {}, {}};
  }
};

struct QuietSource {
  explicit QuietSource(Clock::duration minInterval = milliseconds(16))
      : source(settings(minInterval)) {}

  lumo::source::ScreenSourceSettings settings(Clock::duration minInterval) {
    lumo::source::ScreenSourceSettings s;
    s.watchOwnBitness = false;
    s.watch32 = false;
    s.minInterval = minInterval;
    s.capture = &screen;
    s.desktop = &desktop;
    return s;
  }

  // This process's source's window: other tests' sources may run beside.
  static HWND window() {
    HWND window = nullptr;
    DWORD owner = 0;
    do {
      window = FindWindowExW(nullptr, window, L"LumoScreenSource", nullptr);
      GetWindowThreadProcessId(window, &owner);
    } while (window != nullptr && owner != GetCurrentProcessId());
    return window;
  }

  void report(const Rect &rect) {
    const auto &names = lumo::server::ServerObjectNames::instance();
    const lumo::paintwatch::ReportParams params = lumo::paintwatch::packReport(rect);
    ASSERT_TRUE(PostMessageW(window(), names.hookUpdateMessage, params.wParam, params.lParam));
  }

  // Takes the first, whole frame and what it leaves watched.
  SourceFrame settle() {
    SourceFrame frame;
    EXPECT_EQ(source.next(milliseconds(2000), &frame), NextResult::frame);
    EXPECT_TRUE(frame.update.whole);
    while (source.next(milliseconds(300), &frame) == NextResult::frame) {
    }
    return frame;
  }

  StillDesktop desktop;
  lumo::test::MemoryScreen screen{0, 0, 640, 480};
  lumo::source::ScreenSource source;
};

TEST(FramesOnDemandTest, NothingIsCapturedWhileNothingChanges) {
  QuietSource quiet;
  quiet.settle();
  const int captures = quiet.screen.captures;
  SourceFrame frame;
  EXPECT_EQ(quiet.source.next(milliseconds(500), &frame), NextResult::timedOut);
  EXPECT_EQ(quiet.screen.captures, captures);
}

// Reports, one frame; then one more report, answered no sooner than the
// least interval after that frame, and soon after it.
TEST(FramesOnDemandTest, ReportsAreAnsweredByOneFrameNoSoonerThanTheLeastInterval) {
  for (const milliseconds least : {milliseconds(0), milliseconds(200)}) {
    QuietSource quiet(least);
    const std::uint64_t before = quiet.settle().sequence;
    // A careless program closing every window closes nothing here.
    SendMessageW(QuietSource::window(), WM_CLOSE, 0, 0);
    SourceFrame frame;
    quiet.screen.fill(Rect(10, 10, 50, 30), 0x123456);
    quiet.report(Rect(10, 10, 50, 30));
    quiet.report(Rect(100, 100, 120, 110));
    ASSERT_EQ(quiet.source.next(milliseconds(2000), &frame), NextResult::frame);
    const Clock::time_point first = Clock::now();
    EXPECT_EQ(frame.sequence, before + 1);
    EXPECT_NE(frame.firstReport, Clock::time_point());
    // The second report may be taken after the frame: it then comes next.
    EXPECT_FALSE(frame.hints.damage.empty());
    ASSERT_EQ(frame.update.areas.size(), 1u);
    EXPECT_EQ(frame.update.areas[0].place, Rect(10, 10, 50, 30));
    quiet.report(Rect(200, 200, 210, 210));
    ASSERT_EQ(quiet.source.next(milliseconds(2000), &frame), NextResult::frame);
    EXPECT_EQ(frame.sequence, before + 2);
    EXPECT_GE(Clock::now() - first, least);
    EXPECT_LT(Clock::now() - first, least + milliseconds(1000));
  }
}

TEST(FramesOnDemandTest, StoppingWakesAWaitingConsumer) {
  QuietSource quiet;
  quiet.settle();
  auto waiting = std::async(std::launch::async, [&quiet] {
    SourceFrame frame;
    return quiet.source.next(milliseconds(10000), &frame);
  });
  Sleep(100);
  const Clock::time_point stopping = Clock::now();
  EXPECT_TRUE(quiet.source.stop());
  ASSERT_EQ(waiting.wait_for(milliseconds(2000)), std::future_status::ready);
  EXPECT_EQ(waiting.get(), NextResult::stopped);
  EXPECT_LT(Clock::now() - stopping, milliseconds(2000));
}

}  // namespace
