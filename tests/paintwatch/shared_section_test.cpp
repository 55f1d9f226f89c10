// A hostile process writes into the hook library's shared section, which
// every process that maps the library shares: here the section of this
// process's own mapping, found by the values an honest installation stored.

#include <gtest/gtest.h>

#include <cstring>

#include "paintwatch/paintwatch.h"
#include "test_windows.h"

using lumo::region::Rect;
using lumo::test::UniqueWindow;

namespace {

// The library's ".shared" section as this process maps it.
struct SharedSection {
  unsigned char *begin = nullptr;
  size_t size = 0;
};

SharedSection sharedSectionOfTheLibrary() {
  HMODULE library = nullptr;
  GetModuleHandleExW(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCWSTR>(&setHookWithMessage), &library);
  auto *base = reinterpret_cast<unsigned char *>(library);
  const auto *nt = reinterpret_cast<const IMAGE_NT_HEADERS *>(
      base + reinterpret_cast<const IMAGE_DOS_HEADER *>(base)->e_lfanew);
  const IMAGE_SECTION_HEADER *section = IMAGE_FIRST_SECTION(nt);
  for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section) {
    if (std::strncmp(reinterpret_cast<const char *>(section->Name), ".shared", 8) == 0) {
      return {base + section->VirtualAddress, section->Misc.VirtualSize};
    }
  }
  return {};
}

// The one aligned slot of the section that holds value, or null.
template <typename T>
T *slotHolding(const SharedSection &section, T value) {
  T *found = nullptr;
  for (size_t offset = 0; offset + sizeof(T) <= section.size; offset += sizeof(T)) {
    T *slot = reinterpret_cast<T *>(section.begin + offset);
    if (*slot == value) {
      if (found != nullptr) {
        return nullptr;
      }
      found = slot;
    }
  }
  return found;
}

bool queued(HWND window, UINT message) {
  MSG msg;
  bool any = false;
  while (PeekMessageW(&msg, window, message, message, PM_REMOVE)) {
    any = true;
  }
  return any;
}

class SharedSectionTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(setHookWithMessage(target_.get(), message_));
    const SharedSection section = sharedSectionOfTheLibrary();
    storedMessage_ = slotHolding(section, message_);
    storedTarget_ = slotHolding(section, target_.get());
    ASSERT_NE(storedMessage_, nullptr);
    ASSERT_NE(storedTarget_, nullptr);
  }
  void TearDown() override {
    if (storedMessage_ != nullptr && storedTarget_ != nullptr) {
      *storedMessage_ = message_;
      *storedTarget_ = target_.get();
    }
    EXPECT_TRUE(unsetHookForWindow(target_.get(), message_));
  }

  void paint() {
    SendMessageW(painted_.get(), WM_PAINT, 0, 0);
    SendMessageW(painted_.get(), WM_NCPAINT, 1, 0);
  }

  // With the honest values back, the reports are back.
  void expectHonestReportsAgain() {
    *storedMessage_ = message_;
    *storedTarget_ = target_.get();
    SendMessageW(painted_.get(), WM_PAINT, 0, 0);
    EXPECT_EQ(lumo::test::reportsInside(lumo::test::takeReports(target_.get(), message_),
                                        {painted_.get()}),
              std::vector<Rect>{lumo::test::expectedClientRect(painted_.get())});
  }

  UniqueWindow target_ = lumo::test::createTargetWindow();
  UniqueWindow other_ = lumo::test::createTargetWindow();
  UniqueWindow topLevel_ = lumo::test::createQuietWindow(WS_OVERLAPPED, 20, 20, 100, 80);
  UniqueWindow painted_ = lumo::test::createQuietWindow(WS_OVERLAPPEDWINDOW, 301, 207, 250, 160);
  const UINT message_ = RegisterWindowMessageW(L"lumo-test-shared-section");
  UINT *storedMessage_ = nullptr;
  HWND *storedTarget_ = nullptr;
};

TEST_F(SharedSectionTest, MessageBelowTheRegisteredRangeIsNeverPosted) {
  for (UINT foreign : {static_cast<UINT>(WM_CLOSE), 0xBFFFu, 0x10000u}) {
    *storedMessage_ = foreign;
    *storedTarget_ = other_.get();
    paint();
    EXPECT_FALSE(queued(other_.get(), foreign)) << foreign;
    *storedTarget_ = target_.get();
    paint();
    EXPECT_FALSE(queued(target_.get(), foreign)) << foreign;
  }
  expectHonestReportsAgain();
}

TEST_F(SharedSectionTest, BroadcastOrNoTargetIsNeverPosted) {
  *storedTarget_ = HWND_BROADCAST;
  paint();
  EXPECT_FALSE(queued(topLevel_.get(), message_));
  // A null target would post to every hooked thread's own queue.
  *storedTarget_ = nullptr;
  paint();
  EXPECT_FALSE(queued(reinterpret_cast<HWND>(-1), message_));
  expectHonestReportsAgain();
}

}  // namespace
