#pragma once

// A scripted stand-in for the terminal services, which a fixture gives the
// library as its table, beside a version record of the test's own.

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "child.h"
#include "seam_override.h"
#include "win/log.h"
#include "win/platform_seam.h"

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
  DWORD extendedLevel = wtsInfoExLevel1;
  std::vector<DWORD> tokenRequests;
  DWORD tokenError = 0;
  int allocations = 0;
  int releases = 0;
};

extern FakeTerminalServices fakeServices;

// Points the library at a terminal-services table and a version record of
// the test's own, empty until a session operation or the test fills them.
// The whole seam, with entries the test set meanwhile, is back when it goes.
class OwnSessionRecords {
public:
  OwnSessionRecords();

  TerminalServicesTable table;
  RTL_OSVERSIONINFOW version = {};

private:
  SeamOverride<WinSeam> seam{winSeam};
};

class FakeSessionsTest : public testing::Test {
protected:
  void SetUp() override;
  void TearDown() override;
  // For the lock flags, whose meaning depends on the version.
  void playVersion(DWORD major, DWORD minor, DWORD platform);

  RecordingSink sink;
  Log log{&sink};
  OwnSessionRecords records;
};

}  // namespace test
}  // namespace lumo
