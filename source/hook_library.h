#pragma once

// The hook library of this process's bitness, loaded by its full path, and
// the one installation of its hooks made through it. The installation is
// removed by its owner on every path out; remove() tells whether it came
// down.

#include <windows.h>

#include <string>

#include "paintwatch/paintwatch.h"
#include "util/unique_any.h"
#include "util/unique_handle.h"

namespace lumo {
namespace source {

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
  // mapped into every process on the desktop.
  explicit HookLibrary(std::wstring path);
  HookLibrary(const HookLibrary &) = delete;
  HookLibrary &operator=(const HookLibrary &) = delete;
  ~HookLibrary() = default;

  // Loads the library, looks up both exports and installs the hooks.
  Outcome install(HWND target, UINT message);
  // Why the library did not load, for NotLoaded.
  DWORD loadError() const { return loadError_; }
  const std::wstring &path() const { return path_; }

  // Removes the hooks, trying once; true also when none are installed.
  bool remove();

private:
  Outcome load();

  std::wstring path_;
  DWORD loadError_ = 0;
  SetHookWithMessageFn set_ = nullptr;
  HookInstallation installation_ = {};
  UniqueModule library_;
  // After the library, so that the hooks go before it is unloaded.
  UniqueHookInstallation installed_;
};

}  // namespace source
}  // namespace lumo
