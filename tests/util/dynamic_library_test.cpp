#include <gtest/gtest.h>

#include <cstdint>

#include <windows.h>

#include "scope_exit.h"
#include "test_support.h"
#include "util/dynamic_library.h"
#include "util/exception.h"
#include "util/unique_handle.h"

TEST(DynamicLibraryTest, LibraryOnlyInTheCurrentDirectoryIsNotFound) {
  wchar_t saved[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, saved);
  const ScopeExit restore([&saved] { SetCurrentDirectoryW(saved); });
  ASSERT_TRUE(SetCurrentDirectoryW(lumo::test::besideThisProgram(L"cwd_only").c_str()));
  {
    // The default search takes it, so the refusal below is the search flags' doing.
    const lumo::UniqueModule planted(LoadLibraryW(L"cwd_only_probe.dll"));
    ASSERT_TRUE(planted);
  }
  try {
    DynamicLibrary library("cwd_only_probe.dll");
    FAIL() << "loaded from the current directory";
  } catch (const lumo::Exception &e) {
    EXPECT_EQ(e.getMessage(), "cwd_only_probe.dll library not found");
  }
}

TEST(DynamicLibraryTest, FindsSystemAndProgramFolderLibrariesAndTheirExports) {
  const DynamicLibrary kernel("Kernel32.dll");
  EXPECT_NE(kernel.getProcAddress("GetTickCount"), nullptr);
  EXPECT_EQ(kernel.getProcAddress("NoSuchFunctionAnywhere"), nullptr);
  const DynamicLibrary beside("app_dir_probe.dll");
  const auto probe = reinterpret_cast<std::intptr_t (*)()>(beside.getProcAddress("probeValue"));
  ASSERT_NE(probe, nullptr);
  EXPECT_EQ(probe(), 42);
}
