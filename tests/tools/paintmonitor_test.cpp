// Runs the monitor as a user would, with the demo window as the thing to watch.

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <sstream>
#include <string>

#include "monitor_child.h"
#include "paintwatch/paintwatch.h"
#include "server/server_object_names.h"
#include "test_support.h"

namespace {

using lumo::test::besideThisProgram;
using lumo::test::Child;
using lumo::test::readFile;
using lumo::test::UniqueHandle;

TEST(PaintMonitorTest, BadOptionsAreNamedAndExitWithTwo) {
  const struct {
    const wchar_t *arguments;
    const char *message;
  } cases[] = {
      {L"--frobnicate", "unknown option \"--frobnicate\""},
      {L"--duration", "--duration needs a value"},
      {L"--duration soon", "not \"soon\""},
      {L"--duration 0", "not \"0\""},
      {L"--duration 5x", "not \"5x\""},
      {L"--damage-map \"\"", "--damage-map needs a value, not an empty one"},
      {L"--build 48", "--build needs 64, 32 or both, not \"48\""},
  };
  for (const auto &c : cases) {
    Child child(c.arguments);
    ASSERT_TRUE(child.started());
    EXPECT_EQ(child.finish(), 2u) << c.message;
    EXPECT_NE(child.err().find(c.message), std::string::npos) << child.err();
  }
  Child help(L"--help");
  EXPECT_EQ(help.finish(), 0u);
  EXPECT_EQ(help.out().rfind("usage: paintmonitor", 0), 0u);
}

TEST(PaintMonitorTest, MissingOrForeignLibraryIsRefused) {
  Child missing(L"--library \"" + besideThisProgram(L"no-such-hooks.dll") + L"\"");
  EXPECT_EQ(missing.finish(), 1u);
  EXPECT_NE(missing.err().find("cannot find the hook library"), std::string::npos) << missing.err();
  // A line of the monitor's own, with the path in its place.
  EXPECT_EQ(missing.err().rfind("paintmonitor: cannot find the hook library ", 0), 0u)
      << missing.err();
  EXPECT_NE(missing.err().find("no-such-hooks.dll\r\n"), std::string::npos) << missing.err();

  Child foreign(L"--library C:\\windows\\system32\\version.dll");
  EXPECT_EQ(foreign.finish(), 1u);
  EXPECT_NE(foreign.err().find("is not the screen-hook library"), std::string::npos)
      << foreign.err();
  EXPECT_EQ(foreign.err(),
            "paintmonitor: C:\\windows\\system32\\version.dll is not the screen-hook library: it "
            "lacks setHookWithMessage or unsetHookForWindow\r\n");
}

TEST(PaintMonitorTest, HooksInstalledElsewhereAreReported) {
  const lumo::test::UniqueWindow target = lumo::test::createTargetWindow();
  const UINT message = RegisterWindowMessageW(L"lumo-test-other-owner");
  ASSERT_TRUE(setHookWithMessage(target.get(), message));
  Child child(L"--duration 5");
  const DWORD code = child.finish();
  EXPECT_TRUE(unsetHookForWindow(target.get(), message));
  EXPECT_EQ(code, 1u);
  EXPECT_NE(child.err().find("another program has them installed"), std::string::npos)
      << child.err();
}

TEST(PaintMonitorTest, ReportsTheDemoWindowAndStopsWhenInputCloses) {
  const std::wstring map = besideThisProgram(L"paintmonitor_test_map.png");
  DeleteFileW(map.c_str());
  Child child(L"--build 64 --window-title \"Lumo paint demo (64-bit)\" --damage-map \"" + map +
              L"\"");
  ASSERT_TRUE(child.started());
  Sleep(500);

  const std::wstring demo = besideThisProgram(L"paintdemo.exe");
  EXPECT_EQ(lumo::test::runProcess(demo, L"\"" + demo + L"\" 1.5"), 0u);

  child.closeInput();
  EXPECT_EQ(child.finish(), 0u) << child.err();

  std::istringstream lines(child.out());
  std::string line;
  int reports = 0;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    int left, top, right, bottom;
    std::string rest;
    ASSERT_TRUE(fields >> left >> top >> right >> bottom) << line;
    EXPECT_FALSE(fields >> rest) << line;
    ++reports;
  }
  EXPECT_GT(reports, 0);
  const std::string err = child.err();
  EXPECT_NE(err.find("summary: " + std::to_string(reports) + " reports"), std::string::npos) << err;
  EXPECT_EQ(err.find(", 0 of them inside"), std::string::npos) << err;
  EXPECT_NE(err.find("of them inside the window \"Lumo paint demo (64-bit)\"\r\n"),
            std::string::npos)
      << err;

  // A PNG of the whole virtual screen: signature, then the IHDR's size.
  const std::string png = readFile(map);
  DeleteFileW(map.c_str());
  ASSERT_GT(png.size(), 24u);
  EXPECT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
  auto bigEndian = [&png](size_t at) {
    return static_cast<int>(
        static_cast<unsigned char>(png[at]) << 24 | static_cast<unsigned char>(png[at + 1]) << 16 |
        static_cast<unsigned char>(png[at + 2]) << 8 | static_cast<unsigned char>(png[at + 3]));
  };
  EXPECT_EQ(bigEndian(16), GetSystemMetrics(SM_CXVIRTUALSCREEN));
  EXPECT_EQ(bigEndian(20), GetSystemMetrics(SM_CYVIRTUALSCREEN));

