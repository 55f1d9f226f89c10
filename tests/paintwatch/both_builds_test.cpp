// Both builds installed at once, as the server drives them: this 64-bit
// process installs paintwatch64.dll, the 32-bit loader paintwatch32.dll,
// both for one 64-bit window. How the two chains meet differs between
// platforms (under Wine only processes of the bitness installed last are
// hooked; on Windows both are), so only what holds on both is asserted.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "hook_processes.h"
#include "paintwatch/paintwatch.h"
#include "server/server_object_names.h"
#include "test_windows.h"
#include "util/text_conversion.h"
#include "win/argument_quoting.h"

using lumo::region::Rect;
using lumo::server::ServerObjectNames;
using lumo::test::UniqueHandle;
using lumo::test::UniqueWindow;

namespace {

// Places no other window of the tests uses, one per bitness.
const Rect kPlace64(517, 333, 608, 380);
const Rect kPlace32(611, 383, 702, 430);

// paintloader32, started as the monitor starts it.
class Loader {
public:
  Loader() {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    const UniqueHandle ready(CreateEventW(&inherit, TRUE, FALSE, nullptr));
    const std::wstring program = lumo::test::besideThisProgram(L"paintloader32.exe");
    std::wstring commandLine = lumo::win::quoteArgument(program) + L" --ready-event " +
                               std::to_wstring(reinterpret_cast<uintptr_t>(ready.get()));
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    if (!CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr,
                        nullptr, &startup, &info)) {
      return;
    }
    process_.reset(info.hProcess);
    const UniqueHandle thread(info.hThread);
    const HANDLE handles[] = {ready.get(), process_.get()};
    installed_ = WaitForMultipleObjects(2, handles, FALSE, 10000) == WAIT_OBJECT_0;
  }
  ~Loader() {
    if (process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT) {
      TerminateProcess(process_.get(), 1);
    }
  }

  bool installed() const { return installed_; }

  // Asks it to leave as a user would, with `paintloader32 --close`; the
  // loader's own exit code, ~0u if it did not end.
  DWORD close() {
    const std::wstring program = lumo::test::besideThisProgram(L"paintloader32.exe");
    if (lumo::test::runProcess(program, lumo::win::quoteArgument(program) + L" --close") != 0 ||
        WaitForSingleObject(process_.get(), 10000) != WAIT_OBJECT_0) {
      return ~0u;
    }
    DWORD code = ~0u;
    GetExitCodeProcess(process_.get(), &code);
    return code;
  }

private:
  UniqueHandle process_;
  bool installed_ = false;
};

class BothBuildsTest : public ::testing::Test {
protected:
  void SetUp() override {
    if (const char *why = std::getenv("LUMO_NO_32BIT")) {
      GTEST_SKIP() << "32-bit programs do not run here: " << why;
    }
    ASSERT_NE(target_, nullptr);
    ASSERT_NE(message_, 0u);
  }
  void TearDown() override { unsetHookForWindow(target_.get(), message_); }

  bool reportArrives(const wchar_t *peer, const Rect &place) {
    lumo::test::takeReports(target_.get(), message_);
    return lumo::test::paintFromPeer(peer, place) &&
           lumo::test::reportArrives(target_.get(), message_, place);
  }

  const ServerObjectNames &names_ = ServerObjectNames::instance();
  // Named as the server's window, where the loader looks for it.
  UniqueWindow target_{
      CreateWindowExW(0, L"STATIC", lumo::toUtf16(names_.hookTargetWindowName).c_str(), 0, 0, 0, 0,
                      0, HWND_MESSAGE, nullptr, GetModuleHandleW(nullptr), nullptr)};
  UINT message_ = names_.hookUpdateMessage;
  UniqueWindow other_ = lumo::test::createTargetWindow();
};

TEST_F(BothBuildsTest, ThirtyTwoBitInstalledAfterSixtyFourLeavesItAlone) {
  ASSERT_TRUE(setHookWithMessage(target_.get(), message_));
  Loader loader;
  ASSERT_TRUE(loader.installed()) << "the 64-bit installation refused the 32-bit one";
  EXPECT_TRUE(reportArrives(L"hook_peer32.exe", kPlace32));
  // The 64-bit installation is still in place and still exclusive.
  EXPECT_FALSE(setHookWithMessage(other_.get(), message_));

  EXPECT_EQ(loader.close(), 0u);
  EXPECT_TRUE(reportArrives(L"hook_peer.exe", kPlace64));
  EXPECT_TRUE(unsetHookForWindow(target_.get(), message_));
}

TEST_F(BothBuildsTest, SixtyFourBitInstalledAfterThirtyTwoLeavesItAlone) {
  Loader loader;
  ASSERT_TRUE(loader.installed());
  ASSERT_TRUE(setHookWithMessage(target_.get(), message_))
      << "the 32-bit installation refused the 64-bit one";
  EXPECT_TRUE(reportArrives(L"hook_peer.exe", kPlace64));

  ASSERT_TRUE(unsetHookForWindow(target_.get(), message_));
  // The 32-bit installation is still in place: its processes report, and a
  // second 32-bit installer is refused.
  EXPECT_TRUE(reportArrives(L"hook_peer32.exe", kPlace32));
  Loader second;
  EXPECT_FALSE(second.installed());
  EXPECT_EQ(loader.close(), 0u);
}

}  // namespace
