#include <gtest/gtest.h>

#include <algorithm>
#include <regex>

#include "fake_sessions.h"
#include "util/exception.h"
#include "util/text_conversion.h"
#include "util/text_format.h"
#include "win/current_console_process.h"
#include "win/session.h"

namespace lumo {
namespace {

using ConsoleProcess = test::FakeSessionsTest;

std::string program() { return toUtf8(test::thisProgram().c_str()); }

// Pointer values differ between runs; the words around them must not.
std::vector<std::string> withoutPointers(const std::vector<std::string> &lines) {
  static const std::regex pointer("[0-9A-F]{16}");
  std::vector<std::string> result;
  for (const std::string &line : lines) {
    result.push_back(std::regex_replace(line, pointer, "P"));
  }
  return result;
}

bool uiAccessCanBeSet() {
  UniqueHandle ownToken;
  UniqueHandle copyToken;
  OpenProcessToken(GetCurrentProcess(), TOKEN_DUPLICATE, ownToken.put());
  DuplicateTokenEx(ownToken.get(), MAXIMUM_ALLOWED, nullptr, SecurityImpersonation, TokenPrimary,
                   copyToken.put());
  DWORD uiAccess = TRUE;
  return SetTokenInformation(copyToken.get(), TokenUIAccess, &uiAccess, sizeof uiAccess);
}

TEST_F(ConsoleProcess, EveryStepIsLoggedInOrder) {
  const std::string command = program() + " --probe exit 4";
  CurrentConsoleProcess process(program(), "--probe exit 4", &log, false);
  process.start();
  EXPECT_EQ(test::waitForExit(process.getProcessHandle()), 4u);

  std::vector<std::string> lines = withoutPointers(sink.lines);
  const std::string uiAccessRefused = "4 Can't set UIAccess=1, ignore it";
  const auto refusal = std::find(lines.begin(), lines.end(), uiAccessRefused);
  EXPECT_EQ(refusal != lines.end(), !uiAccessCanBeSet());
  if (refusal != lines.end()) {
    lines.erase(refusal);
  }
  UniqueHandle ownToken;
  OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, ownToken.put());
  const std::string user = tokenUserName(ownToken.get());
  const std::vector<std::string> expected = {
      "4 Try to start \"" + command + "\" process",
      "9 sti: cb = 104, hStdError = P, hStdInput = P, hStdOutput = P, dwFlags = 0",
      "9 rdpSession user name: ",
      "9 activeSession user name: alice",
      "4 Connect as current user at 1 session",
      "9 Session user name: alice",
      "9 Try OpenProcessToken(P, , )",
      "9 Try DuplicateTokenEx(P, , , , , )",
      "9 Try SetTokenInformation(P, , , )",
      "9 Try SetTokenInformation(P, , , ) with UIAccess=1",
      "9 duplicate user token for user: " + user + ", session ID: 1",
      "9 Try CreateProcessAsUser(P, 0, " + command +
          ", 0, 0, 0, NORMAL_PRIORITY_CLASS, 0, 0, sti, pi)",
      "4 Created \"" + command + "\" process"};
  EXPECT_EQ(lines, expected);
}

TEST_F(ConsoleProcess, StandardHandlesAndInheritanceAreReported) {
  CurrentConsoleProcess process(program(), "--probe args", &log, false);
  EXPECT_EQ(test::runReporting(process).startupFlags, static_cast<DWORD>(STARTF_USESTDHANDLES));
  EXPECT_TRUE(std::regex_match(sink.lines[1], std::regex(".*, hStdOutput = [0-9A-F]{16}, "
                                                         "dwFlags = 256")));
  EXPECT_EQ(sink.lines[1].find("hStdOutput = 0000000000000000"), std::string::npos);
  EXPECT_NE(sink.lines[sink.lines.size() - 2].find(", 1, NORMAL_PRIORITY_CLASS"),
            std::string::npos);
}

TEST_F(ConsoleProcess, FailureIsLoggedWithItsCodeAndThrownOn) {
  CurrentConsoleProcess process("Z:\\no\\such\\program.exe", "", &log, false);
  try {
    process.start();
    ADD_FAILURE() << "started a missing program";
  } catch (const SystemException &e) {
    EXPECT_EQ(sink.lines.back(),
              format("1 Failed to start process with %d error", e.getErrorCode()));
  }
  EXPECT_EQ(process.getProcessHandle(), nullptr);
  EXPECT_EQ(sink.lines.front(), "4 Try to start \"Z:\\no\\such\\program.exe \" process");
}

TEST(ConsoleProcessOnThisSystem, ChildRunsOrTheFailureIsLogged) {
  test::OwnSessionRecords records;
  test::RecordingSink sink;
  Log log(&sink);
  CurrentConsoleProcess process(program(), "--probe exit 5", &log, true);
  try {
    process.start();
    EXPECT_EQ(test::waitForExit(process.getProcessHandle()), 5u);
  } catch (const SystemException &e) {
    EXPECT_EQ(sink.lines.back(),
              format("1 Failed to start process with %d error", e.getErrorCode()));
  }
}

}  // namespace
}  // namespace lumo