  // The monitor took its hooks down: the next owner gets them.
  const lumo::test::UniqueWindow target = lumo::test::createTargetWindow();
  const UINT message = RegisterWindowMessageW(L"lumo-test-next-owner");
  EXPECT_TRUE(setHookWithMessage(target.get(), message));
  EXPECT_TRUE(unsetHookForWindow(target.get(), message));
}

void runDemo(const wchar_t *file) {
  const std::wstring demo = besideThisProgram(file);
  EXPECT_EQ(lumo::test::runProcess(demo, L"\"" + demo + L"\" 1"), 0u) << file;
}

DWORD runLoader(const wchar_t *arguments) {
  const std::wstring loader = besideThisProgram(L"paintloader32.exe");
  return lumo::test::runProcess(loader, L"\"" + loader + L"\" " + arguments);
}

// Under Wine only processes of the bitness installed last are hooked, so
// the 32-bit demo runs while the loader's hooks are in place and the 64-bit
// one after the loader has left. On Windows both would report throughout.
void expectBothDemosReported(Child &monitor) {
  runDemo(L"paintdemo32.exe");
  EXPECT_EQ(runLoader(L"--close"), 0u);
  EXPECT_TRUE(monitor.says("the 32-bit hook loader ended (exit code 0)")) << monitor.err();
  runDemo(L"paintdemo.exe");
  monitor.closeInput();
  EXPECT_EQ(monitor.finish(), 0u) << monitor.err();
  const std::string err = monitor.err();
  EXPECT_NE(err.find("inside the window \"Lumo paint demo (64-bit)\""), std::string::npos) << err;
  EXPECT_NE(err.find("inside the window \"Lumo paint demo (32-bit)\""), std::string::npos) << err;
  EXPECT_EQ(err.find(" 0 of them inside"), std::string::npos) << err;
  EXPECT_EQ(err.find(" 0 inside"), std::string::npos) << err;
}

const wchar_t kBothDemos[] =
    L"--window-title \"Lumo paint demo (64-bit)\" --window-title \"Lumo paint demo (32-bit)\"";

class BothBuildsMonitorTest : public ::testing::Test {
protected:
  void SetUp() override {
    if (const char *why = std::getenv("LUMO_NO_32BIT")) {
      GTEST_SKIP() << "32-bit programs do not run here: " << why;
    }
  }
};

TEST_F(BothBuildsMonitorTest, ReportsTheDemoWindowsOfBothBitnesses) {
  Child monitor(kBothDemos);
  ASSERT_TRUE(monitor.says("watching 64-bit and 32-bit processes")) << monitor.err();
  expectBothDemosReported(monitor);
}

TEST_F(BothBuildsMonitorTest, KilledMonitorAndLoaderLockNobodyOut) {
  {
    Child killed(L"");
    ASSERT_TRUE(killed.says("watching 64-bit and 32-bit processes")) << killed.err();
    const std::wstring loaderWindow =
        lumo::server::ServerObjectNames::instance().hookLoaderWindowName;
    DWORD loaderId = 0;
    GetWindowThreadProcessId(FindWindowExW(HWND_MESSAGE, nullptr, nullptr, loaderWindow.c_str()),
                             &loaderId);
    const UniqueHandle loader(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, loaderId));
    ASSERT_TRUE(loader);
    TerminateProcess(loader.get(), 1);
    WaitForSingleObject(loader.get(), 10000);
    killed.kill();
  }
  Child monitor(kBothDemos);
  ASSERT_TRUE(monitor.says("watching 64-bit and 32-bit processes")) << monitor.err();
  expectBothDemosReported(monitor);
}

TEST(PaintMonitorTest, KilledMonitorLocksNobodyOut) {
  {
    Child killed(L"--build 64");
    ASSERT_TRUE(killed.says("watching 64-bit processes")) << killed.err();
    killed.kill();
  }
  Child monitor(L"--build 64 --window-title \"Lumo paint demo (64-bit)\"");
  ASSERT_TRUE(monitor.says("watching 64-bit processes")) << monitor.err();
  runDemo(L"paintdemo.exe");
  monitor.closeInput();
  EXPECT_EQ(monitor.finish(), 0u) << monitor.err();
  EXPECT_EQ(monitor.err().find(" 0 of them inside"), std::string::npos) << monitor.err();
}

// What a person typed comes back exactly, also beyond ASCII: UTF-8 in a
// file or a pipe.
TEST(PaintMonitorTest, TextBeyondAsciiComesBackAsTyped) {
  Child titled(L"--build 64 --duration 0.5 --window-title \"Fenster \u00FC \u20AC \u65E5\u672C\"");
  EXPECT_EQ(titled.finish(), 0u) << titled.err();
  EXPECT_NE(titled.err().find("inside the window \"Fenster \xC3\xBC \xE2\x82\xAC "
                              "\xE6\x97\xA5\xE6\x9C\xAC\" (never found)\r\n"),
            std::string::npos)
      << titled.err();

  const std::wstring library = besideThisProgram(L"Bibliothek \u00FC \u20AC.dll");
  Child missing(L"--build 64 --library \"" + library + L"\"");
  EXPECT_EQ(missing.finish(), 1u);
  EXPECT_NE(missing.err().find("Bibliothek \xC3\xBC \xE2\x82\xAC.dll\r\n"), std::string::npos)
      << missing.err();

  Child unknown(L"--\u00FCber");
  EXPECT_EQ(unknown.finish(), 2u);
  EXPECT_NE(unknown.err().find("unknown option \"--\xC3\xBC"
                               "ber\""),
            std::string::npos)
      << unknown.err();
}

}  // namespace
