// The owner of a hook library and its installation, against the real
// library, one whose hooks cannot be removed, and files that are no hook
// library of this bitness.

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "paintwatch/paintwatch.h"
#include "test_support.h"
#include "source/hook_library.h"

namespace {

using lumo::source::HookLibrary;
using lumo::test::besideThisProgram;

int removalAttempts() {
  const HMODULE stuck = GetModuleHandleW(besideThisProgram(L"stuck_hooks.dll").c_str());
  using Count = int (*)();
  const auto count =
      reinterpret_cast<Count>(reinterpret_cast<void *>(GetProcAddress(stuck, "removalAttempts")));
  return count != nullptr ? count() : -1;
}

TEST(HookLibraryTest, HooksComeDownWhenTheOwnerEnds) {
  const lumo::test::UniqueWindow target = lumo::test::createTargetWindow();
  const UINT message = RegisterWindowMessageW(L"lumo-test-owner");
  {
    HookLibrary hooks(besideThisProgram(L"paintwatch64.dll"));
    ASSERT_EQ(hooks.install(target.get(), message), HookLibrary::Outcome::Installed);
    // Only one installation at a time: the owner's is in place.
    EXPECT_FALSE(setHookWithMessage(target.get(), message + 1));
  }
  EXPECT_TRUE(setHookWithMessage(target.get(), message));
  EXPECT_TRUE(unsetHookForWindow(target.get(), message));
}

TEST(HookLibraryTest, AFailedRemovalIsTriedOnceWhenTheOwnerEnds) {
  const lumo::test::UniqueWindow target = lumo::test::createTargetWindow();
  // Kept loaded here, so that its count outlives the owner.
  const lumo::UniqueModule stuck(LoadLibraryW(besideThisProgram(L"stuck_hooks.dll").c_str()));
  const int before = removalAttempts();
  {
    HookLibrary hooks(besideThisProgram(L"stuck_hooks.dll"));
    ASSERT_EQ(hooks.install(target.get(), WM_APP), HookLibrary::Outcome::Installed);
  }
  EXPECT_EQ(removalAttempts(), before + 1);
}

TEST(HookLibraryTest, AnExplicitRemovalGivesItsOutcomeToTheCaller) {
  const lumo::test::UniqueWindow target = lumo::test::createTargetWindow();
  HookLibrary hooks(besideThisProgram(L"stuck_hooks.dll"));
  EXPECT_TRUE(hooks.remove());
  ASSERT_EQ(hooks.install(target.get(), WM_APP), HookLibrary::Outcome::Installed);
  const int before = removalAttempts();
  EXPECT_FALSE(hooks.remove());
  // Tried once: neither a second call nor the end of the owner tries again.
  EXPECT_TRUE(hooks.remove());
  EXPECT_EQ(removalAttempts(), before + 1);
}

TEST(HookLibraryTest, WhatCannotServeIsToldApart) {
  const struct {
    const wchar_t *path;
    HookLibrary::Outcome outcome;
  } cases[] = {
      {L"no-such-hooks.dll", HookLibrary::Outcome::NotFound},
      {L"paintwatch32.dll", HookLibrary::Outcome::NotThisBitness},
      {L"C:\\windows\\system32\\version.dll", HookLibrary::Outcome::NotHookLibrary},
  };
  const lumo::test::UniqueWindow target = lumo::test::createTargetWindow();
  for (const auto &c : cases) {
    const std::wstring path = c.path[1] == L':' ? c.path : besideThisProgram(c.path);
    HookLibrary hooks(path);
    EXPECT_EQ(hooks.install(target.get(), WM_APP), c.outcome) << hooks.path();
    EXPECT_TRUE(hooks.remove());
  }
}

}  // namespace
