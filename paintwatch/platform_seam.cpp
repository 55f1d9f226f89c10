#include "paintwatch/platform_seam.h"

#include <atomic>

namespace lumo {
namespace paintwatch {

namespace {

// The table holds these rather than the system functions themselves: an
// imported function's address is known only once the library is loaded,
// and Clang would initialise the table with code run at load, which this
// library has no runtime to run.
HHOOK WINAPI setWindowsHook(int type, HOOKPROC procedure, HINSTANCE module, DWORD thread) {
  return SetWindowsHookExW(type, procedure, module, thread);
}
BOOL WINAPI unhookWindowsHook(HHOOK hook) { return UnhookWindowsHookEx(hook); }
BOOL WINAPI threadTimes(HANDLE thread, LPFILETIME creation, LPFILETIME exit, LPFILETIME kernel,
                        LPFILETIME user) {
  return GetThreadTimes(thread, creation, exit, kernel, user);
}
LPVOID WINAPI heapAllocate(HANDLE heap, DWORD flags, SIZE_T size) {
  return HeapAlloc(heap, flags, size);
}
LPVOID WINAPI heapReallocate(HANDLE heap, DWORD flags, LPVOID block, SIZE_T size) {
  return HeapReAlloc(heap, flags, block, size);
}
int WINAPI systemMetrics(int index) { return GetSystemMetrics(index); }
BOOL WINAPI windowRect(HWND window, LPRECT rect) { return GetWindowRect(window, rect); }
BOOL WINAPI clientRect(HWND window, LPRECT rect) { return GetClientRect(window, rect); }
BOOL WINAPI clientOnScreen(HWND window, LPPOINT point) { return ClientToScreen(window, point); }
BOOL WINAPI post(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return PostMessageW(window, message, wParam, lParam);
}

using SetDpiContext = HANDLE(WINAPI *)(HANDLE);

HANDLE WINAPI refuseDpiContext(HANDLE) { return nullptr; }

// Systems before Windows 10 version 1607 lack the function.
SetDpiContext lookUpSetDpiContext() {
  const HMODULE user32 = GetModuleHandleW(L"user32.dll");
  const FARPROC found =
      user32 != nullptr ? GetProcAddress(user32, "SetThreadDpiAwarenessContext") : nullptr;
  return found != nullptr ? reinterpret_cast<SetDpiContext>(reinterpret_cast<void *>(found))
                          : refuseDpiContext;
}

// Looked up at the first report, not at load. Two threads racing here store
// the same value.
std::atomic<SetDpiContext> setDpiContext{nullptr};

HANDLE WINAPI setDpiContextWherePresent(HANDLE context) {
  SetDpiContext function = setDpiContext.load(std::memory_order_relaxed);
  if (function == nullptr) {
    function = lookUpSetDpiContext();
    setDpiContext.store(function, std::memory_order_relaxed);
  }
  return function(context);
}

}  // namespace

HookSeam hookSeam = {setWindowsHook,
                     unhookWindowsHook,
                     threadTimes,
                     heapAllocate,
                     heapReallocate,
                     setDpiContextWherePresent,
                     systemMetrics,
                     windowRect,
                     clientRect,
                     clientOnScreen,
                     post};

}  // namespace paintwatch
}  // namespace lumo
