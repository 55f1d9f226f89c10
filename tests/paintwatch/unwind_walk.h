// What a stack walk from inside the hook library found, filled in by the
// test copy of the library for its host.
#pragma once

#include <windows.h>

namespace lumo::test {

struct UnwindWalk {
  static constexpr int kMaxFrames = 32;
  // Where the walk should end: the host's function that called in.
  DWORD64 hostBegin = 0;
  DWORD64 hostEnd = 0;
  int frames = 0;
  DWORD64 pcs[kMaxFrames] = {};
  DWORD64 withoutEntry = 0;
  bool reachedHost = false;
};

}  // namespace lumo::test
