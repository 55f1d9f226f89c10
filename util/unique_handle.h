#pragma once

#include <memory>
#include <type_traits>

#include <windows.h>

namespace lumo {

// Sole owners of platform handles. Null means "nothing owned"; a call that
// reports failure with INVALID_HANDLE_VALUE must be stored as null.

struct HandleCloser {
  void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using UniqueHandle = std::unique_ptr<std::remove_pointer_t<HANDLE>, HandleCloser>;

struct ModuleFreer {
  void operator()(HMODULE module) const { FreeLibrary(module); }
};
using UniqueModule = std::unique_ptr<std::remove_pointer_t<HMODULE>, ModuleFreer>;

// Destroying a window must happen on the thread that created it.
struct WindowDestroyer {
  void operator()(HWND window) const { DestroyWindow(window); }
};
using UniqueWindow = std::unique_ptr<std::remove_pointer_t<HWND>, WindowDestroyer>;

}  // namespace lumo
