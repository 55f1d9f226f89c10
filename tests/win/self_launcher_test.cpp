#include <gtest/gtest.h>

#include <windows.h>

#include <shellapi.h>

#include <functional>

#include "child.h"
#include "fake_sessions.h"
#include "seam_override.h"
#include "util/exception.h"
#include "util/text_conversion.h"
#include "win/argument_quoting.h"
#include "win/module_file_path.h"
#include "win/platform_seam.h"
#include "win/self_launcher.h"

namespace lumo {
namespace win {
namespace {

// Lets the tests read the launcher's state.
class Launcher : public SelfLauncher {
public:
  using SelfLauncher::arguments;
  using SelfLauncher::path;
  using SelfLauncher::programPath;
  using SelfLauncher::threadHandle;
};

int codeOf(const std::function<void()> &call) {
  try {
    call();
  } catch (const SystemException &e) {
    return e.getErrorCode();
  }
  return 0;
}

UniqueHandle endedProcess() {
  Launcher launcher;
  launcher.addArgument(L"--probe");
  launcher.addArgument(L"exit");
  launcher.addArgument(L"0");
  launcher.start();
  test::waitForExit(launcher.getProcessHandle());
  return UniqueHandle(launcher.releaseProcessHandle());
}

struct ShellCall {
  int calls = 0;
  SHELLEXECUTEINFOW info = {};
  std::wstring verb, file, parameters;
  BOOL result = TRUE;
  DWORD error = 0;
  bool giveHandle = true;
} shell;

BOOL WINAPI fakeShellExecute(SHELLEXECUTEINFOW *info) {
  ++shell.calls;
  shell.info = *info;
  shell.verb = info->lpVerb;
  shell.file = info->lpFile;
  shell.parameters = info->lpParameters;
  if (shell.giveHandle) {
    info->hProcess = endedProcess().release();
  }
  SetLastError(shell.error);
  return shell.result;
}

TEST(SelfLauncher, KnowsTheRunningProgram) {
  SetLastError(ERROR_INSUFFICIENT_BUFFER);
  const std::pair<bool, std::string> modulePath = getModuleFilePath();
  wchar_t expected[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, expected, MAX_PATH);
  EXPECT_TRUE(modulePath.first);
  EXPECT_EQ(modulePath.second, toUtf8(expected));
  Launcher launcher;
  EXPECT_EQ(launcher.programPath, expected);
  EXPECT_EQ(launcher.path, toUtf8(quoteArgument(expected).c_str()));
  EXPECT_EQ(launcher.arguments, "");
}

// A program path of 300 units, copied as the system does: truncated to the
// buffer, and then either with the "insufficient buffer" error or, as older
// systems do, with a full-size result and no terminating NUL.
const std::wstring longPath = L"C:\\" + std::wstring(291, L'n') + L".exe";
bool olderSystem = false;
std::vector<DWORD> sizesAsked;

DWORD WINAPI longModuleFileName(HMODULE, LPWSTR buffer, DWORD size) {
  sizesAsked.push_back(size);
  const DWORD length = static_cast<DWORD>(longPath.size());
  if (size > length) {
    longPath.copy(buffer, length);
    buffer[length] = L'\0';
    return length;
  }
  longPath.copy(buffer, size);
  if (olderSystem) {
    return size;
  }
  buffer[size - 1] = L'\0';
  SetLastError(ERROR_INSUFFICIENT_BUFFER);
  return size;
}

DWORD WINAPI failingModuleFileName(HMODULE, LPWSTR, DWORD) {
  SetLastError(ERROR_ACCESS_DENIED);
  return 0;
}

TEST(SelfLauncher, LongProgramPathGrowsTheBuffer) {
  const test::SeamOverride<WinSeam> seam(winSeam);
  winSeam.getModuleFileName = &longModuleFileName;
  for (const bool older : {false, true}) {
    olderSystem = older;
    sizesAsked.clear();
    EXPECT_EQ(getModuleFilePath(), std::make_pair(true, toUtf8(longPath.c_str())));
    EXPECT_EQ(sizesAsked, (std::vector<DWORD>{260, 388}));
  }
  Launcher launcher;
  EXPECT_EQ(launcher.programPath, longPath);
  winSeam.getModuleFileName = &failingModuleFileName;
  EXPECT_EQ(codeOf([] { SelfLauncher(); }), ERROR_PATH_NOT_FOUND);
}

TEST(SelfLauncher, ArgumentsAreQuotedAndJoinedBySingleSpaces) {
  Launcher launcher;
  launcher.addArgument(L"");
  launcher.addArgument(L"two words");
  launcher.addArgument(L"a\"b");
  launcher.addArgument(L"end\\");
  launcher.addArgument(L"mid\\dle");
  EXPECT_EQ(launcher.arguments, "\"\" \"two words\" \"a\\\"b\" \"end\\\\\" \"mid\\dle\"");
}

TEST(SelfLauncher, RefusedArgumentsLeaveTheArgumentsAlone) {
  Launcher launcher;
  launcher.addArgument(L"--probe");
  launcher.addArgument(L"args");
  EXPECT_EQ(codeOf([&] { launcher.addArgument(std::wstring(L"a\0b", 3)); }),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(codeOf([&] { launcher.addArgument(std::wstring(32767, L'x')); }), ERROR_BAD_LENGTH);
  // Quoted path, space, arguments so far, space and the quoted argument.
  const std::size_t room = SelfLauncher::maxCommandLineLength - toUtf16(launcher.path).size() - 1 -
                           toUtf16(launcher.arguments).size() - 1 - 2;
  const std::string before = launcher.arguments;
  EXPECT_EQ(codeOf([&] { launcher.addArgument(std::wstring(room + 1, L'x')); }), ERROR_BAD_LENGTH);
  EXPECT_EQ(launcher.arguments, before);
  launcher.addArgument(std::wstring(room, L'x'));

  // The system takes a command line of exactly that length.
  const test::ChildReport report = test::runReporting(launcher);
  EXPECT_EQ(report.commandLine.size(), SelfLauncher::maxCommandLineLength);
  EXPECT_EQ(report.runtimeArgv.back(), std::wstring(room, L'x'));
}

TEST(SelfLauncher, DirectStartShowsAsAsked) {
  Launcher launcher;
  launcher.addArgument(L"--probe");
  launcher.addArgument(L"args");
  launcher.setShowCommand(SW_HIDE);
  const test::ChildReport report = test::runReporting(launcher);
  EXPECT_EQ(report.startupFlags, static_cast<DWORD>(STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES));
  EXPECT_EQ(report.showWindow, static_cast<DWORD>(SW_HIDE));
  EXPECT_EQ(report.commandLine, toUtf16(launcher.path) + L" \"--probe\" \"args\"");
  EXPECT_NE(launcher.threadHandle, nullptr);
}

TEST(SelfLauncher, BusyWhileTheChildRunsAndFreeOnceItEnded) {
  Launcher launcher;
  launcher.addArgument(L"--probe");
  launcher.addArgument(L"sleep");
  launcher.start();
  shell = ShellCall();
  EXPECT_EQ(codeOf([&] { launcher.addArgument(L"more"); }), ERROR_BUSY);
  EXPECT_EQ(codeOf([&] { launcher.start(); }), ERROR_BUSY);
  EXPECT_EQ(codeOf([&] { launcher.startElevated(nullptr, &fakeShellExecute); }), ERROR_BUSY);
  EXPECT_EQ(shell.calls, 0);
  EXPECT_EQ(launcher.arguments, "\"--probe\" \"sleep\"");
  launcher.kill();
  EXPECT_EQ(test::waitForExit(launcher.getProcessHandle()), 0u);
  EXPECT_EQ(codeOf([&] { launcher.ensureNotRunning(); }), 0);
  launcher.addArgument(L"more");
  launcher.start();
  // Ending the launcher leaves the child running; a released handle stays valid.
  UniqueHandle child;
  {
    Launcher moved;
    child.reset(launcher.releaseProcessHandle());
  }
  EXPECT_EQ(WaitForSingleObject(child.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
  TerminateProcess(child.get(), 0);
  EXPECT_EQ(test::waitForExit(child.get()), 0u);
}

TEST(SelfLauncher, ElevatedStartHandsTheShellItsRequest) {
  Launcher launcher;
  launcher.addArgument(L"--probe");
  launcher.addArgument(L"a b");
  launcher.setShowCommand(SW_SHOWMINIMIZED);
  shell = ShellCall();
  const HWND parent = reinterpret_cast<HWND>(0x1234);
  launcher.startElevated(parent, &fakeShellExecute);
  EXPECT_EQ(shell.calls, 1);
  EXPECT_EQ(shell.info.cbSize, sizeof(SHELLEXECUTEINFOW));
  EXPECT_EQ(shell.info.fMask, 0x540u);
  EXPECT_EQ(shell.info.hwnd, parent);
  EXPECT_EQ(shell.verb, L"runas");
  EXPECT_EQ(shell.file, launcher.programPath);
  EXPECT_EQ(shell.parameters, L"\"--probe\" \"a b\"");
  EXPECT_EQ(shell.info.lpDirectory, nullptr);
  EXPECT_EQ(shell.info.nShow, SW_SHOWMINIMIZED);
  const HANDLE child = launcher.getProcessHandle();
  EXPECT_NE(child, nullptr);
  EXPECT_EQ(launcher.threadHandle, nullptr);

  // Failures keep the handle of the earlier child.
  shell.result = FALSE;
  shell.error = ERROR_CANCELLED;
  shell.giveHandle = false;
  EXPECT_EQ(codeOf([&] { launcher.startElevated(nullptr, &fakeShellExecute); }), ERROR_CANCELLED);
  shell.result = TRUE;
  EXPECT_EQ(codeOf([&] { launcher.startElevated(nullptr, &fakeShellExecute); }),
            ERROR_INVALID_HANDLE);
  EXPECT_EQ(launcher.getProcessHandle(), child);
  EXPECT_EQ(codeOf([&] { launcher.startElevated(nullptr, nullptr); }), ERROR_INVALID_PARAMETER);
  test::RecordingSink sink;
  Log log(&sink);
  launcher.setConsoleSessionLog(&log, false);
  shell.calls = 0;
  EXPECT_EQ(codeOf([&] { launcher.startElevated(nullptr, &fakeShellExecute); }),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(shell.calls, 0);
  EXPECT_EQ(launcher.getProcessHandle(), child);
}

TEST(SelfLauncher, ElevatedStartThroughTheShell) {
  Launcher launcher;
  launcher.addArgument(L"--probe");
  launcher.addArgument(L"exit");
  launcher.addArgument(L"7");
  launcher.setShowCommand(SW_HIDE);
  launcher.startElevated(nullptr, &ShellExecuteExW);
  EXPECT_EQ(test::waitForExit(launcher.getProcessHandle()), 7u);
}

using ConsoleSessionLaunch = test::FakeSessionsTest;

TEST_F(ConsoleSessionLaunch, KeepsOnlyADuplicateOfTheChildHandle) {
  Launcher launcher;
  launcher.addArgument(L"--probe");
  launcher.addArgument(L"exit");
  launcher.addArgument(L"6");
  launcher.setConsoleSessionLog(&log, false);
  launcher.start();
  EXPECT_EQ(launcher.threadHandle, nullptr);
  EXPECT_EQ(test::waitForExit(launcher.getProcessHandle()), 6u);
  EXPECT_EQ(sink.lines.back(),
            "4 Created \"" + launcher.path + " \"--probe\" \"exit\" \"6\"\" process");
}

}  // namespace
}  // namespace win
}  // namespace lumo
