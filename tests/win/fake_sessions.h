#pragma once

// A scripted stand-in for the terminal services: a fixture installs it as
// the whole process-wide table and restores an unloaded table afterwards.

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "child.h"
#include "win/log.h"
#include "win/terminal_services.h"

namespace lumo {
namespace test {

struct FakeSession {
  DWORD id;
  std::wstring station;
  WTS_CONNECTSTATE_CLASS state;
  std::wstring user;
  // Flags of the extended record; none when negative.
  LONG flags = -1;
};

struct FakeTerminalServices {
  DWORD activeConsole = 1;
  std::vector<FakeSession> sessions;
  bool enumerationFails = false;
  DWORD extendedLevel = 1;
  std::vector<DWORD> tokenRequests;
  DWORD tokenError = 0;
  int allocations = 0;
  int releases = 0;
};

extern FakeTerminalServices fakeServices;

class FakeSessionsTest : public testing::Test {
protected:
  void SetUp() override;
  void TearDown() override;

  RecordingSink sink;
  Log log{&sink};
};

}  // namespace test
}  // namespace lumo
