// A host walks its stack from inside the hook library's pixman code with the
// system's unwinder, as exception dispatch, debuggers and crash dumps do: it
// must pass every frame of the library and arrive back in the host.

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "test_support.h"
#include "unwind_walk.h"
#include "util/unique_handle.h"

namespace {

using WalkFromInsidePixmanFn = void (*)(lumo::test::UnwindWalk *);

// The host's frame the walk must arrive in.
__attribute__((noinline)) void callFromHost(WalkFromInsidePixmanFn walkFromInsidePixman,
                                            lumo::test::UnwindWalk *walk) {
  walkFromInsidePixman(walk);
  asm volatile("");
}

HMODULE moduleOf(DWORD64 pc) {
  HMODULE module = nullptr;
  GetModuleHandleExW(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCWSTR>(pc), &module);
  return module;
}

// Module and offset of each frame, for addr2line and the symbol file.
std::string describe(const lumo::test::UnwindWalk &walk) {
  std::string text;
  for (int i = 0; i < walk.frames; ++i) {
    const HMODULE module = moduleOf(walk.pcs[i]);
    char name[MAX_PATH] = "?";
    GetModuleFileNameA(module, name, MAX_PATH);
    char line[MAX_PATH + 32];
    snprintf(line, sizeof line, "\n  %s+0x%llx", name,
             static_cast<unsigned long long>(walk.pcs[i] - reinterpret_cast<DWORD64>(module)));
    text += line;
  }
  return text;
}

TEST(HookUnwindTest, EveryFrameFromInsidePixmanToTheHostHasAnUnwindEntry) {
  const lumo::UniqueModule library(
      LoadLibraryW(lumo::test::besideThisProgram(L"failing_heap_hooks.dll").c_str()));
  ASSERT_TRUE(library);
  const auto walkFromInsidePixman = reinterpret_cast<WalkFromInsidePixmanFn>(
      reinterpret_cast<void *>(GetProcAddress(library.get(), "walkFromInsidePixman")));
  ASSERT_TRUE(walkFromInsidePixman);

  lumo::test::UnwindWalk walk;
  DWORD64 base = 0;
  const PRUNTIME_FUNCTION host =
      RtlLookupFunctionEntry(reinterpret_cast<DWORD64>(&callFromHost), &base, nullptr);
  ASSERT_TRUE(host);
  walk.hostBegin = base + host->BeginAddress;
  walk.hostEnd = base + host->EndAddress;
  callFromHost(walkFromInsidePixman, &walk);

  EXPECT_EQ(walk.withoutEntry, 0u) << "a frame without an unwind entry:" << describe(walk);
  EXPECT_TRUE(walk.reachedHost) << describe(walk);
  int libraryFrames = 0;
  for (int i = 0; i < walk.frames; ++i) {
    libraryFrames += moduleOf(walk.pcs[i]) == library.get();
  }
  // The walker, the allocation, pixman's own and the export's frames.
  EXPECT_GE(libraryFrames, 4) << describe(walk);
}

}  // namespace
