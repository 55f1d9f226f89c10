#pragma once

// The 32-bit hook loader the monitor starts: a hook library reaches only
// processes of its own bitness, so paintloader32 installs the 32-bit build
// for the monitor's window. Its owner has it remove its hooks and end.

#include <windows.h>

#include <string>

#include "diagnostics.h"
#include "util/unique_any.h"

namespace lumo {
namespace tools {

// Asks the loader to remove its hooks and end, gives it time, ends it
// where it does not, and closes the handle.
void endLoader(HANDLE process);
using UniqueLoaderProcess = UniqueAny<HANDLE, &endLoader>;

class Loader32 {
public:
  explicit Loader32(const Diagnostics &diagnostics) : diagnostics_(diagnostics) {}

  // Starts the loader and waits until it has installed its hooks. Says why,
  // with the consequence, and returns false when it has not.
  bool start(const wchar_t *consequence);
  // Null while no loader runs.
  HANDLE process() const { return process_.get(); }
  // Called once the loader has ended by itself.
  void ended();
  // Has the loader remove its hooks and end; false if it could not.
  bool stop();

private:
  bool waitUntilReady(HANDLE ready);
  void cannotRun32(const std::wstring &why) const;
  DWORD exitCode() const;

  const Diagnostics &diagnostics_;
  UniqueLoaderProcess process_;
  const wchar_t *consequence_ = L"";
};

}  // namespace tools
}  // namespace lumo
