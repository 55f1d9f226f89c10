// The owner of a hook library and its installation, against the real
// library, one whose hooks cannot be removed, and files that are no hook
// library of this bitness.

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "paintwatch/paintwatch.h"
#include "test_support.h"
#include "tools/common/diagnostics.h"
#include "tools/common/hook_library.h"

namespace {

using lumo::test::besideThisProgram;
using lumo::tools::Diagnostics;
using lumo::tools::HookLibrary;

const wchar_t kRemovalFailure[] = L"the hooks stayed";

// What the owner says, in a file.
class Said {
public:
  Said()
      : path_(besideThisProgram(L"hook_library_test_" + std::to_wstring(GetCurrentProcessId()) +
                                L".txt")),
        file_(CreateFileW(path_.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                          nullptr, CREATE_ALWAYS, FILE_FLAG_DELETE_ON_CLOSE, nullptr)),
        diagnostics_(L"tool", file_.get()) {}
  const Diagnostics &diagnostics() const { return diagnostics_; }
  std::string text() const {
    const lumo::UniqueFileHandle reader(CreateFileW(
        path_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, 0, nullptr));
    char buffer[512];
    DWORD read = 0;
    ReadFile(reader.get(), buffer, sizeof buffer, &read, nullptr);
    return std::string(buffer, read);
  }

private:
  std::wstring path_;
  lumo::UniqueFileHandle file_;
  Diagnostics diagnostics_;
};

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
  Said said;
  {
    HookLibrary hooks(besideThisProgram(L"paintwatch64.dll"), said.diagnostics(), kRemovalFailure);
    ASSERT_EQ(hooks.install(target.get(), message), HookLibrary::Outcome::Installed);
    // Only one installation at a time: the owner's is in place.
    EXPECT_FALSE(setHookWithMessage(target.get(), message + 1));
  }
  EXPECT_TRUE(setHookWithMessage(target.get(), message));
  EXPECT_TRUE(unsetHookForWindow(target.get(), message));
  EXPECT_EQ(said.text(), "");
}

TEST(HookLibraryTest, AFailedRemovalIsSaidOnceWhenTheOwnerEnds) {
  const lumo::test::UniqueWindow target = lumo::test::createTargetWindow();
  // Kept loaded here, so that its count outlives the owner.
  const lumo::UniqueModule stuck(LoadLibraryW(besideThisProgram(L"stuck_hooks.dll").c_str()));
  const int before = removalAttempts();
  Said said;
  {
    HookLibrary hooks(besideThisProgram(L"stuck_hooks.dll"), said.diagnostics(), kRemovalFailure);
    ASSERT_EQ(hooks.install(target.get(), WM_APP), HookLibrary::Outcome::Installed);
  }
  EXPECT_EQ(removalAttempts(), before + 1);
  EXPECT_EQ(said.text(), "tool: the hooks stayed\r\n");
}

TEST(HookLibraryTest, AnExplicitRemovalGivesItsOutcomeToTheCaller) {
  const lumo::test::UniqueWindow target = lumo::test::createTargetWindow();
  Said said;
  HookLibrary hooks(besideThisProgram(L"stuck_hooks.dll"), said.diagnostics(), kRemovalFailure);
  EXPECT_TRUE(hooks.remove());
  ASSERT_EQ(hooks.install(target.get(), WM_APP), HookLibrary::Outcome::Installed);
  const int before = removalAttempts();
  EXPECT_FALSE(hooks.remove());
  // Tried once: neither a second call nor the end of the owner tries again.
  EXPECT_TRUE(hooks.remove());
  EXPECT_EQ(removalAttempts(), before + 1);
  EXPECT_EQ(said.text(), "");
}

TEST(HookLibraryTest, WhatCannotServeIsToldApart) {
  Said said;
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
    HookLibrary hooks(path, said.diagnostics(), kRemovalFailure);
    EXPECT_EQ(hooks.install(target.get(), WM_APP), c.outcome) << hooks.path();
    EXPECT_TRUE(hooks.remove());
  }
  EXPECT_EQ(said.text(), "");
}

}  // namespace
