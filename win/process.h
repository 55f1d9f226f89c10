#pragma once

#include <string>

#include <windows.h>

#include "util/unique_handle.h"

namespace lumo {

// A child program run as the calling user. The object owns the handles of
// the last started child, never the standard handles it passes on; ending
// the object leaves the child running.
class Process {
public:
  // path and arguments are UTF-8 and go into the command line as they are:
  // a path with spaces must arrive quoted.
  Process(const std::string &path, const std::string &arguments);
  Process(const Process &) = delete;
  Process &operator=(const Process &) = delete;
  virtual ~Process();

  // Closes the handles of an earlier child (which keeps running) and starts
  // a new one. Throws SystemException; a failed start leaves no handles.
  virtual void start();
  // Asks the system to end the child; handles stay open and nothing waits.
  // Throws SystemException, also when no child was started.
  virtual void kill();

  void setStandardHandles(HANDLE input, HANDLE output, HANDLE error);
  void setInheritHandles(bool inherit);

  HANDLE getProcessHandle() const { return processHandle.get(); }
  // The caller owns the returned handle from now on.
  HANDLE releaseProcessHandle() { return processHandle.release(); }

protected:
  void closeHandles();
  // Where every kind of start hands over the new child's handles; those of
  // the child before are closed, and it keeps running. thread is null where
  // the start gives none.
  void takeOver(UniqueHandle process, UniqueHandle thread);
  // "path arguments", or the path alone when there are no arguments.
  std::string commandLine() const;
  // Everything zero but the size and the standard handles.
  STARTUPINFOW startupInfo() const;

  std::string path;
  std::string arguments;
  UniqueHandle processHandle;
  UniqueHandle threadHandle;
  HANDLE stdInput = nullptr;
  HANDLE stdOutput = nullptr;
  HANDLE stdError = nullptr;
  bool inheritHandles = false;
};

}  // namespace lumo
