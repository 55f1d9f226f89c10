// The workload run as a user runs it: what it refuses, and that the programs
// it starts go with it, also when it is killed.

#include <gtest/gtest.h>

#include <windows.h>

#include <future>
#include <string>
#include <thread>

#include "monitor_child.h"
#include "util/unique_handle.h"

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

// A window of this process, none of the workload's, with an edit control
// that counts what reaches it; pumped by a thread of its own.
class BystanderWindow {
public:
  BystanderWindow() {
    std::promise<void> made;
    thread_ = std::thread([this, &made] {
      threadId_ = GetCurrentThreadId();
      window_.reset(CreateWindowExW(0, L"STATIC", L"Lumo bystander",
                                    WS_OVERLAPPEDWINDOW | WS_VISIBLE, 400, 300, 300, 200, nullptr,
                                    nullptr, nullptr, nullptr));
      edit_ = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE | ES_MULTILINE, 0, 0, 280, 150,
                              window_.get(), nullptr, nullptr, nullptr);
      made.set_value();
      MSG msg;
      while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
      }
      window_.reset();
    });
    made.get_future().wait();
  }
  ~BystanderWindow() {
    PostThreadMessageW(threadId_, WM_QUIT, 0, 0);
    thread_.join();
  }

  // Takes the front and the keyboard, as a person clicking it would.
  void bringInFront() {
    SetForegroundWindow(window_.get());
    SetFocus(edit_);
  }
  bool inFront() const { return GetForegroundWindow() == window_.get(); }
  int charactersReceived() const { return GetWindowTextLengthW(edit_); }

private:
  std::thread thread_;
  DWORD threadId_ = 0;
  lumo::UniqueWindow window_;
  HWND edit_ = nullptr;
};

TEST(PaintWorkloadTest, AnotherProgramsWindowInFrontStopsTheWorkloadNamingIt) {
  ASSERT_TRUE(soon(false)) << "a Notepad of another test is still open";
  BystanderWindow bystander;
  Child typing(L"--task typing 1", Child::Output::File, L"paintworkload.exe");
  ASSERT_TRUE(soon(true)) << typing.err();
  Sleep(1000);
  // Again while the workload runs: it brings Notepad forward between steps.
  DWORD code = ~0u;
  for (int i = 0; i < 50 && code == ~0u; ++i) {
    if (!bystander.inFront()) {
      bystander.bringInFront();
    }
    code = typing.finish(100);
  }
  EXPECT_EQ(code, 1u) << typing.err();
  EXPECT_NE(typing.err().find("window \"Lumo bystander\" of "), std::string::npos) << typing.err();
  const std::string program =
      "paintmonitor_test.exe (process " + std::to_string(GetCurrentProcessId()) + ")";
  EXPECT_NE(typing.err().find(program), std::string::npos) << typing.err();
  // A check and then the key: the one on its way may land.
  EXPECT_LE(bystander.charactersReceived(), 1);
  EXPECT_TRUE(soon(false));
}

}  // namespace
