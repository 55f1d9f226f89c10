#pragma once

// Owners of the kernel and window objects most code holds.

#include <windows.h>

#include "util/unique_any.h"

namespace lumo {

// Kernel handles whose calls report failure as null.
using UniqueHandle = UniqueAny<HANDLE, &CloseHandle>;

using UniqueModule = UniqueAny<HMODULE, &FreeLibrary>;

// Destroying a window must happen on the thread that created it.
using UniqueWindow = UniqueAny<HWND, &DestroyWindow>;

}  // namespace lumo
