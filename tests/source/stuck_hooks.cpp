// A hook library whose hooks never come down: it installs nothing, refuses
// every removal and counts the attempts.

#include <windows.h>

namespace {

int removals = 0;

}  // namespace

extern "C" __declspec(dllexport) bool setHookWithMessage(HWND, UINT) { return true; }

extern "C" __declspec(dllexport) bool unsetHookForWindow(HWND, UINT) {
  ++removals;
  return false;
}

extern "C" __declspec(dllexport) int removalAttempts() { return removals; }
