#include <gtest/gtest.h>

#include "child.h"
#include "util/exception.h"
#include "util/text_conversion.h"
#include "win/process.h"

namespace lumo {
namespace {

std::string program() {
  const std::string path = toUtf8(test::thisProgram().c_str());
  // The command line carries the path unquoted.
  EXPECT_EQ(path.find(' '), std::string::npos);
  return path;
}

UniqueHandle copyOf(HANDLE handle) {
  UniqueHandle copy;
  DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), copy.put(), 0, FALSE,
                  DUPLICATE_SAME_ACCESS);
  return copy;
}

TEST(Process, CommandLineIsPathAndArgumentsVerbatim) {
  Process withArguments(program(), "--probe args  -a \"b c\"");
  EXPECT_EQ(test::runReporting(withArguments).commandLine,
            toUtf16(program()) + L" --probe args  -a \"b c\"");
  // Without arguments the child finds its mode in the environment.
  SetEnvironmentVariableW(test::childModeVariable, L"args");
  Process bare(program(), "");
  const test::ChildReport report = test::runReporting(bare);
  SetEnvironmentVariableW(test::childModeVariable, nullptr);
  EXPECT_EQ(report.commandLine, toUtf16(program()));
}

TEST(Process, StandardHandlesAreHandedToTheChild) {
  test::Pipe input = test::makePipe();
  test::Pipe output = test::makePipe();
  test::Pipe errors = test::makePipe();
  // The child reads the input pipe, so that end is the inheritable one.
  SetHandleInformation(input.read.get(), HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
  SetHandleInformation(input.write.get(), HANDLE_FLAG_INHERIT, 0);
  Process echo(program(), "--probe echo");
  echo.setStandardHandles(input.read.get(), output.write.get(), errors.write.get());
  echo.setInheritHandles(true);
  echo.start();
  input.read.reset();
  output.write.reset();
  errors.write.reset();
  DWORD written = 0;
  WriteFile(input.write.get(), "through the pipe", 16, &written, nullptr);
  input.write.reset();
  EXPECT_EQ(test::readAll(output.read.get()), "through the pipe");
  EXPECT_EQ(test::readAll(errors.read.get()), "err");
  EXPECT_EQ(test::waitForExit(echo.getProcessHandle()), 0u);
}

TEST(Process, SecondStartLeavesTheFirstChildRunning) {
  Process sleeper(program(), "--probe sleep");
  sleeper.start();
  const UniqueHandle first = copyOf(sleeper.getProcessHandle());
  sleeper.start();
  EXPECT_EQ(WaitForSingleObject(first.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_NE(GetProcessId(first.get()), GetProcessId(sleeper.getProcessHandle()));
  sleeper.kill();
  TerminateProcess(first.get(), 0);
  EXPECT_EQ(test::waitForExit(sleeper.getProcessHandle()), 0u);
}

TEST(Process, KillLeavesTheHandleUsable) {
  Process sleeper(program(), "--probe sleep");
  try {
    sleeper.kill();
    ADD_FAILURE() << "kill without a child";
  } catch (const SystemException &e) {
    EXPECT_EQ(e.getErrorCode(), ERROR_INVALID_HANDLE);
  }
  sleeper.start();
  sleeper.kill();
  EXPECT_EQ(test::waitForExit(sleeper.getProcessHandle()), 0u);
}

TEST(Process, ReleasedHandleOutlivesTheObject) {
  UniqueHandle released;
  {
    Process sleeper(program(), "--probe sleep");
    sleeper.start();
    released.reset(sleeper.releaseProcessHandle());
    EXPECT_EQ(sleeper.getProcessHandle(), nullptr);
  }
  EXPECT_EQ(WaitForSingleObject(released.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_TRUE(TerminateProcess(released.get(), 3));
  EXPECT_EQ(test::waitForExit(released.get()), 3u);
}

TEST(Process, FailedStartThrowsTheSystemCode) {
  Process missing("Z:\\no\\such\\program.exe", "");
  try {
    missing.start();
    ADD_FAILURE() << "started a missing program";
  } catch (const SystemException &e) {
    EXPECT_TRUE(e.getErrorCode() == ERROR_FILE_NOT_FOUND ||
                e.getErrorCode() == ERROR_PATH_NOT_FOUND)
        << e.getErrorCode();
  }
  EXPECT_EQ(missing.getProcessHandle(), nullptr);
}

}  // namespace
}  // namespace lumo
