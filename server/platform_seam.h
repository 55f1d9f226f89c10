#pragma once

// The Windows calls of the control channel and the catalogue whose rare
// outcomes they must handle: a pipe that opens but cannot be prepared, a
// cancellation the system refuses, a tick count about to wrap, a refused
// message registration. Tests replace entries (through SeamOverride); the
// library never changes them. Not installed: programs that use the library
// have no business here.

#include <windows.h>

namespace lumo {
namespace server {

struct ServerSeam {
  HANDLE(WINAPI *createFile)(LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE);
  BOOL(WINAPI *setNamedPipeHandleState)(HANDLE, LPDWORD, LPDWORD, LPDWORD);
  BOOL(WINAPI *resetEvent)(HANDLE);
  BOOL(WINAPI *setEvent)(HANDLE);
  BOOL(WINAPI *cancelIoEx)(HANDLE, LPOVERLAPPED);
  // The exchange clock.
  DWORD(WINAPI *getTickCount)();
  UINT(WINAPI *registerWindowMessage)(LPCWSTR);
};

extern ServerSeam serverSeam;

}  // namespace server
}  // namespace lumo
