#pragma once

// The two hook installations the monitor makes for its window: the 64-bit
// build in this process, the 32-bit build through paintloader32, since a
// hook library reaches only processes of its own bitness. Each says on
// stderr what went wrong.

#include <windows.h>

#include <string>

#include "paintwatch/paintwatch.h"
#include "util/unique_handle.h"

namespace lumo {
namespace tools {

class Loader32 {
public:
  // Starts the loader and waits until it has installed its hooks. Says why,
  // with the consequence, and returns false when it has not.
  bool start(const wchar_t *consequence);
  // Null while no loader runs.
  HANDLE process() const { return process_.get(); }
  // Called once the loader has ended by itself.
  void ended();
  // Has the loader remove its hooks and end; false if it could not.
  bool stop(UINT closeMessage, const std::wstring &loaderWindowName);

private:
  void cannotRun32(const std::wstring &why) const;
  DWORD exitCode() const;

  UniqueHandle process_;
  const wchar_t *consequence_ = L"";
};

class Hooks64 {
public:
  // The library by its full path: one found on the search path would be
  // mapped into every process on the desktop.
  explicit Hooks64(const std::wstring &path) : path_(path) {}

  // Says why and returns false when the hooks are not installed.
  bool install(HWND target, UINT message);
  // True also when nothing was installed.
  bool remove();

private:
  std::wstring path_;
  UniqueModule library_;
  UnsetHookForWindowFn unset_ = nullptr;
  HWND target_ = nullptr;
  UINT message_ = 0;
};

}  // namespace tools
}  // namespace lumo
