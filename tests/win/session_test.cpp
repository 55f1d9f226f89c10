#include <gtest/gtest.h>

#include <algorithm>

#include "fake_sessions.h"
#include "util/exception.h"
#include "util/text_conversion.h"
#include "win/platform_seam.h"
#include "win/session.h"
#include "win/windows_version.h"

namespace lumo {
namespace {

using test::fakeServices;
using SessionChoice = test::FakeSessionsTest;

bool logged(const test::RecordingSink &sink, const std::string &line) {
  return std::find(sink.lines.begin(), sink.lines.end(), line) != sink.lines.end();
}

TEST_F(SessionChoice, ActiveRemoteDesktopSessionWinsWhateverTheCase) {
  fakeServices.sessions.push_back({3, L"RDP-Tcp#3", WTSActive, L"bob"});
  const UniqueHandle token = getSessionUserToken(true, log);
  EXPECT_NE(token, nullptr);
  EXPECT_EQ(fakeServices.tokenRequests, std::vector<DWORD>{3});
  EXPECT_TRUE(logged(sink, "9 rdpSession user name: bob"));
  EXPECT_TRUE(logged(sink, "9 activeSession user name: alice"));
  EXPECT_TRUE(logged(sink, "4 Connect as RDP user at 3 session"));
  EXPECT_TRUE(logged(sink, "9 Session user name: bob"));
}

TEST_F(SessionChoice, LastActiveRemoteSessionInTheListIsTaken) {
  fakeServices.sessions.push_back({3, L"RDP-Tcp#3", WTSActive, L"bob"});
  fakeServices.sessions.push_back({5, L"rdp-tcp#5", WTSActive, L"carol"});
  fakeServices.sessions.push_back({7, L"RDP-Tcp#7", WTSDisconnected, L"dave"});
  getSessionUserToken(true, log);
  EXPECT_EQ(fakeServices.tokenRequests, std::vector<DWORD>{5});
}

TEST_F(SessionChoice, WithoutUsableRemoteSessionTheConsoleGetsTheOwnToken) {
  const auto expectConsole = [this](const char *situation) {
    sink.lines.clear();
    EXPECT_NE(getSessionUserToken(true, log), nullptr) << situation;
    EXPECT_TRUE(fakeServices.tokenRequests.empty()) << situation;
    EXPECT_TRUE(logged(sink, "4 Connect as current user at 1 session")) << situation;
    EXPECT_TRUE(logged(sink, "9 Try OpenProcessToken(FFFFFFFFFFFFFFFF, , )")) << situation;
  };
  expectConsole("console only");
  fakeServices.sessions.push_back({0, L"RDP-Tcp#0", WTSActive, L"zero"});
  expectConsole("remote session 0");
  fakeServices.sessions.push_back({4, L"RDP-Tcp#4", WTSActive, L"erin"});
  fakeServices.enumerationFails = true;
  expectConsole("enumeration fails");
  records.table.wtsEnumerateSessions = nullptr;
  expectConsole("no enumeration");
  fakeServices.activeConsole = 2;
  getSessionUserToken(false, log);
  EXPECT_TRUE(logged(sink, "4 Connect as current user at 2 session"));
  EXPECT_TRUE(fakeServices.tokenRequests.empty());
}

TEST_F(SessionChoice, FoundRemoteSessionIsNeverLocked) {
  playVersion(10, 0, VER_PLATFORM_WIN32_NT);
  fakeServices.sessions[0].flags = wtsSessionStateLock;
  fakeServices.sessions.push_back({3, L"RDP-Tcp#3", WTSActive, L"bob", wtsSessionStateLock});
  EXPECT_TRUE(isSessionLocked(1, log));
  EXPECT_FALSE(isSessionLocked(3, log));
  getSessionUserToken(true, log);
  EXPECT_EQ(fakeServices.tokenRequests, std::vector<DWORD>{3});
}

TEST_F(SessionChoice, LockFlagsReadReversedOnlyOnWindows7) {
  struct Case {
    DWORD major, minor, platform;
    LONG flags;
    bool locked;
  };
  const Case cases[] = {{6, 1, 2, 1, true},   {6, 1, 2, 0, false}, {10, 0, 2, 0, true},
                        {10, 0, 2, 1, false}, {6, 1, 1, 0, true},  {6, 2, 2, 1, false}};
  for (const Case &c : cases) {
    playVersion(c.major, c.minor, c.platform);
    fakeServices.sessions[0].flags = c.flags;
    EXPECT_EQ(isSessionLocked(1, log), c.locked)
        << c.major << "." << c.minor << " platform " << c.platform << " flags " << c.flags;
  }
}

TEST_F(SessionChoice, UnreadableLockStateCountsAsUnlocked) {
  playVersion(10, 0, VER_PLATFORM_WIN32_NT);
  EXPECT_FALSE(isSessionLocked(1, log));
  fakeServices.sessions[0].flags = wtsSessionStateLock;
  fakeServices.extendedLevel = 2;
  EXPECT_FALSE(isSessionLocked(1, log));
  records.table.wtsQuerySessionInformation = nullptr;
  fakeServices.extendedLevel = 1;
  EXPECT_FALSE(isSessionLocked(1, log));
  EXPECT_EQ(sessionUserName(1), "");
}

TEST_F(SessionChoice, MissingOrFailingFunctions) {
  EXPECT_EQ(sessionUserName(1), "alice");
  fakeServices.tokenError = ERROR_NO_TOKEN;
  try {
    queryUserToken(1, log);
    ADD_FAILURE();
  } catch (const SystemException &e) {
    EXPECT_EQ(e.getErrorCode(), ERROR_NO_TOKEN);
    EXPECT_EQ(e.getMessage().rfind("WTSQueryUserToken error:", 0), 0u) << e.getMessage();
  }
  records.table.wtsQueryUserToken = nullptr;
  try {
    queryUserToken(1, log);
    ADD_FAILURE();
  } catch (const SystemException &e) {
    EXPECT_EQ(e.getMessage().rfind("No console user process id specified", 0), 0u)
        << e.getMessage();
  }
  records.table.wtsGetActiveConsoleSessionId = nullptr;
  EXPECT_EQ(activeConsoleSessionId(log), 0u);
}

int libraryOpenings = 0;

std::unique_ptr<DynamicLibrary> failToOpen(const std::string &name) {
  ++libraryOpenings;
  throw Exception("%s library not found", name.c_str());
}

TEST(SessionTable, FailedLoadIsReportedOnceAndNeverRetried) {
  test::OwnSessionRecords records;
  winSeam.openLibrary = &failToOpen;
  test::RecordingSink sink;
  Log log(&sink);
  EXPECT_EQ(activeConsoleSessionId(log), 0u);
  EXPECT_FALSE(isSessionLocked(1, log));
  EXPECT_EQ(activeConsoleSessionId(log), 0u);
  EXPECT_EQ(libraryOpenings, 2);
  EXPECT_EQ(sink.lines,
            (std::vector<std::string>{
                "1 Can't load the Kernel32.dll library: Kernel32.dll library not found",
                "1 Can't load the Wtsapi32.dll library: Wtsapi32.dll library not found"}));
}

TEST(SessionTable, SystemLibrariesProvideEveryFunction) {
  test::OwnSessionRecords records;
  test::RecordingSink sink;
  Log log(&sink);
  activeConsoleSessionId(log);
  const TerminalServicesTable &table = records.table;
  EXPECT_TRUE(sink.lines.empty());
  EXPECT_TRUE(table.loaded);
  EXPECT_NE(table.wtsGetActiveConsoleSessionId, nullptr);
  EXPECT_NE(table.wtsQueryUserToken, nullptr);
  EXPECT_NE(table.wtsQuerySessionInformation, nullptr);
  EXPECT_NE(table.wtsEnumerateSessions, nullptr);
  EXPECT_NE(table.wtsFreeMemory, nullptr);
}

TEST(SessionTable, VersionAndOwnAccountAreRead) {
  test::OwnSessionRecords records;
  const RTL_OSVERSIONINFOW version = windowsVersion();
  EXPECT_EQ(version.dwOSVersionInfoSize, 276u);
  EXPECT_GE(version.dwMajorVersion, 6u);

  HANDLE own = nullptr;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &own));
  const UniqueHandle token(own);
  wchar_t name[256];
  DWORD length = 256;
  ASSERT_TRUE(GetUserNameW(name, &length));
  EXPECT_EQ(tokenUserName(token.get()), toUtf8(name));
  EXPECT_EQ(tokenUserName(nullptr), "");
}

}  // namespace
}  // namespace lumo
