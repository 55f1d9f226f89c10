#pragma once

// The programs a workload works, started from the system's folder in one job
// that ends them all together: when the workload is done, and also when it
// is killed, so that no program it started is left on the desktop.

#include <windows.h>

#include <string>
#include <vector>

#include "diagnostics.h"
#include "util/unique_handle.h"

namespace lumo {
namespace tools {

class ProgramGroup {
public:
  // What goes wrong is said through diagnostics, which must outlive the
  // group.
  explicit ProgramGroup(const Diagnostics &diagnostics);
  ProgramGroup(const ProgramGroup &) = delete;
  ProgramGroup &operator=(const ProgramGroup &) = delete;
  // Ends the programs and waits for them, so that their windows are gone.
  ~ProgramGroup();

  // Starts the system's program with the arguments and the creation flags
  // and gives the window it shows: the first visible top-level window
  // without an owner that was not there before, whichever process made it
  // (a console's belongs to the console host, Write's to WordPad; another
  // program's window shown at that moment would be taken instead). Null
  // where it could not be started or showed none within ten seconds, which
  // diagnostics says.
  HWND start(const std::wstring &program, const std::wstring &arguments, DWORD flags = 0);

  // Whether the top-level window is one of the group's programs', or of
  // what they started, or one that start gave: a console's window belongs
  // to the console host, which is none of them.
  bool owns(HWND window) const;

private:
  const Diagnostics &diagnostics_;
  UniqueHandle job_;
  std::vector<UniqueHandle> processes_;
  std::vector<HWND> shown_;
};

}  // namespace tools
}  // namespace lumo
