#pragma once

/* Bytes in use on every heap of this process: what a library left behind
 * shows as a difference. C and C++, for the C host test and the hook
 * benchmark. */

#include <windows.h>

static inline SIZE_T heapBytesInUse(void) {
  HANDLE heaps[64];
  const DWORD count = GetProcessHeaps(64, heaps);
  SIZE_T total = 0;
  for (DWORD i = 0; i < count && i < 64; ++i) {
    PROCESS_HEAP_ENTRY entry;
    ZeroMemory(&entry, sizeof(entry));
    HeapLock(heaps[i]);
    while (HeapWalk(heaps[i], &entry)) {
      if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) {
        total += entry.cbData;
      }
    }
    HeapUnlock(heaps[i]);
  }
  return total;
}
