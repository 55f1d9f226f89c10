#ifndef LUMO_SCREEN_SOURCE_C_H
#define LUMO_SCREEN_SOURCE_C_H

/* The screen source for servers built with any compiler: lumo_source.dll.
 * Plain C, fixed-width fields, the calling convention named, and no
 * exception crosses it: every failure is a result with a text.
 *
 * Threads. One thread at a time calls next() and release_frame();
 * stop() may be called from any thread while next() waits; destroy()
 * once no other call runs. */

#include <stddef.h>
#include <stdint.h>
#include <wchar.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(LUMO_SOURCE_BUILDING)
#define LUMO_SOURCE_API __declspec(dllexport)
#else
#define LUMO_SOURCE_API __declspec(dllimport)
#endif
#define LUMO_SOURCE_CALL __cdecl

/* The layout the DLL was built with, whatever packing the includer set. */
#pragma pack(push, 8)

typedef enum lumo_result {
  LUMO_OK = 0,
  LUMO_TIMED_OUT = 1,
  /* stop() was called. */
  LUMO_STOPPED = 2,
  LUMO_ERROR_BAD_ARGUMENT = -1,
  /* create() failed at one of its steps. */
  LUMO_ERROR_REPORT_WINDOW = -2,
  LUMO_ERROR_LIBRARY_MISSING = -3,
  LUMO_ERROR_LIBRARY_OTHER_BITNESS = -4,
  LUMO_ERROR_LIBRARY_NOT_LOADED = -5,
  LUMO_ERROR_NOT_HOOK_LIBRARY = -6,
  /* Another program holds the hooks, or the system refused one. */
  LUMO_ERROR_HOOKS_REFUSED = -7,
  LUMO_ERROR_LOADER_NOT_STARTED = -8,
  LUMO_ERROR_DESKTOP_REFUSED = -9,
  LUMO_ERROR_RESOURCES = -10,
  LUMO_ERROR_OUT_OF_MEMORY = -11,
  /* next() while the last frame is not released. */
  LUMO_ERROR_FRAME_HELD = -12,
  /* A failure of no kind above; the text says what. */
  LUMO_ERROR_UNEXPECTED = -13
} lumo_result;

/* What went wrong, in UTF-8, NUL-terminated; cut at a character. */
typedef struct lumo_error {
  char text[512];
} lumo_error;

typedef struct lumo_source_settings {
  /* sizeof(lumo_source_settings) as the caller compiled it: the structure
   * may grow at its end. */
  uint32_t size;
  /* The hook library of the process's bitness, by its full path. NULL or
   * empty: paintwatch64.dll (or paintwatch32.dll) beside the program. */
  const wchar_t *hook_library;
  /* 64-bit processes: paintloader32.exe beside the program watches 32-bit
   * ones. */
  int32_t watch_32;
  /* The least time from one frame to the next. */
  uint32_t min_interval_ms;
  /* How often the desktop is looked at for what the hooks cannot see. */
  uint32_t tick_interval_ms;
} lumo_source_settings;

/* Left and top inside, right and bottom outside. */
typedef struct lumo_rect {
  int32_t left, top, right, bottom;
} lumo_rect;

/* Copy `source` of the picture as it was to where its top left is
 * (to_left, to_top). */
typedef struct lumo_move {
  lumo_rect source;
  int32_t to_left, to_top;
} lumo_move;

/* New pixels for `place`: 32 bits each, 0x00RRGGBB (the top byte is
 * anything), top row first, `stride` pixels (not bytes) from one row to the
 * next. */
typedef struct lumo_area {
  lumo_rect place;
  const uint32_t *pixels;
  int32_t stride;
} lumo_area;

/* Pixels: named by the hints, read from the screen, compared, sent as
 * areas, and copied by the moves. */
typedef struct lumo_counts {
  uint64_t hinted, captured, compared, sent, copied;
} lumo_counts;

/* To draw a frame: the moves one after another, then the areas. Their
 * places are in the virtual screen's coordinates, (0, 0) at its top left;
 * virtual_screen itself is in screen coordinates. */
typedef struct lumo_frame {
  /* 1 for the first frame, one more for each after it. */
  uint64_t sequence;
  /* QueryPerformanceCounter's value when the first report this frame
   * answers was taken: comparable with the server's own. 0 where it
   * answers none. */
  int64_t first_report_qpc;
  /* Non-zero: the picture is made anew, the one area is the whole screen. */
  int32_t whole;
  lumo_rect virtual_screen;
  const lumo_move *moves;
  uint32_t move_count;
  const lumo_area *areas;
  uint32_t area_count;
  lumo_counts counts;
} lumo_frame;

typedef struct lumo_source lumo_source;

/* Fills `settings` with the defaults, its size included. */
LUMO_SOURCE_API void LUMO_SOURCE_CALL lumo_source_default_settings(lumo_source_settings *settings);

/* Starts a source: its window, the hooks, the 32-bit loader, its thread.
 * NULL settings: the defaults. On failure *source is NULL and nothing of
 * it is left running. `error` may be NULL, here and below. */
LUMO_SOURCE_API lumo_result LUMO_SOURCE_CALL
lumo_source_create(const lumo_source_settings *settings, lumo_source **source, lumo_error *error);

/* Non-zero where 32-bit processes are watched. Where they are not though
 * asked, `why` says why; its text is empty where the loader said why
 * itself, on the standard error this process gave it. */
LUMO_SOURCE_API int32_t LUMO_SOURCE_CALL lumo_source_watching_32(lumo_source *source,
                                                                 lumo_error *why);

/* Waits up to timeout_ms for something to have changed and builds the next
 * frame: LUMO_OK with *frame set, LUMO_TIMED_OUT or LUMO_STOPPED with
 * *frame NULL.
 *
 * A frame's areas point into the source's picture of the screen, which the
 * next frame changes. So a frame is held until it is released, and next()
 * while one is held gives LUMO_ERROR_FRAME_HELD and changes nothing. A
 * frame is valid until it is released, or the source stopped or destroyed.
 *
 * LUMO_ERROR_OUT_OF_MEMORY loses nothing: the next call hands out what
 * could not be, or a whole frame. */
LUMO_SOURCE_API lumo_result LUMO_SOURCE_CALL lumo_source_next(lumo_source *source,
                                                              uint32_t timeout_ms,
                                                              const lumo_frame **frame,
                                                              lumo_error *error);

/* Ends the hold on the frame next() gave; any other pointer is ignored. */
LUMO_SOURCE_API void LUMO_SOURCE_CALL lumo_source_release_frame(lumo_source *source,
                                                                const lumo_frame *frame);

/* Removes the hooks and ends the source's thread; a next() waiting gives
 * LUMO_STOPPED. */
LUMO_SOURCE_API void LUMO_SOURCE_CALL lumo_source_stop(lumo_source *source);

/* Stops and frees the source and its frame. NULL is fine. */
LUMO_SOURCE_API void LUMO_SOURCE_CALL lumo_source_destroy(lumo_source *source);

#pragma pack(pop)

#ifdef __cplusplus
}
#endif

#endif
