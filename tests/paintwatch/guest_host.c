/* A host process as the hook library meets it: it loads the library the way
 * the hooks do and watches what that does to its exception handling, its
 * threads and its heap. Plain C, with no thread library of its own, so that
 * what it sees is the library's doing.
 *   guest_host LIBRARY     (a file beside this program) */

#include <windows.h>
#include <tlhelp32.h>

#include <stdio.h>
#include <wchar.h>

#include "heap_in_use.h"

/* Debuggers and profilers name threads with this exception. */
#define THREAD_NAMING_EXCEPTION 0x406D1388u
#define LOAD_CYCLES 20

static volatile LONG threadNamesSeen = 0;
static int passed = 0;
static int failed = 0;

static void check(int ok, const char *what) {
  printf("%s: %s\n", ok ? "ok" : "FAILED", what);
  if (ok) {
    ++passed;
  } else {
    ++failed;
  }
}

static LONG CALLBACK lastHandler(EXCEPTION_POINTERS *pointers) {
  if (pointers->ExceptionRecord->ExceptionCode != THREAD_NAMING_EXCEPTION) {
    return EXCEPTION_CONTINUE_SEARCH;
  }
  InterlockedIncrement(&threadNamesSeen);
  return EXCEPTION_CONTINUE_EXECUTION;
}

/* Whether this process's last vectored handler still receives a thread's
 * naming, which the handlers ahead of it may swallow. */
static int lastHandlerSeesThreadNaming(void) {
  const ULONG_PTR naming[4] = {0x1000, (ULONG_PTR) "guest host", (ULONG_PTR)-1, 0};
  const LONG before = threadNamesSeen;
  RaiseException(THREAD_NAMING_EXCEPTION, 0, 4, naming);
  return threadNamesSeen == before + 1;
}

static int threadCount(void) {
  THREADENTRY32 entry;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  int count = 0;
  if (snapshot == INVALID_HANDLE_VALUE) {
    return -1;
  }
  ZeroMemory(&entry, sizeof(entry));
  entry.dwSize = sizeof(entry);
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
    count += entry.th32OwnerProcessID == GetCurrentProcessId();
  }
  CloseHandle(snapshot);
  return count;
}

static HMODULE load(const wchar_t *path) {
  return LoadLibraryExW(path, NULL, LOAD_WITH_ALTERED_SEARCH_PATH);
}

int wmain(int argc, wchar_t **argv) {
  wchar_t path[MAX_PATH];
  if (argc != 2 || GetModuleFileNameW(NULL, path, MAX_PATH) == MAX_PATH) {
    fprintf(stderr, "usage: guest_host LIBRARY\n");
    return 2;
  }
  wcscpy(wcsrchr(path, L'\\') + 1, argv[1]);
  AddVectoredExceptionHandler(0, lastHandler);
  check(lastHandlerSeesThreadNaming(),
        "the host's last handler sees thread naming before the load");

  const int threadsBefore = threadCount();
  HMODULE library = load(path);
  check(library != NULL, "the library loads");
  check(threadCount() == threadsBefore, "the load starts no thread");
  check(lastHandlerSeesThreadNaming(), "the host's last handler sees thread naming while loaded");
  FreeLibrary(library);
  check(lastHandlerSeesThreadNaming(), "the host's last handler sees thread naming after unload");

  const SIZE_T heapBefore = heapBytesInUse();
  for (int i = 0; i < LOAD_CYCLES; ++i) {
    FreeLibrary(load(path));
  }
  const SIZE_T heapAfter = heapBytesInUse();
  printf("heap left by %d loads and unloads: %.0f bytes\n", LOAD_CYCLES,
         (double)heapAfter - (double)heapBefore);
  check(heapAfter <= heapBefore, "loads and unloads leave nothing on the heap");

  printf("%d passed, %d failed\n", passed, failed);
  return failed == 0 ? 0 : 1;
}
