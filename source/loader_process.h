#pragma once

// The 32-bit hook loader: a hook library reaches only processes of its own
// bitness, so paintloader32 installs the 32-bit build for the window named
// as the server's hook target. Its owner has it remove its hooks and end.

#include <windows.h>

#include <string>

#include "util/unique_any.h"

namespace lumo {
namespace source {

// Asks the loader to remove its hooks and end, gives it time, ends it
// where it does not, and closes the handle.
void endLoader(HANDLE process);
using UniqueLoaderProcess = UniqueAny<HANDLE, &endLoader>;

class Loader32 {
public:
  // Starts paintloader32.exe beside this program and waits until it has
  // installed its hooks. Where it has not, gives false and why, with
  // `consequence` added where 32-bit programs cannot run here; `why` is
  // empty where the loader said why itself, on the standard error it
  // shares with this process.
  bool start(const wchar_t *consequence, std::wstring *why);
  // Null while no loader runs.
  HANDLE process() const { return process_.get(); }
  // The loader ended by itself: gives its exit code.
  DWORD ended();
  // Has the loader remove its hooks and end; false if it could not.
  bool stop();

private:
  bool waitUntilReady(HANDLE ready, const wchar_t *consequence, std::wstring *why);
  DWORD exitCode() const;

  UniqueLoaderProcess process_;
};

}  // namespace source
}  // namespace lumo
