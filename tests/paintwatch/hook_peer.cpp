// Second process for the hook tests, of the same bitness as the hook library
// next to it.
//   hook_peer X Y WIDTH HEIGHT
//     creates a hidden borderless window at that place, sends it WM_PAINT
//     and ends.
//   hook_peer X Y WIDTH HEIGHT ERROR...
//     the same with a message-only window, sent WM_PAINT twice, and
//     failing_heap_hooks.dll loaded, the first posts of its hooks in this
//     process failing with those errors. The desktop's own processes hear
//     of no message-only window, so no hook call of theirs comes between.
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

static int paint(wchar_t **place, HWND parent, int times) {
  WNDCLASSW windowClass = {};
  windowClass.lpfnWndProc = quietProc;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = L"LumoHookPeer";
  RegisterClassW(&windowClass);
  const lumo::UniqueWindow window(CreateWindowExW(
      0, windowClass.lpszClassName, L"peer", WS_POPUP, _wtoi(place[0]), _wtoi(place[1]),
      _wtoi(place[2]), _wtoi(place[3]), parent, nullptr, windowClass.hInstance, nullptr));
  if (!window) {
    return 1;
  }
  for (int i = 0; i < times; ++i) {
    SendMessageW(window.get(), WM_PAINT, 0, 0);
  }
  return 0;
}

struct RefusedPaint {
  wchar_t **place;
  int status;
};

static const int kMaxRefusals = 8;

static int paintWithRefusedPosts(wchar_t **args, int refusals) {
  using WithRefusedPostsFn = void (*)(const DWORD *, int, void (*)(void *), void *);
  const lumo::UniqueModule hooks(LoadLibraryW(L"failing_heap_hooks.dll"));
  if (!hooks) {
    return 1;
  }
  const auto withRefusedPosts = reinterpret_cast<WithRefusedPostsFn>(
      reinterpret_cast<void *>(GetProcAddress(hooks.get(), "withRefusedPosts")));
  if (withRefusedPosts == nullptr) {
    return 1;
  }
  DWORD errors[kMaxRefusals];
  for (int i = 0; i < refusals; ++i) {
    errors[i] = std::wcstoul(args[4 + i], nullptr, 0);
  }
  RefusedPaint run = {args, 1};
  withRefusedPosts(
      errors, refusals,
      [](void *context) {
        auto *run = static_cast<RefusedPaint *>(context);
        run->status = paint(run->place, HWND_MESSAGE, 2);
      },
      &run);
  return run.status;
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
    return paint(argv + 1, nullptr, 1);
  }
  if (argc > 5 && argc <= 5 + kMaxRefusals) {
    return paintWithRefusedPosts(argv + 1, argc - 5);
  }
  return 2;
}
