#include "win/session.h"

#include <vector>

#include "util/exception.h"
#include "util/lock.h"
#include "util/text_conversion.h"
#include "util/unique_any.h"
#include "win/log.h"
#include "win/platform_seam.h"
#include "win/terminal_services.h"
#include "win/windows_version.h"

namespace lumo {

namespace {

const TerminalServicesTable &terminalServices() { return *winSeam.terminalServices; }

// Session 0 holds the services and is never the one to start a program in,
// so it also stands for "no remote session found".
constexpr DWORD servicesSession = 0;

// WTSEnumerateSessionsW takes a reserved 0 and knows one version of its list.
constexpr DWORD enumerationReserved = 0;
constexpr DWORD sessionListVersion = 1;

constexpr DWORD windows7Major = 6;
constexpr DWORD windows7Minor = 1;

template <typename T>
void freeWtsMemory(T memory) {
  const auto release = terminalServices().wtsFreeMemory;
  if (release != nullptr) {
    release(memory);
  }
}

// A buffer that the terminal services allocated, given back to them.
template <typename T>
using WtsBuffer = UniqueAny<T, &freeWtsMemory<T>>;

bool querySession(DWORD session, WTS_INFO_CLASS what, WtsBuffer<LPWSTR> *buffer, DWORD *bytes) {
  const BOOL succeeded = terminalServices().wtsQuerySessionInformation(
      WTS_CURRENT_SERVER_HANDLE, session, what, buffer->put(), bytes);
  return succeeded && buffer->valid();
}

bool isRemoteDesktopStation(const wchar_t *name) {
  return toLower(toUtf8(name)).find("rdp") != std::string::npos;
}

}  // namespace

DWORD activeConsoleSessionId(Log &log) {
  AutoLock lock(&terminalServicesMutex());
  ensureSessionTable(log);
  const auto getSession = terminalServices().wtsGetActiveConsoleSessionId;
  return getSession == nullptr ? 0 : getSession();
}

std::string sessionUserName(DWORD session) {
  if (terminalServices().wtsQuerySessionInformation == nullptr) {
    return std::string();
  }
  WtsBuffer<LPWSTR> name;
  DWORD bytes = 0;
  if (!querySession(session, WTSUserName, &name, &bytes)) {
    return std::string();
  }
  return toUtf8(name.get());
}

bool isSessionLocked(DWORD session, Log &log) {
  {
    AutoLock lock(&terminalServicesMutex());
    ensureSessionTable(log);
  }
  if (terminalServices().wtsQuerySessionInformation == nullptr) {
    return false;
  }
  DWORD bytes = 0;
  {
    WtsBuffer<LPWSTR> station;
    if (querySession(session, WTSWinStationName, &station, &bytes) &&
        isRemoteDesktopStation(station.get())) {
      return false;
    }
  }
  LONG flags = 0;
  {
    WtsBuffer<LPWSTR> info;
    if (!querySession(session, wtsSessionInfoEx, &info, &bytes) || bytes < sizeof(WtsInfoEx)) {
      return false;
    }
    const WtsInfoEx *record = reinterpret_cast<const WtsInfoEx *>(info.get());
    if (record->level != wtsInfoExLevel1) {
      return false;
    }
    flags = record->level1.sessionFlags;
  }
  // Windows 7 reports the two flag values the other way round.
  const RTL_OSVERSIONINFOW version = windowsVersion();
  if (version.dwMajorVersion == windows7Major && version.dwMinorVersion == windows7Minor &&
      version.dwPlatformId == VER_PLATFORM_WIN32_NT) {
    return flags == wtsSessionStateUnlock;
  }
  return flags == wtsSessionStateLock;
}

UniqueHandle queryUserToken(DWORD session, Log &log) {
  AutoLock lock(&terminalServicesMutex());
  ensureSessionTable(log);
  const auto query = terminalServices().wtsQueryUserToken;
  if (query == nullptr) {
    throw SystemException(std::string("No console user process id specified"));
  }
  UniqueHandle token;
  if (!query(session, token.put())) {
    throw SystemException(std::string("WTSQueryUserToken error:"));
  }
  return token;
}

UniqueHandle makeSessionToken(HANDLE token, DWORD session, Log &log) {
  log.debug("Try DuplicateTokenEx(%p, , , , , )", token);
  UniqueHandle newToken;
  if (!DuplicateTokenEx(token, MAXIMUM_ALLOWED, nullptr, SecurityImpersonation, TokenPrimary,
                        newToken.put())) {
    throw SystemException();
  }
  log.debug("Try SetTokenInformation(%p, , , )", newToken.get());
  DWORD sessionId = session;
  if (!SetTokenInformation(newToken.get(), TokenSessionId, &sessionId, sizeof sessionId)) {
    throw SystemException();
  }
  log.debug("Try SetTokenInformation(%p, , , ) with UIAccess=1", newToken.get());
  DWORD uiAccess = TRUE;
  if (!SetTokenInformation(newToken.get(), TokenUIAccess, &uiAccess, sizeof uiAccess)) {
    log.info("Can't set UIAccess=1, ignore it");
  }
  log.debug("duplicate user token for user: %s, session ID: %d",
            tokenUserName(newToken.get()).c_str(), static_cast<int>(session));
  return newToken;
}

UniqueHandle getSessionUserToken(bool searchRemoteSession, Log &log) {
  DWORD candidate = servicesSession;
  if (searchRemoteSession) {
    AutoLock lock(&terminalServicesMutex());
    ensureSessionTable(log);
    const auto enumerate = terminalServices().wtsEnumerateSessions;
    WtsBuffer<PWTS_SESSION_INFOW> list;
    DWORD count = 0;
    if (enumerate != nullptr && enumerate(WTS_CURRENT_SERVER_HANDLE, enumerationReserved,
                                          sessionListVersion, list.put(), &count)) {
      const PWTS_SESSION_INFOW sessions = list.get();
      for (DWORD i = 0; sessions != nullptr && i < count; ++i) {
        if (sessions[i].State == WTSActive && isRemoteDesktopStation(sessions[i].pWinStationName)) {
          candidate = sessions[i].SessionId;
        }
      }
    }
  }
  const bool found = candidate != servicesSession;
  const DWORD active = activeConsoleSessionId(log);
  log.debug("rdpSession user name: %s", sessionUserName(candidate).c_str());
  log.debug("activeSession user name: %s", sessionUserName(active).c_str());

  DWORD session = 0;
  if (found) {
    session = candidate;
    log.info("Connect as RDP user at %d session", static_cast<int>(session));
  } else {
    session = activeConsoleSessionId(log);
    log.info("Connect as current user at %d session", static_cast<int>(session));
  }
  log.debug("Session user name: %s", sessionUserName(session).c_str());

  if (found && !isSessionLocked(session, log)) {
    const UniqueHandle userToken = queryUserToken(session, log);
    return makeSessionToken(userToken.get(), session, log);
  }
  log.debug("Try OpenProcessToken(%p, , )", GetCurrentProcess());
  UniqueHandle ownToken;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_DUPLICATE, ownToken.put())) {
    throw SystemException();
  }
  return makeSessionToken(ownToken.get(), session, log);
}

std::string tokenUserName(HANDLE token) {
  DWORD size = 0;
  GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  if (size == 0) {
    return std::string();
  }
  std::vector<BYTE> user(size);
  if (!GetTokenInformation(token, TokenUser, user.data(), size, &size)) {
    return std::string();
  }
  const PSID sid = reinterpret_cast<const TOKEN_USER *>(user.data())->User.Sid;
  DWORD nameLength = 0;
  DWORD domainLength = 0;
  SID_NAME_USE use;
  LookupAccountSidW(nullptr, sid, nullptr, &nameLength, nullptr, &domainLength, &use);
  if (nameLength == 0) {
    return std::string();
  }
  std::vector<wchar_t> name(nameLength + 1, L'\0');
  std::vector<wchar_t> domain(domainLength + 1, L'\0');
  if (!LookupAccountSidW(nullptr, sid, name.data(), &nameLength, domain.data(), &domainLength,
                         &use)) {
    return std::string();
  }
  return toUtf8(name.data());
}

}  // namespace lumo
