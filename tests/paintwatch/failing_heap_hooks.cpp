// The hook library's own objects in a second DLL with exports that take
// over its heap or its posts: one refuses every allocation, so that a host
// can watch what a hook procedure does when memory runs out; one refuses
// the next posts as the system can; one walks the stack from inside pixman,
// so that a host can see whether every frame of the library can be unwound.

#include <windows.h>

#include <pixman.h>

#include "paintwatch/platform_seam.h"
#include "seam_override.h"
#include "unwind_walk.h"

using lumo::paintwatch::hookSeam;

namespace {

LPVOID WINAPI refuseAlloc(HANDLE, DWORD, SIZE_T) { return nullptr; }
LPVOID WINAPI refuseReAlloc(HANDLE, DWORD, LPVOID, SIZE_T) { return nullptr; }

const DWORD *postRefusals = nullptr;
int postsToRefuse = 0;

BOOL WINAPI refuseFirstPosts(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (postsToRefuse > 0) {
    --postsToRefuse;
    SetLastError(*postRefusals++);
    return FALSE;
  }
  return PostMessageW(window, message, wParam, lParam);
}

}  // namespace

extern "C" __declspec(dllexport) void withFailingHeap(void (*body)(void *), void *context) {
  const lumo::test::SeamOverride<lumo::paintwatch::HookSeam> seam(hookSeam);
  hookSeam.heapAlloc = refuseAlloc;
  hookSeam.heapReAlloc = refuseReAlloc;
  body(context);
}

// The first `count` posts of this process's hooks while body runs fail,
// each with its error of `errors`.
extern "C" __declspec(dllexport) void withRefusedPosts(const DWORD *errors, int count,
                                                       void (*body)(void *), void *context) {
  const lumo::test::SeamOverride<lumo::paintwatch::HookSeam> seam(hookSeam);
  hookSeam.postMessage = refuseFirstPosts;
  postRefusals = errors;
  postsToRefuse = count;
  body(context);
}

#ifdef _WIN64
namespace {

lumo::test::UnwindWalk *walk;

// The system's own unwinder, as exception dispatch and debuggers use it.
// A frame without an entry ends the walk: past it the unwinder could only
// guess.
void walkToHost() {
  CONTEXT context;
  RtlCaptureContext(&context);
  for (walk->frames = 0; walk->frames < lumo::test::UnwindWalk::kMaxFrames;) {
    const DWORD64 pc = context.Rip;
    walk->pcs[walk->frames++] = pc;
    if (pc >= walk->hostBegin && pc < walk->hostEnd) {
      walk->reachedHost = true;
      return;
    }
    DWORD64 base = 0;
    PRUNTIME_FUNCTION entry = RtlLookupFunctionEntry(pc, &base, nullptr);
    if (!entry) {
      walk->withoutEntry = pc;
      return;
    }
    void *handlerData = nullptr;
    DWORD64 establisherFrame = 0;
    RtlVirtualUnwind(UNW_FLAG_NHANDLER, base, pc, entry, &context, &handlerData, &establisherFrame,
                     nullptr);
  }
}

LPVOID WINAPI walkThenAlloc(HANDLE heap, DWORD flags, SIZE_T size) {
  if (walk->frames == 0) {
    walkToHost();
  }
  return HeapAlloc(heap, flags, size);
}

}  // namespace

extern "C" __declspec(dllexport) void walkFromInsidePixman(lumo::test::UnwindWalk *result) {
  const lumo::test::SeamOverride<lumo::paintwatch::HookSeam> seam(hookSeam);
  hookSeam.heapAlloc = walkThenAlloc;
  walk = result;
  // A rectangle with a hole leaves four: pixman allocates their room.
  pixman_region16_t whole, hole, rest;
  pixman_region_init_rect(&whole, 0, 0, 30, 30);
  pixman_region_init_rect(&hole, 10, 10, 10, 10);
  pixman_region_init(&rest);
  pixman_region_subtract(&rest, &whole, &hole);
  pixman_region_fini(&rest);
  pixman_region_fini(&hole);
  pixman_region_fini(&whole);
}
#endif
