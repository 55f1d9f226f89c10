#pragma once

// The hook library of this process's bitness, loaded by its full path, and
// the one installation of its hooks that a tool makes through it. The
// installation is removed by its owner on every path out.

#include <windows.h>

#include <string>

#include "diagnostics.h"
#include "paintwatch/paintwatch.h"
#include "util/unique_handle.h"

namespace lumo {
namespace tools {

struct HookInstallation {
  UnsetHookForWindowFn unset;
  HWND target;
  UINT message;
  // What the last removal gave.
  bool removed;
};

void removeHookInstallation(HookInstallation *installation);
using UniqueHookInstallation = UniqueAny<HookInstallation *, &removeHookInstallation>;

class HookLibrary {
public:
  enum class Outcome { Installed, NotFound, NotThisBitness, NotLoaded, NotHookLibrary, Refused };

  // The full path only: a library found on the search path would be
  // mapped into every process on the desktop. A removal that fails when the
  // object ends is said as removalFailure.
  HookLibrary(std::wstring path, const Diagnostics &diagnostics, std::wstring removalFailure);
  HookLibrary(const HookLibrary &) = delete;
  HookLibrary &operator=(const HookLibrary &) = delete;
  ~HookLibrary();

  // Loads the library, looks up both exports and installs the hooks.
  Outcome install(HWND target, UINT message);
  // Why the library did not load, for NotLoaded.
  DWORD loadError() const { return loadError_; }
  const std::wstring &path() const { return path_; }

  // Removes the hooks; true also when none are installed. The caller says
  // a failure.
  bool remove();

private:
  Outcome load();

  std::wstring path_;
  const Diagnostics &diagnostics_;
  std::wstring removalFailure_;
  DWORD loadError_ = 0;
  SetHookWithMessageFn set_ = nullptr;
  HookInstallation installation_ = {};
  UniqueModule library_;
  // After the library, so that the hooks go before it is unloaded.
  UniqueHookInstallation installed_;
};

}  // namespace tools
}  // namespace lumo
