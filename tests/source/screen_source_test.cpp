// The screen source as a server runs it, under Wine: started and stopped
// many times, its server killed, a hung program in front, and a consumer
// slower than the changes.

#include <gtest/gtest.h>

#include <windows.h>

#include <tlhelp32.h>

#include <atomic>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdio>
#include <string>

#include "frames/gdi_screen_capture.h"
#include "frames/pixel_compare.h"
#include "heap_in_use.h"
#include "source/hook_library.h"
#include "source/screen_source.h"
#include "test_support.h"

namespace {

using lumo::source::Clock;
using lumo::source::NextResult;
using lumo::source::ScreenSource;
using lumo::source::ScreenSourceSettings;
using lumo::source::SourceFrame;
using lumo::test::UniqueHandle;
using lumo::test::UniqueWindow;
using std::chrono::milliseconds;

int processesNamed(const wchar_t *name) {
  const UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof entry;
  int count = 0;
  for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
       more = Process32NextW(snapshot.get(), &entry)) {
    count += _wcsicmp(entry.szExeFile, name) == 0;
  }
  return count;
}

// The hooks of this process's bitness, installed for a window of the test's
// own while it lives.
struct HeldHooks {
  HeldHooks() : hooks(lumo::test::besideThisProgram(L"paintwatch64.dll")) {}
  bool hold() {
    return hooks.install(target.get(), RegisterWindowMessageW(L"lumo-test-source")) ==
           lumo::source::HookLibrary::Outcome::Installed;
  }

  UniqueWindow target = lumo::test::createTargetWindow();
  lumo::source::HookLibrary hooks;
};

bool hooksAreFree() {
  HeldHooks hooks;
  return hooks.hold() && hooks.hooks.remove();
}

// A peer started with an inheritable event it sets once it is where the
// test wants it.
UniqueHandle startPeer(const wchar_t *mode) {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  const UniqueHandle ready(CreateEventW(&inherit, TRUE, FALSE, nullptr));
  std::wstring line = L"source_peer " + std::wstring(mode) + L" " +
                      std::to_wstring(reinterpret_cast<std::uintptr_t>(ready.get()));
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  if (!CreateProcessW(lumo::test::besideThisProgram(L"source_peer.exe").c_str(), &line[0], nullptr,
                      nullptr, TRUE, 0, nullptr, nullptr, &startup, &info)) {
    ADD_FAILURE() << "cannot start the peer: " << GetLastError();
    return UniqueHandle();
  }
  CloseHandle(info.hThread);
  UniqueHandle process(info.hProcess);
  const HANDLE handles[] = {ready.get(), process.get()};
  EXPECT_EQ(WaitForMultipleObjects(2, handles, FALSE, 30000), WAIT_OBJECT_0) << "peer " << mode;
  return process;
}

lumo::source::StartStep failedStep(const ScreenSourceSettings &settings) {
  try {
    ScreenSource source{settings};
  } catch (const lumo::source::StartError &e) {
    return e.step();
  }
  return lumo::source::StartStep::resources;
}

// Each failure names its step and leaves nothing behind: no hooks, no
// loader, no window for a loader to find.
TEST(ScreenSourceTest, AFailedStartNamesItsStepAndUndoesWhatItDid) {
  using lumo::source::StartStep;
  const auto withLibrary = [](const std::wstring &path) {
    ScreenSourceSettings settings;
    settings.hookLibrary = path;
    settings.watch32 = false;
    return settings;
  };
  ScreenSourceSettings only32;
  only32.watchOwnBitness = false;
  const ScreenSource first{only32};
  const struct {
    const char *what;
    ScreenSourceSettings settings;
    bool holdHooks;
    StartStep step;
  } cases[] = {
      {"missing", withLibrary(lumo::test::besideThisProgram(L"no-such-hooks.dll")), false,
       StartStep::libraryMissing},
      {"32-bit", withLibrary(lumo::test::besideThisProgram(L"paintwatch32.dll")), false,
       StartStep::libraryOtherBitness},
      {"not hooks", withLibrary(L"C:\\windows\\system32\\version.dll"), false,
       StartStep::notHookLibrary},
      {"held", ScreenSourceSettings(), true, StartStep::hooksRefused},
      {"32-bit held", only32, false, StartStep::loaderNotStarted},
  };
  const bool runs32 = first.watching32();
  for (const auto &c : cases) {
    if (c.step == StartStep::loaderNotStarted && !runs32) {
      continue;  // no loader runs here to hold the 32-bit hooks
    }
    {
      HeldHooks holder;
      ASSERT_TRUE(!c.holdHooks || holder.hold()) << c.what;
      EXPECT_EQ(failedStep(c.settings), c.step) << c.what;
    }
    EXPECT_TRUE(hooksAreFree()) << c.what;
    EXPECT_EQ(processesNamed(L"paintloader32.exe"), runs32 ? 1 : 0) << c.what;
  }
}

