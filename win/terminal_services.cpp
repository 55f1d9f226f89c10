#include "win/terminal_services.h"

#include "util/exception.h"
#include "win/log.h"
#include "win/platform_seam.h"

namespace lumo {

namespace {

// FARPROC goes through the generic function type, which converts to any
// other without a warning.
template <typename Function>
void lookUp(const DynamicLibrary &library, const char *name, Function *&function) {
  function =
      reinterpret_cast<Function *>(reinterpret_cast<void (*)()>(library.getProcAddress(name)));
}

}  // namespace

LocalMutex &terminalServicesMutex() {
  static LocalMutex mutex;
  return mutex;
}

void ensureSessionTable(Log &log) {
  TerminalServicesTable &table = *winSeam.terminalServices;
  if (table.loaded) {
    return;
  }
  try {
    table.kernel32 = winSeam.openLibrary("Kernel32.dll");
    lookUp(*table.kernel32, "WTSGetActiveConsoleSessionId", table.wtsGetActiveConsoleSessionId);
  } catch (const Exception &e) {
    log.error("Can't load the Kernel32.dll library: %s", e.getMessage().c_str());
  }
  try {
    table.wtsapi32 = winSeam.openLibrary("Wtsapi32.dll");
    lookUp(*table.wtsapi32, "WTSQueryUserToken", table.wtsQueryUserToken);
    lookUp(*table.wtsapi32, "WTSQuerySessionInformationW", table.wtsQuerySessionInformation);
    lookUp(*table.wtsapi32, "WTSEnumerateSessionsW", table.wtsEnumerateSessions);
    lookUp(*table.wtsapi32, "WTSFreeMemory", table.wtsFreeMemory);
  } catch (const Exception &e) {
    log.error("Can't load the Wtsapi32.dll library: %s", e.getMessage().c_str());
  }
  table.loaded = true;
}

}  // namespace lumo
