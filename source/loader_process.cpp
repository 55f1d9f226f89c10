#include "source/loader_process.h"

#include <cstdint>

#include "server/server_object_names.h"
#include "util/exception.h"
#include "util/text_conversion.h"
#include "util/text_format.h"
#include "util/unique_handle.h"
#include "win/argument_quoting.h"
#include "win/module_file_path.h"
#include "win/process.h"

namespace lumo {
namespace source {

namespace {

// How long the 32-bit loader may take to install its hooks, and to remove
// them and end.
const DWORD loaderWaitMs = 10000;

// The close message reaches the loader's own window, not another's.
void askToEnd(HANDLE process) {
  const server::ServerObjectNames &names = server::ServerObjectNames::instance();
  const DWORD processId = GetProcessId(process);
  HWND window = nullptr;
  while (
      (window = FindWindowExW(HWND_MESSAGE, window, nullptr, names.hookLoaderWindowName.c_str()))) {
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == processId) {
      PostMessageW(window, names.hookLoaderCloseMessage, 0, 0);
      return;
    }
  }
}

std::wstring cannotRun32(const std::wstring &why, const wchar_t *consequence) {
  return L"32-bit programs do not run here (" + why + L")" + consequence;
}

}  // namespace

void endLoader(HANDLE process) {
  askToEnd(process);
  if (WaitForSingleObject(process, loaderWaitMs) != WAIT_OBJECT_0) {
    TerminateProcess(process, 1);
  }
  CloseHandle(process);
}

bool Loader32::start(const wchar_t *consequence, std::wstring *why) {
  const std::wstring program = win::besideThisProgram(L"paintloader32.exe");
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  const UniqueHandle ready(CreateEventW(&inherit, TRUE, FALSE, nullptr));
  if (!ready) {
    *why = toUtf16(
        format("cannot make an event for the 32-bit hook loader (error %lu)", GetLastError()));
    return false;
  }
  // Its standard handles are ours, so that it speaks on our stderr.
  Process child(toUtf8(win::quoteArgument(program).c_str()),
                "--ready-event " + std::to_string(reinterpret_cast<uintptr_t>(ready.get())));
  child.setInheritHandles(true);
  try {
    child.start();
  } catch (const SystemException &e) {
    if (e.getErrorCode() == ERROR_FILE_NOT_FOUND || e.getErrorCode() == ERROR_PATH_NOT_FOUND) {
      *why = L"cannot find the 32-bit hook loader " + program;
    } else {
      *why = cannotRun32(toUtf16(e.getMessage()), consequence);
    }
    return false;
  }
  process_.reset(child.releaseProcessHandle());
  return waitUntilReady(ready.get(), consequence, why);
}

bool Loader32::waitUntilReady(HANDLE ready, const wchar_t *consequence, std::wstring *why) {
  const HANDLE handles[] = {ready, process_.get()};
  const DWORD woken = WaitForMultipleObjects(2, handles, FALSE, loaderWaitMs);
  if (woken == WAIT_OBJECT_0) {
    return true;
  }
  if (woken != WAIT_OBJECT_0 + 1) {
    TerminateProcess(process_.get(), 1);
    *why = L"the 32-bit hook loader did not install its hooks in time";
  } else if (exitCode() == 0) {
    // It ended at once without a word: the system could not run it.
    *why = cannotRun32(L"the 32-bit hook loader ended at once", consequence);
  } else {
    why->clear();  // the loader said why itself
  }
  process_.reset();
  return false;
}

DWORD Loader32::ended() {
  const DWORD code = exitCode();
  process_.reset();
  return code;
}

bool Loader32::stop() {
  if (!process_) {
    return true;
  }
  askToEnd(process_.get());
  if (WaitForSingleObject(process_.get(), loaderWaitMs) != WAIT_OBJECT_0) {
    TerminateProcess(process_.get(), 1);
    process_.reset();
    return false;
  }
  // A loader that could not remove its hooks has said so itself.
  const bool removed = exitCode() == 0;
  process_.reset();
  return removed;
}

DWORD Loader32::exitCode() const {
  DWORD code = 0;
  GetExitCodeProcess(process_.get(), &code);
  return code;
}

}  // namespace source
}  // namespace lumo
