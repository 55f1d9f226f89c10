#pragma once

// What the source benchmark's processes share: a block of named memory with
// the run's phase, who is ready, and the marker the latency runs look for;
// and this program started again as a child in another mode.

#include <windows.h>

#include <string>

#include "measure.h"
#include "util/unique_handle.h"

namespace lumo {
namespace bench {

enum Phase : LONG { settingUp = 0, working = 1, settling = 2, comparing = 3, finished = 4 };

struct SharedBlock {
  volatile LONG phase;
  volatile LONG candidateReady;
  volatile LONG workReady;
  // The marker: its number (0: none yet), colour as the screen's pixels
  // hold it (0xRRGGBB), when it was painted, and where.
  volatile LONG markerNumber;
  volatile LONG markerPixel;
  volatile double markerPaintedAt;
  RECT markerPlace;
};

// The block named after the parent's process id, made by the parent and
// opened by its children.
inline void unmapBlock(SharedBlock *block) { UnmapViewOfFile(block); }
using UniqueBlockView = UniqueAny<SharedBlock *, &unmapBlock>;

class SharedMemory {
public:
  SharedMemory(DWORD parentId, bool make) {
    const std::wstring name = L"LumoSourceBench" + std::to_wstring(parentId);
    mapping_.reset(make ? CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                             sizeof(SharedBlock), name.c_str())
                        : OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, name.c_str()));
    if (mapping_) {
      block_.reset(static_cast<SharedBlock *>(
          MapViewOfFile(mapping_.get(), FILE_MAP_ALL_ACCESS, 0, 0, sizeof(SharedBlock))));
    }
  }

  SharedBlock *block() const { return block_.get(); }

private:
  UniqueHandle mapping_;
  // After the mapping, so that the view goes first.
  UniqueBlockView block_;
};

inline LONG phaseOf(const SharedBlock &shared) { return shared.phase; }

inline void setPhase(SharedBlock *shared, Phase phase) {
  InterlockedExchange(&shared->phase, phase);
}

// Pumps this thread's messages until the phase is at least `phase`.
inline void waitForPhase(const SharedBlock &shared, Phase phase) {
  MSG msg;
  while (phaseOf(shared) < phase) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      DispatchMessageW(&msg);
    }
  }
}

// This process's own CPU time, seconds (10 ms granularity under Wine).
inline double ownCpuSeconds() {
  FILETIME created;
  FILETIME ended;
  FILETIME kernel;
  FILETIME user;
  GetProcessTimes(GetCurrentProcess(), &created, &ended, &kernel, &user);
  const auto value = [](const FILETIME &t) {
    return static_cast<double>((static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime);
  };
  return (value(kernel) + value(user)) / 1e7;
}

struct Child {
  UniqueHandle process;
  // Its standard output, where it was asked for.
  UniqueHandle output;
};

// This program again, with `arguments`; its standard output in a pipe
// where `capture`.
inline Child startChild(const std::wstring &arguments, bool capture) {
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring line = L"\"" + std::wstring(self) + L"\" " + arguments;
  Child child;
  HANDLE read = nullptr;
  HANDLE write = nullptr;
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  if (capture && CreatePipe(&read, &write, &inherit, 0)) {
    SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
    child.output.reset(read);
  }
  const UniqueHandle childEnd(write);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = write != nullptr ? write : GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION info = {};
  if (CreateProcessW(self, &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                     &info)) {
    CloseHandle(info.hThread);
    child.process.reset(info.hProcess);
  }
  return child;
}

}  // namespace bench
}  // namespace lumo
