// The little of a C and C++ runtime that the hook library needs. Windows
// maps the library into every message-pumping process on the desktop, so a
// runtime of its own would run in all of them: thread-library callbacks at
// every thread start and end, an exception handler ahead of the host's own,
// and heap that is never given back at unload. So the library links none,
// and takes from here what pixman's region code and the compilers call:
// allocation from the host's process heap (through the seam, so that tests
// can make it fail), the memory helpers, and pixman's error log, kept
// silent. Built freestanding, so that no loop below is turned into a call
// to itself.

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "paintwatch/platform_seam.h"

using lumo::paintwatch::hookSeam;

extern "C" {

// Null on failure: pixman then leaves the region in its failed state, which
// yields no rectangles.
void *malloc(size_t size) { return hookSeam.heapAlloc(GetProcessHeap(), 0, size); }

void free(void *block) {
  if (block != nullptr) {
    HeapFree(GetProcessHeap(), 0, block);
  }
}

// Null on failure, with the old block still valid, as the C library's.
void *realloc(void *block, size_t size) {
  if (block == nullptr) {
    return malloc(size);
  }
  return hookSeam.heapReAlloc(GetProcessHeap(), 0, block, size);
}

void *memcpy(void *destination, const void *source, size_t count) {
  auto *to = static_cast<unsigned char *>(destination);
  const auto *from = static_cast<const unsigned char *>(source);
  for (size_t i = 0; i < count; ++i) {
    to[i] = from[i];
  }
  return destination;
}

void *memmove(void *destination, const void *source, size_t count) {
  if (reinterpret_cast<uintptr_t>(destination) <= reinterpret_cast<uintptr_t>(source)) {
    return memcpy(destination, source, count);
  }
  auto *to = static_cast<unsigned char *>(destination);
  const auto *from = static_cast<const unsigned char *>(source);
  while (count > 0) {
    --count;
    to[count] = from[count];
  }
  return destination;
}

void *memset(void *destination, int value, size_t count) {
  auto *to = static_cast<unsigned char *>(destination);
  for (size_t i = 0; i < count; ++i) {
    to[i] = static_cast<unsigned char>(value);
  }
  return destination;
}

// pixman reports its internal inconsistencies on stderr, which is the host's.
void _pixman_log_error(const char *, const char *) {}

}  // extern "C"

// Rect and Region are polymorphic, and a vtable names the deleting
// destructor, which names these. Nothing in the library is made with new.
void operator delete(void *block) noexcept { free(block); }
void operator delete(void *block, size_t) noexcept { free(block); }
