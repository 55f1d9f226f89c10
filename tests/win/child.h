#pragma once

// The test program doubles as the child that the launching tests start:
// "--probe MODE ..." runs one of these modes instead of the tests.
//   args         reports its startup flags, GetCommandLineW, the C runtime's
//                argv and CommandLineToArgvW's split on standard output
//   exit N       ends with code N
//   sleep        waits (until killed, at most half a minute)
//   echo         copies standard input to standard output, "err" to errors
//   module-path  writes getModuleFilePath()'s path in UTF-8
// A program started without arguments takes its mode from the environment.

#include <windows.h>

#include <string>
#include <vector>

#include "util/unique_handle.h"
#include "win/log.h"
#include "win/process.h"

namespace lumo {
namespace test {

constexpr const wchar_t *childModeVariable = L"LUMO_TEST_CHILD_MODE";

int runChild(int argc, wchar_t **argv);

struct ChildReport {
  DWORD startupFlags;
  DWORD showWindow;
  std::wstring commandLine;
  std::vector<std::wstring> runtimeArgv;
  std::vector<std::wstring> shellArgv;
};

// Starts process, which must run the "args" mode, with its output in a pipe,
// and expects it to end with code 0.
ChildReport runReporting(Process &process);

std::wstring thisProgram();

// The write end is inheritable, the read end not.
struct Pipe {
  UniqueHandle read;
  UniqueHandle write;
};
Pipe makePipe();
// Until every writer has closed its end.
std::string readAll(HANDLE pipe);

DWORD waitForExit(HANDLE process);

class RecordingSink : public ILogSink {
public:
  explicit RecordingSink(int maxLevel = 9) : maxLevel(maxLevel) {}
  void print(int level, const std::string &line) override {
    lines.push_back(std::to_string(level) + " " + line);
  }
  bool acceptsLevel(int level) override {
    asked.push_back(level);
    return level <= maxLevel;
  }

  int maxLevel;
  std::vector<std::string> lines;
  std::vector<int> asked;
};

}  // namespace test
}  // namespace lumo
