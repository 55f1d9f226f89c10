#pragma once

// The Windows calls whose rare or machine-dependent outcomes the library must
// handle: a failed event creation, system descriptions shaped differently
// from those of the installed message table. Tests replace these to reach
// such outcomes; the library itself never changes them.

#include <windows.h>

namespace lumo {

struct SystemApi {
  DWORD(WINAPI *formatMessage)(DWORD, LPCVOID, DWORD, DWORD, LPWSTR, DWORD, va_list *);
  HANDLE(WINAPI *createEvent)(LPSECURITY_ATTRIBUTES, BOOL, BOOL, LPCWSTR);
};

extern SystemApi systemApi;

}  // namespace lumo
