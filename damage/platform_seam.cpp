#include "damage/platform_seam.h"

namespace lumo {
namespace damage {

namespace {

using SetDpiContext = HANDLE(WINAPI *)(HANDLE);

HANDLE WINAPI refuseDpiContext(HANDLE) { return nullptr; }

// Systems before Windows 10 version 1607 lack the function.
HANDLE WINAPI setDpiContextWherePresent(HANDLE context) {
  static const SetDpiContext function = [] {
    const HMODULE user32 = GetModuleHandleW(L"user32.dll");
    const FARPROC found =
        user32 != nullptr ? GetProcAddress(user32, "SetThreadDpiAwarenessContext") : nullptr;
    return found != nullptr ? reinterpret_cast<SetDpiContext>(reinterpret_cast<void *>(found))
                            : &refuseDpiContext;
  }();
  return function(context);
}

}  // namespace

DamageSeam damageSeam = {&setDpiContextWherePresent, &GetSystemMetrics};

}  // namespace damage
}  // namespace lumo
