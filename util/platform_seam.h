#pragma once

// The Windows calls of the core library whose rare or machine-dependent
// outcomes it must handle: a failed event creation, system descriptions
// shaped differently from those of the installed message table. Tests
// replace entries (through SeamOverride); the library never changes them.
// Not installed: programs that use the library have no business here.

#include <windows.h>

namespace lumo {

struct UtilSeam {
  DWORD(WINAPI *formatMessage)(DWORD, LPCVOID, DWORD, DWORD, LPWSTR, DWORD, va_list *);
  HANDLE(WINAPI *createEvent)(LPSECURITY_ATTRIBUTES, BOOL, BOOL, LPCWSTR);
};

extern UtilSeam utilSeam;

}  // namespace lumo
