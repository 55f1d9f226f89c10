#pragma once

#include <string>

#include <windows.h>

#include <shellapi.h>

#include "win/log.h"
#include "win/process.h"

namespace lumo {
namespace win {

// Starts a second instance of the running program with quoted arguments:
// directly, inside the console session when a log is attached, or elevated
// through the shell. It refuses to start while its last child still runs and
// never waits for a child itself: the owner waits on getProcessHandle().
// Failures are thrown as lumo::SystemException; a refused call changes
// nothing.
class SelfLauncher : public Process {
public:
  using ShellExecuteFunction = BOOL(WINAPI *)(SHELLEXECUTEINFOW *);

  // The command line's limit without its terminating NUL.
  static constexpr std::size_t maxCommandLineLength = 32766;

  // Throws with ERROR_PATH_NOT_FOUND when the program's path is unknown.
  SelfLauncher();

  // 0 (SW_HIDE) hides the child's window; SW_SHOWNORMAL by default.
  void setShowCommand(int command) { showCommand = command; }
  // Later starts go into an interactive session and report to log, which is
  // not owned; elevated starts are refused meanwhile.
  void setConsoleSessionLog(Log *log, bool searchRemoteSession);

  // Appends one argument, quoted. Refuses a NUL (ERROR_INVALID_PARAMETER)
  // and an argument that would make the command line too long
  // (ERROR_BAD_LENGTH).
  void addArgument(const std::wstring &argument);
  // Throws ERROR_BUSY while the last child runs.
  void ensureNotRunning();

  void start() override;
  // shellExecute is ShellExecuteExW or a stand-in with its signature;
  // parent may be null. A failure keeps the handles of the earlier child.
  void startElevated(HWND parent, ShellExecuteFunction shellExecute);

protected:
  void checkCommandLine(const std::wstring &text) const;
  void startInConsoleSession();
  void startDirectly();

  std::wstring programPath;
  Log *log = nullptr;
  bool searchRemoteSession = false;
  int showCommand = SW_SHOWNORMAL;
};

}  // namespace win
}  // namespace lumo
