#pragma once

// What the launching code takes from the system that tests must play: a
// program path beyond the first buffer, a terminal-services library that
// cannot be loaded, session layouts and system versions no test machine
// has. The two process-wide records are reached through here, so a test
// points them at records of its own and the process's own stay untouched.
// Tests replace entries (through SeamOverride); the library never changes
// them. Not installed: programs that use the library have no business here.

#include <cstddef>
#include <memory>
#include <string>

#include <windows.h>
#include <wtsapi32.h>

#include "util/dynamic_library.h"

namespace lumo {

// The terminal-services functions, looked up at run time because a system
// may lack them.
struct TerminalServicesTable {
  // Set after the first load, also a failed one: loading is never retried.
  bool loaded = false;
  std::unique_ptr<DynamicLibrary> kernel32;
  std::unique_ptr<DynamicLibrary> wtsapi32;
  // Each is null when its library or export is missing.
  DWORD(WINAPI *wtsGetActiveConsoleSessionId)() = nullptr;
  BOOL(WINAPI *wtsQueryUserToken)(ULONG, PHANDLE) = nullptr;
  BOOL(WINAPI *wtsQuerySessionInformation)
  (HANDLE, DWORD, WTS_INFO_CLASS, LPWSTR *, DWORD *) = nullptr;
  BOOL(WINAPI *wtsEnumerateSessions)(HANDLE, DWORD, DWORD, PWTS_SESSION_INFOW *, DWORD *) = nullptr;
  void(WINAPI *wtsFreeMemory)(PVOID) = nullptr;
};

// Session details the system headers of this tool chain do not declare.
constexpr WTS_INFO_CLASS wtsSessionInfoEx = static_cast<WTS_INFO_CLASS>(25);
constexpr LONG wtsSessionStateLock = 0;
constexpr LONG wtsSessionStateUnlock = 1;
// The one level of the extended record that carries the session flags.
constexpr DWORD wtsInfoExLevel1 = 1;

struct WtsInfoExLevel1 {
  ULONG sessionId;
  WTS_CONNECTSTATE_CLASS sessionState;
  LONG sessionFlags;
  WCHAR winStationName[WINSTATIONNAME_LENGTH + 1];
  WCHAR userName[USERNAME_LENGTH + 1];
  WCHAR domainName[DOMAIN_LENGTH + 1];
  LARGE_INTEGER logonTime;
  LARGE_INTEGER connectTime;
  LARGE_INTEGER disconnectTime;
  LARGE_INTEGER lastInputTime;
  LARGE_INTEGER currentTime;
  DWORD incomingBytes;
  DWORD outgoingBytes;
  DWORD incomingFrames;
  DWORD outgoingFrames;
  DWORD incomingCompressedBytes;
  DWORD outgoingCompressedBytes;
};

struct WtsInfoEx {
  DWORD level;
  WtsInfoExLevel1 level1;
};

static_assert(offsetof(WtsInfoEx, level1) == 8 && sizeof(WtsInfoExLevel1) == 224,
              "layout of the system's extended session record");

struct WinSeam {
  DWORD(WINAPI *getModuleFileName)(HMODULE, LPWSTR, DWORD);
  // Throws lumo::Exception when the library cannot be loaded.
  std::unique_ptr<DynamicLibrary> (*openLibrary)(const std::string &name);
  // Filled by the first session operation, read after that.
  TerminalServicesTable *terminalServices;
  // Filled by the first windowsVersion() that can read the system's.
  RTL_OSVERSIONINFOW *versionRecord;
};

extern WinSeam winSeam;

}  // namespace lumo
