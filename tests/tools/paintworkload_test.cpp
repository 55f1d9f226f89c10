// The workload run as a user runs it: what it refuses, and that the programs
// it starts go with it, also when it is killed.

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "monitor_child.h"

namespace {

using lumo::test::Child;

bool notepadShown() { return FindWindowW(L"Notepad", nullptr) != nullptr; }

// Polls for up to ten seconds.
bool soon(bool want) {
  for (int i = 0; i < 200; ++i, Sleep(50)) {
    if (notepadShown() == want) {
      return true;
    }
  }
  return false;
}

TEST(PaintWorkloadTest, BadTasksAndTimesAreNamedAndExitWithTwo) {
  const struct {
    const wchar_t *arguments;
    const char *message;
  } cases[] = {
      {L"--task", "--task needs a value"},
      {L"--task draw", "--task needs one of typing, moves, menus, idle or console, not \"draw\""},
      {L"--task idle 0", "SECONDS must be a number of seconds above 0 and up to 3600, not \"0\""},
      {L"--task idle 3601", "not \"3601\""},
      {L"3 4", "only one number of seconds can be given, \"4\" is one too many"},
  };
  for (const auto &c : cases) {
    Child child(c.arguments, Child::Output::File, L"paintworkload.exe");
    ASSERT_TRUE(child.started());
    EXPECT_EQ(child.finish(), 2u) << c.message;
    EXPECT_NE(child.err().find(c.message), std::string::npos) << child.err();
  }
  Child help(L"--help", Child::Output::File, L"paintworkload.exe");
  EXPECT_EQ(help.finish(), 0u);
  EXPECT_NE(help.out().find("  console "), std::string::npos) << help.out();
}

TEST(PaintWorkloadTest, ProgramsEndWithTheWorkloadAndWhenItIsKilled) {
  ASSERT_TRUE(soon(false)) << "a Notepad of another test is still open";
  {
    Child done(L"--task idle 1", Child::Output::File, L"paintworkload.exe");
    EXPECT_EQ(done.finish(), 0u) << done.err();
    EXPECT_FALSE(notepadShown());
  }
  Child killed(L"--task idle 60", Child::Output::File, L"paintworkload.exe");
  ASSERT_TRUE(soon(true)) << killed.err();
  killed.kill();
  EXPECT_TRUE(soon(false));
}

}  // namespace
