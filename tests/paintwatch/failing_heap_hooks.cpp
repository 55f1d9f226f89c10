// The hook library's own objects in a second DLL with one more export,
// which runs a callback while the library's heap refuses every allocation:
// a host can then watch what a hook procedure does when memory runs out.

#include <windows.h>

#include "paintwatch/platform_seam.h"
#include "seam_override.h"

using lumo::paintwatch::hookSeam;

namespace {

LPVOID WINAPI refuseAlloc(HANDLE, DWORD, SIZE_T) { return nullptr; }
LPVOID WINAPI refuseReAlloc(HANDLE, DWORD, LPVOID, SIZE_T) { return nullptr; }

}  // namespace

extern "C" __declspec(dllexport) void withFailingHeap(void (*body)(void *), void *context) {
  const lumo::test::SeamOverride<lumo::paintwatch::HookSeam> seam(hookSeam);
  hookSeam.heapAlloc = refuseAlloc;
  hookSeam.heapReAlloc = refuseReAlloc;
  body(context);
}
