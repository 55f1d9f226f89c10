// Second process for the hook tests, of the same bitness as the hook library
// next to it.
//   hook_peer X Y WIDTH HEIGHT
//     creates a hidden borderless window at that place, sends it WM_PAINT
//     and ends.
//   hook_peer install TARGET MESSAGE EVENT
//     installs the hooks for the window TARGET (a number) with MESSAGE, sets
//     the named event, and pumps messages until it is killed: an installer
//     that never removes its hooks.

#include <windows.h>

#include <cstdlib>
#include <cwchar>

#include "paintwatch/paintwatch.h"
#include "util/unique_handle.h"

static LRESULT CALLBACK quietProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_PAINT) {
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

static int paint(wchar_t **place) {
  WNDCLASSW windowClass = {};
  windowClass.lpfnWndProc = quietProc;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = L"LumoHookPeer";
  RegisterClassW(&windowClass);
  const lumo::UniqueWindow window(CreateWindowExW(
      0, windowClass.lpszClassName, L"peer", WS_POPUP, _wtoi(place[0]), _wtoi(place[1]),
      _wtoi(place[2]), _wtoi(place[3]), nullptr, nullptr, windowClass.hInstance, nullptr));
  if (!window) {
    return 1;
  }
  SendMessageW(window.get(), WM_PAINT, 0, 0);
  return 0;
}

static int installAndStay(const wchar_t *target, const wchar_t *message, const wchar_t *event) {
  HWND window = reinterpret_cast<HWND>(static_cast<uintptr_t>(std::wcstoull(target, nullptr, 0)));
  if (!setHookWithMessage(window, static_cast<UINT>(std::wcstoul(message, nullptr, 0)))) {
    return 1;
  }
  const lumo::UniqueHandle installed(OpenEventW(EVENT_MODIFY_STATE, FALSE, event));
  if (!installed || !SetEvent(installed.get())) {
    return 1;
  }
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    DispatchMessageW(&msg);
  }
  return 0;
}

int wmain(int argc, wchar_t **argv) {
  if (argc == 5 && std::wcscmp(argv[1], L"install") == 0) {
    return installAndStay(argv[2], argv[3], argv[4]);
  }
  if (argc == 5) {
    return paint(argv + 1);
  }
  return 2;
}
