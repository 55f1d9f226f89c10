#pragma once

// Owners of the platform objects the library and its tools hold, all from
// the one template in unique_any.h. A new kind of object gets an alias here.

#include <windows.h>

#include "util/unique_any.h"

namespace lumo {

// CreateFileW, CreateNamedPipeW and their kin report failure as
// INVALID_HANDLE_VALUE, not null.
struct InvalidHandleValueIsInvalid {
  template <typename T>
  static T value() noexcept {
    return INVALID_HANDLE_VALUE;
  }
};

// Kernel handles whose calls report failure as null.
using UniqueHandle = UniqueAny<HANDLE, &CloseHandle>;
// Files and pipes.
using UniqueFileHandle = UniqueAny<HANDLE, &CloseHandle, InvalidHandleValueIsInvalid>;

// Ownership of a mutex, not the mutex: destruction releases it. The mutex's
// own handle must outlive the hold.
using UniqueMutexHold = UniqueAny<HANDLE, &ReleaseMutex>;

using UniqueModule = UniqueAny<HMODULE, &FreeLibrary>;

// Memory the system allocated for the caller with LocalAlloc.
using UniqueLocalMemory = UniqueAny<void *, &LocalFree>;

// Destroying a window must happen on the thread that created it.
using UniqueWindow = UniqueAny<HWND, &DestroyWindow>;

inline void releaseScreenDc(HDC dc) { ReleaseDC(nullptr, dc); }
// The screen's device context, from GetDC(nullptr).
using UniqueScreenDc = UniqueAny<HDC, &releaseScreenDc>;
using UniqueMemoryDc = UniqueAny<HDC, &DeleteDC>;
using UniqueBitmap = UniqueAny<HBITMAP, &DeleteObject>;
using UniqueBrush = UniqueAny<HBRUSH, &DeleteObject>;

}  // namespace lumo