TEST(ScreenSourceTest, StartingAndStoppingAHundredTimesLeavesNothingBehind) {
  const auto rounds = [](int count) {
    for (int i = 0; i < count; ++i) {
      ScreenSource source{ScreenSourceSettings()};
      SourceFrame frame;
      if (i % 10 == 0) {
        EXPECT_EQ(source.next(milliseconds(2000), &frame), NextResult::frame);
      }
      EXPECT_TRUE(source.stop());
    }
  };
  rounds(5);  // the system's caches and the runtime settle first
  const SIZE_T heapBefore = heapBytesInUse();
  const std::size_t handlesBefore = lumo::test::handleMeasure();
  const DWORD gdiBefore = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
  rounds(100);
  EXPECT_LE(heapBytesInUse(), heapBefore + 64 * 1024);
  EXPECT_LE(lumo::test::handleMeasure(), handlesBefore + 20);
  EXPECT_LE(GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS), gdiBefore + 4);
  EXPECT_TRUE(hooksAreFree());
  EXPECT_EQ(processesNamed(L"paintloader32.exe"), 0);
}

TEST(ScreenSourceTest, AKilledServersHooksPassToTheNextSource) {
  const UniqueHandle peer = startPeer(L"consume");
  const bool peerWatched32 = processesNamed(L"paintloader32.exe") == 1;
  TerminateProcess(peer.get(), 1);
  WaitForSingleObject(peer.get(), 10000);
  ScreenSource source{ScreenSourceSettings()};
  EXPECT_EQ(source.watching32(), peerWatched32)
      << std::string(source.why32NotWatched().begin(), source.why32NotWatched().end());
  SourceFrame frame;
  EXPECT_EQ(source.next(milliseconds(5000), &frame), NextResult::frame);
  EXPECT_TRUE(frame.update.whole);
  EXPECT_TRUE(source.stop());
}

TEST(ScreenSourceTest, AHungProgramInFrontStallsNeitherFramesNorTheStop) {
  const UniqueHandle peer = startPeer(L"hung");
  const Clock::time_point started = Clock::now();
  {
    ScreenSource source{ScreenSourceSettings()};
    SourceFrame frame;
    EXPECT_EQ(source.next(milliseconds(3000), &frame), NextResult::frame);
    for (int i = 0; i < 10; ++i) {
      source.next(milliseconds(100), &frame);
    }
    EXPECT_TRUE(source.stop());
  }
  EXPECT_LT(Clock::now() - started, std::chrono::seconds(10));
  TerminateProcess(peer.get(), 1);
}

// Frames do not queue: one frame after a window came and changed four
// times holds it all.
TEST(ScreenSourceTest, ASlowConsumersFrameHoldsEverythingSinceItsLast) {
  // Under Wine only the build installed last is hooked: the 64-bit one here.
  ScreenSourceSettings settings;
  settings.watch32 = false;
  ScreenSource source{settings};
  SourceFrame frame;
  lumo::frames::PixelImage client;
  ASSERT_EQ(source.next(milliseconds(5000), &frame), NextResult::frame);
  lumo::frames::applyUpdate(frame.update, &client);
  // What the first frame leaves watched comes out before the changes.
  while (source.next(milliseconds(500), &frame) == NextResult::frame) {
    lumo::frames::applyUpdate(frame.update, &client);
  }
  const std::uint64_t before = frame.sequence;
  const Clock::time_point changed = Clock::now();
  const UniqueHandle peer = startPeer(L"paint");
  ASSERT_EQ(source.next(milliseconds(1000), &frame), NextResult::frame);
  lumo::frames::applyUpdate(frame.update, &client);
  EXPECT_EQ(frame.sequence, before + 1);
  EXPECT_GE(frame.firstReport, changed);
  EXPECT_LE(frame.firstReport, Clock::now());

  const lumo::region::Rect onScreen(200, 150, 520, 390);
  lumo::frames::PixelImage screen(onScreen.getWidth(), onScreen.getHeight());
  lumo::frames::GdiScreenCapture capture;
  ASSERT_TRUE(capture.capture(onScreen, &screen, 0, 0));
  const int left = onScreen.left - frame.virtualScreen.left;
  const int top = onScreen.top - frame.virtualScreen.top;
  int differing = 0;
  for (int y = 0; y < screen.height(); ++y) {
    for (int x = 0; x < screen.width(); ++x) {
      differing += lumo::frames::coloursDiffer(screen.row(y)[x], client.row(top + y)[left + x]);
    }
  }
  EXPECT_EQ(differing, 0);
  TerminateProcess(peer.get(), 1);
}

}  // namespace
