// paintdemo: a window with a frame, a menu, scroll bars and an owner-drawn
// button that activates, scrolls and repaints itself for a while, so that the
// screen hooks have something to report.
//   paintdemo [SECONDS]

#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "command_line.h"
#include "diagnostics.h"
#include "option_table.h"
#include "text_output.h"
#include "util/unique_handle.h"

namespace {

// The two builds stand side by side, so that a monitor can tell their
// reports apart.
#ifdef _WIN64
const wchar_t kTitle[] = L"Lumo paint demo (64-bit)";
const int kLeft = 120;
#else
const wchar_t kTitle[] = L"Lumo paint demo (32-bit)";
const int kLeft = 640;
#endif
const int kButtonId = 100;
const int kMenuExit = 200;
const UINT_PTR kStepTimer = 1;
const UINT_PTR kEndTimer = 2;
const std::uint32_t kMostSeconds = 3600;

// The window owns the menu bar it is given, and a menu bar its menus.
using UniqueMenu = lumo::UniqueAny<HMENU, &DestroyMenu>;

int scrollPosition = 0;
int step = 0;

void paintBody(HWND window) {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window, &paint);
  const std::wstring text =
      lumo::tools::formatText("step %d, scrolled to %d", step, scrollPosition);
  TextOutW(dc, 10, 50, text.c_str(), static_cast<int>(text.size()));
  EndPaint(window, &paint);
}

void drawButton(const DRAWITEMSTRUCT *item) {
  FillRect(item->hDC, &item->rcItem, GetSysColorBrush(step % 2 ? COLOR_HIGHLIGHT : COLOR_BTNFACE));
  DrawEdge(item->hDC, const_cast<RECT *>(&item->rcItem), EDGE_RAISED, BF_RECT);
}

void scrollBy(HWND window, int bar, int delta) {
  scrollPosition = (scrollPosition + delta) % 100;
  SetScrollPos(window, bar, scrollPosition, TRUE);
  ScrollWindowEx(window, 0, -delta, nullptr, nullptr, nullptr, nullptr, SW_INVALIDATE);
}

// Each step does one of the things a user would: activate, scroll, repaint.
void nextStep(HWND window) {
  ++step;
  switch (step % 4) {
    case 0:
      SetForegroundWindow(window);
      SetActiveWindow(window);
      break;
    case 1:
      SendMessageW(window, WM_VSCROLL, SB_LINEDOWN, 0);
      break;
    case 2:
      SendMessageW(window, WM_HSCROLL, SB_LINERIGHT, 0);
      break;
    default:
      InvalidateRect(window, nullptr, TRUE);
      InvalidateRect(GetDlgItem(window, kButtonId), nullptr, TRUE);
      break;
  }
  UpdateWindow(window);
}

LRESULT CALLBACK demoProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      CreateWindowExW(0, L"BUTTON", L"", WS_CHILD | WS_VISIBLE | BS_OWNERDRAW, 10, 10, 120, 30,
                      window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kButtonId)),
                      GetModuleHandleW(nullptr), nullptr);
      SetScrollRange(window, SB_VERT, 0, 100, FALSE);
      SetScrollRange(window, SB_HORZ, 0, 100, FALSE);
      return 0;
    case WM_PAINT:
      paintBody(window);
      return 0;
    case WM_DRAWITEM:
      drawButton(reinterpret_cast<const DRAWITEMSTRUCT *>(lParam));
      return TRUE;
    case WM_VSCROLL:
      scrollBy(window, SB_VERT, 10);
      return 0;
    case WM_HSCROLL:
      scrollBy(window, SB_HORZ, 10);
      return 0;
    case WM_TIMER:
      if (wParam == kStepTimer) {
        nextStep(window);
      } else {
        PostQuitMessage(0);
      }
      return 0;
    case WM_COMMAND:
      if (LOWORD(wParam) == kMenuExit) {
        PostQuitMessage(0);
      }
      return 0;
    // The window's owner destroys it once the loop has ended.
    case WM_CLOSE:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}

