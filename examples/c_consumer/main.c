/* A server's frame loop in C over lumo_source.dll: starts a source, takes
 * its first frame (the whole screen), then shows and paints a small window
 * of its own and takes frames until one carries the window's pixels. A
 * line a frame; exits with 1 where a frame does not come in time.
 *   lumo_c_consumer */

#include <windows.h>

#include <inttypes.h>
#include <stdio.h>

#include "source/screen_source_c.h"

#define WINDOW_COLOUR RGB(0x20, 0xA0, 0x60)
/* As the frame's pixels hold it: 0x00RRGGBB. */
#define PIXEL_COLOUR 0x0020A060u
#define WAIT_MS 10000

static LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_PAINT) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    HBRUSH brush = CreateSolidBrush(WINDOW_COLOUR);
    FillRect(dc, &paint.rcPaint, brush);
    DeleteObject(brush);
    EndPaint(window, &paint);
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

static HWND showWindow(void) {
  WNDCLASSW windowClass;
  HWND window;
  ZeroMemory(&windowClass, sizeof(windowClass));
  windowClass.lpfnWndProc = windowProcedure;
  windowClass.hInstance = GetModuleHandleW(NULL);
  windowClass.lpszClassName = L"lumo_c_consumer";
  RegisterClassW(&windowClass);
  window = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, L"lumo_c_consumer", L"", WS_POPUP, 40,
                           40, 120, 80, NULL, NULL, windowClass.hInstance, NULL);
  if (window != NULL) {
    ShowWindow(window, SW_SHOWNOACTIVATE);
    UpdateWindow(window);
  }
  return window;
}

static void pumpMessages(void) {
  MSG message;
  while (PeekMessageW(&message, NULL, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

/* Whether an area of the frame holds the window's colour at `point`, in
 * screen coordinates. */
static int showsWindow(const lumo_frame *frame, POINT point) {
  const int32_t x = point.x - frame->virtual_screen.left;
  const int32_t y = point.y - frame->virtual_screen.top;
  uint32_t i;
  for (i = 0; i < frame->area_count; ++i) {
    const lumo_area *area = &frame->areas[i];
    if (x >= area->place.left && x < area->place.right && y >= area->place.top &&
        y < area->place.bottom) {
      const uint32_t pixel =
          area->pixels[(y - area->place.top) * area->stride + (x - area->place.left)];
      return (pixel & 0x00FFFFFFu) == PIXEL_COLOUR;
    }
  }
  return 0;
}

/* QueryPerformanceCounter's value before the source started. */
static LONGLONG started;

static LONGLONG performanceCount(void) {
  LARGE_INTEGER count;
  QueryPerformanceCounter(&count);
  return count.QuadPart;
}

/* Prints the frame; 0 where its first report is not of this run. */
static int printFrame(const lumo_frame *frame) {
  const LONGLONG now = performanceCount();
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  printf("frame %" PRIu64 ": %s, %" PRIu32 " areas, %" PRIu32 " moves, %" PRIu64 " pixels sent",
         frame->sequence, frame->whole ? "whole" : "changes", frame->area_count, frame->move_count,
         frame->counts.sent);
  if (frame->first_report_qpc != 0) {
    printf(", %.1f ms after its first report",
           (double)(now - frame->first_report_qpc) * 1000.0 / (double)frequency.QuadPart);
  }
  printf("\n");
  return frame->first_report_qpc == 0 ||
         (frame->first_report_qpc >= started && frame->first_report_qpc <= now);
}

/* Takes frames until one is whole (window NULL) or shows the window. */
static int waitForFrame(lumo_source *source, HWND window) {
  const ULONGLONG deadline = GetTickCount64() + WAIT_MS;
  POINT centre = {0, 0};
  RECT place;
  if (window != NULL && GetWindowRect(window, &place)) {
    centre.x = (place.left + place.right) / 2;
    centre.y = (place.top + place.bottom) / 2;
  }
  while (GetTickCount64() < deadline) {
    const lumo_frame *frame;
    lumo_error error;
    int found;
    /* Short waits: this thread's window is painted between them. */
    const lumo_result result = lumo_source_next(source, 50, &frame, &error);
    pumpMessages();
    if (result == LUMO_TIMED_OUT) {
      continue;
    }
    if (result != LUMO_OK) {
      fprintf(stderr, "lumo_c_consumer: no frame (%d): %s\n", (int)result, error.text);
      return 0;
    }
    if (!printFrame(frame)) {
      fprintf(stderr, "lumo_c_consumer: the frame's first report is not of this run\n");
      lumo_source_release_frame(source, frame);
      return 0;
    }
    found = window == NULL ? frame->whole : showsWindow(frame, centre);
    lumo_source_release_frame(source, frame);
    if (found) {
      return 1;
    }
  }
  fprintf(stderr, "lumo_c_consumer: no such frame in %d ms\n", WAIT_MS);
  return 0;
}

int main(void) {
  lumo_source_settings settings;
  lumo_source *source;
  lumo_error error;
  lumo_result result;
  HWND window;
  int seen;
  lumo_source_default_settings(&settings);
  /* 64-bit programs only: watching 32-bit ones takes paintloader32.exe and
   * paintwatch32.dll beside this program. */
  settings.watch_32 = 0;
  started = performanceCount();
  result = lumo_source_create(&settings, &source, &error);
  if (result != LUMO_OK) {
    fprintf(stderr, "lumo_c_consumer: no source (%d): %s\n", (int)result, error.text);
    return 2;
  }
  seen = waitForFrame(source, NULL);
  window = seen ? showWindow() : NULL;
  seen = window != NULL && waitForFrame(source, window);
  lumo_source_destroy(source);
  if (window != NULL) {
    DestroyWindow(window);
  }
  return seen ? 0 : 1;
}
