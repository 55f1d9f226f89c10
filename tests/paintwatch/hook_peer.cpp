// Second process for the cross-process hook test: creates a hidden borderless
// window at the place given on the command line, sends it WM_PAINT and ends.
//   hook_peer X Y WIDTH HEIGHT

#include <windows.h>

#include <cstdlib>

static LRESULT CALLBACK quietProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_PAINT) {
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

int wmain(int argc, wchar_t **argv) {
  if (argc != 5) {
    return 2;
  }
  WNDCLASSW windowClass = {};
  windowClass.lpfnWndProc = quietProc;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = L"LumoHookPeer";
  RegisterClassW(&windowClass);
  HWND window = CreateWindowExW(0, windowClass.lpszClassName, L"peer", WS_POPUP,
                                _wtoi(argv[1]), _wtoi(argv[2]), _wtoi(argv[3]), _wtoi(argv[4]),
                                nullptr, nullptr, windowClass.hInstance, nullptr);
  if (window == nullptr) {
    return 1;
  }
  SendMessageW(window, WM_PAINT, 0, 0);
  DestroyWindow(window);
  return 0;
}