const wchar_t kUsage[] =
    L"usage: paintdemo [SECONDS]\n"
    L"\n"
    L"Shows a window that activates, scrolls and repaints itself for SECONDS\n"
    L"(above 0 and up to 3600; default 3), then ends.\n";

// A program without a console of its own: where the standard stream was not
// handed over, the text goes to the console of the program that started it.
HANDLE reachable(DWORD stream, lumo::UniqueFileHandle *console) {
  const HANDLE handle = GetStdHandle(stream);
  if ((handle == nullptr || handle == INVALID_HANDLE_VALUE) &&
      AttachConsole(ATTACH_PARENT_PROCESS)) {
    console->reset(CreateFileW(L"CONOUT$", GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                               0, nullptr));
    return console->get();
  }
  return handle;
}

bool isHelp(const std::wstring &word) { return word == L"--help" || word == L"-h"; }

// Returns OptionTable::kGoOn to go on, or the exit code.
int readArguments(int argc, wchar_t **argv, std::uint32_t *milliseconds) {
  *milliseconds = 3000;
  lumo::tools::OptionTable table(kUsage, 0);
  table.operands(lumo::tools::secondsValue(kMostSeconds, milliseconds));
  lumo::UniqueFileHandle console;
  if (argc == 2 && isHelp(argv[1])) {
    lumo::tools::writeText(reachable(STD_OUTPUT_HANDLE, &console), table.usage());
    return 0;
  }
  if (argc > 2 || !table.parse(argc, argv).problem.text.empty()) {
    const lumo::tools::Diagnostics diagnostics(L"paintdemo", reachable(STD_ERROR_HANDLE, &console));
    return diagnostics.usageError(
        L"the demo runs for a number of seconds above 0 and up to 3600, not " +
        lumo::tools::quoted(argc > 1 ? argv[1] : L""));
  }
  return lumo::tools::OptionTable::kGoOn;
}

// The demo window with its menu bar, placed beside the other build's.
lumo::UniqueWindow createDemoWindow(HINSTANCE instance) {
  WNDCLASSW windowClass = {};
  windowClass.lpfnWndProc = demoProc;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = GetSysColorBrush(COLOR_WINDOW);
  windowClass.lpszClassName = L"LumoPaintDemo";
  if (!RegisterClassW(&windowClass)) {
    return lumo::UniqueWindow();
  }
  UniqueMenu fileMenu(CreatePopupMenu());
  AppendMenuW(fileMenu.get(), MF_STRING, kMenuExit, L"E&xit");
  UniqueMenu menuBar(CreateMenu());
  if (AppendMenuW(menuBar.get(), MF_POPUP, reinterpret_cast<UINT_PTR>(fileMenu.get()), L"&File")) {
    static_cast<void>(fileMenu.release());
  }
  lumo::UniqueWindow window(CreateWindowExW(
      0, windowClass.lpszClassName, kTitle, WS_OVERLAPPEDWINDOW | WS_HSCROLL | WS_VSCROLL, kLeft,
      90, 480, 360, nullptr, menuBar.get(), instance, nullptr));
  if (window) {
    static_cast<void>(menuBar.release());
  }
  return window;
}

// Shows the window for milliseconds, then ends.
int runDemo(HINSTANCE instance, std::uint32_t milliseconds) {
  const lumo::UniqueWindow window = createDemoWindow(instance);
  if (!window) {
    return 1;
  }
  ShowWindow(window.get(), SW_SHOWNORMAL);
  UpdateWindow(window.get());
  SetTimer(window.get(), kStepTimer, 150, nullptr);
  SetTimer(window.get(), kEndTimer, milliseconds, nullptr);
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return 0;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  std::uint32_t milliseconds = 0;
  const int code = readArguments(__argc, __wargv, &milliseconds);
  return code == lumo::tools::OptionTable::kGoOn ? runDemo(instance, milliseconds) : code;
}
