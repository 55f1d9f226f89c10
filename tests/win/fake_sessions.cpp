#include "fake_sessions.h"

#include <cstdlib>
#include <cstring>

namespace lumo {
namespace test {

FakeTerminalServices fakeServices;

namespace {

constexpr std::size_t stationNameUnits = WINSTATIONNAME_LENGTH + 1;

void *allocate(std::size_t size) {
  ++fakeServices.allocations;
  return std::calloc(1, size);
}

const FakeSession *findSession(DWORD id) {
  for (const FakeSession &session : fakeServices.sessions) {
    if (session.id == id) {
      return &session;
    }
  }
  return nullptr;
}

LPWSTR copyText(const std::wstring &text, DWORD *bytes) {
  *bytes = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
  auto *copy = static_cast<wchar_t *>(allocate(*bytes));
  std::memcpy(copy, text.c_str(), *bytes);
  return copy;
}

DWORD WINAPI activeConsole() { return fakeServices.activeConsole; }

BOOL WINAPI queryToken(ULONG session, PHANDLE token) {
  fakeServices.tokenRequests.push_back(session);
  if (fakeServices.tokenError != 0) {
    SetLastError(fakeServices.tokenError);
    return FALSE;
  }
  return OpenProcessToken(GetCurrentProcess(), TOKEN_DUPLICATE | TOKEN_QUERY, token);
}

BOOL WINAPI querySession(HANDLE, DWORD id, WTS_INFO_CLASS what, LPWSTR *buffer, DWORD *bytes) {
  const FakeSession *session = findSession(id);
  if (session != nullptr && what == WTSUserName) {
    *buffer = copyText(session->user, bytes);
    return TRUE;
  }
  if (session != nullptr && what == WTSWinStationName) {
    *buffer = copyText(session->station, bytes);
    return TRUE;
  }
  if (session != nullptr && what == wtsSessionInfoEx && session->flags >= 0) {
    auto *info = static_cast<WtsInfoEx *>(allocate(sizeof(WtsInfoEx)));
    info->level = fakeServices.extendedLevel;
    info->level1.sessionId = id;
    info->level1.sessionFlags = session->flags;
    *buffer = reinterpret_cast<LPWSTR>(info);
    *bytes = sizeof(WtsInfoEx);
    return TRUE;
  }
  SetLastError(ERROR_NOT_SUPPORTED);
  return FALSE;
}

// One block: the records, then their station names.
BOOL WINAPI enumerateSessions(HANDLE, DWORD, DWORD, PWTS_SESSION_INFOW *list, DWORD *count) {
  if (fakeServices.enumerationFails) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  const std::size_t records = fakeServices.sessions.size() * sizeof(WTS_SESSION_INFOW);
  auto *block = static_cast<char *>(
      allocate(records + fakeServices.sessions.size() * stationNameUnits * sizeof(wchar_t)));
  auto *sessions = reinterpret_cast<WTS_SESSION_INFOW *>(block);
  auto *names = reinterpret_cast<wchar_t *>(block + records);
  for (std::size_t i = 0; i < fakeServices.sessions.size(); ++i) {
    const FakeSession &session = fakeServices.sessions[i];
    sessions[i].SessionId = session.id;
    sessions[i].State = session.state;
    sessions[i].pWinStationName = names + i * stationNameUnits;
    session.station.copy(sessions[i].pWinStationName, stationNameUnits - 1);
  }
  *list = sessions;
  *count = static_cast<DWORD>(fakeServices.sessions.size());
  return TRUE;
}

void WINAPI freeMemory(PVOID memory) {
  ++fakeServices.releases;
  std::free(memory);
}

}  // namespace

OwnSessionRecords::OwnSessionRecords() {
  winSeam.terminalServices = &table;
  winSeam.versionRecord = &version;
}

void FakeSessionsTest::SetUp() {
  fakeServices = FakeTerminalServices();
  fakeServices.sessions = {{1, L"Console", WTSActive, L"alice"}};
  TerminalServicesTable &table = records.table;
  table.loaded = true;
  table.wtsGetActiveConsoleSessionId = &activeConsole;
  table.wtsQueryUserToken = &queryToken;
  table.wtsQuerySessionInformation = &querySession;
  table.wtsEnumerateSessions = &enumerateSessions;
  table.wtsFreeMemory = &freeMemory;
}

void FakeSessionsTest::TearDown() {
  EXPECT_EQ(fakeServices.allocations, fakeServices.releases) << "buffers not given back";
}

void FakeSessionsTest::playVersion(DWORD major, DWORD minor, DWORD platform) {
  RTL_OSVERSIONINFOW &record = records.version;
  record = RTL_OSVERSIONINFOW{};
  record.dwOSVersionInfoSize = sizeof record;
  record.dwMajorVersion = major;
  record.dwMinorVersion = minor;
  record.dwPlatformId = platform;
}

}  // namespace test
}  // namespace lumo
