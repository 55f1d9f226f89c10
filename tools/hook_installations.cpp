#include "hook_installations.h"

#include <cstdarg>
#include <string>

#include "console_text.h"
#include "util/exception.h"
#include "util/text_conversion.h"
#include "win/argument_quoting.h"
#include "win/module_file_path.h"
#include "win/process.h"

namespace lumo {
namespace tools {

namespace {

// How long the 32-bit loader may take to install its hooks, and to remove
// them and end.
const DWORD loaderWaitMs = 10000;

void complain(const wchar_t *format, ...) {
  va_list args;
  va_start(args, format);
  lumo::tools::complain(L"paintmonitor", wideVformat(format, args));
  va_end(args);
}

}  // namespace

bool Loader32::start(const wchar_t *consequence) {
  consequence_ = consequence;
  const std::wstring program = win::besideThisProgram(L"paintloader32.exe");
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  const UniqueHandle ready(CreateEventW(&inherit, TRUE, FALSE, nullptr));
  if (!ready) {
    complain(L"cannot make an event for the 32-bit hook loader (error %lu)", GetLastError());
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
      complain(L"cannot find the 32-bit hook loader %ls", program.c_str());
    } else {
      cannotRun32(toUtf16(e.getMessage()));
    }
    return false;
  }
  process_.reset(child.releaseProcessHandle());
  const HANDLE handles[] = {ready.get(), process_.get()};
  const DWORD woken = WaitForMultipleObjects(2, handles, FALSE, loaderWaitMs);
  if (woken == WAIT_OBJECT_0) {
    return true;
  }
  if (woken != WAIT_OBJECT_0 + 1) {
    TerminateProcess(process_.get(), 1);
    complain(L"the 32-bit hook loader did not install its hooks in time");
  } else if (exitCode() == 0) {
    // It ended at once without a word: the system could not run it.
    cannotRun32(L"the 32-bit hook loader ended at once");
  }
  // Otherwise the loader said why itself.
  process_.reset();
  return false;
}

void Loader32::ended() {
  complain(
      L"the 32-bit hook loader ended (exit code %lu): 32-bit processes are no longer "
      L"watched",
      exitCode());
  process_.reset();
}

bool Loader32::stop(UINT closeMessage, const std::wstring &loaderWindowName) {
  if (!process_) {
    return true;
  }
  const DWORD processId = GetProcessId(process_.get());
  HWND window = nullptr;
  while ((window = FindWindowExW(HWND_MESSAGE, window, nullptr, loaderWindowName.c_str()))) {
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == processId) {
      PostMessageW(window, closeMessage, 0, 0);
      break;
    }
  }
  if (WaitForSingleObject(process_.get(), loaderWaitMs) != WAIT_OBJECT_0) {
    TerminateProcess(process_.get(), 1);
    complain(L"the 32-bit hook loader did not end in time");
    return false;
  }
  // A loader that could not remove its hooks has said so itself.
  return exitCode() == 0;
}

void Loader32::cannotRun32(const std::wstring &why) const {
  complain(L"32-bit programs do not run here (%ls)%ls", why.c_str(), consequence_);
}

DWORD Loader32::exitCode() const {
  DWORD code = 0;
  GetExitCodeProcess(process_.get(), &code);
  return code;
}

bool Hooks64::install(HWND target, UINT message) {
  library_.reset(LoadLibraryExW(path_.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
  if (!library_) {
    const DWORD error = GetLastError();
    if (error == ERROR_MOD_NOT_FOUND || error == ERROR_FILE_NOT_FOUND ||
        error == ERROR_PATH_NOT_FOUND) {
      complain(L"cannot find the hook library %ls", path_.c_str());
    } else if (error == ERROR_BAD_EXE_FORMAT) {
      complain(L"%ls is not a 64-bit library", path_.c_str());
    } else {
      complain(L"cannot load %ls (error %lu)", path_.c_str(), error);
    }
    return false;
  }
  auto set = reinterpret_cast<SetHookWithMessageFn>(
      reinterpret_cast<void *>(GetProcAddress(library_.get(), "setHookWithMessage")));
  unset_ = reinterpret_cast<UnsetHookForWindowFn>(
      reinterpret_cast<void *>(GetProcAddress(library_.get(), "unsetHookForWindow")));
  if (set == nullptr || unset_ == nullptr) {
    complain(
        L"%ls is not the screen-hook library: it lacks setHookWithMessage or "
        L"unsetHookForWindow",
        path_.c_str());
    return false;
  }
  if (!set(target, message)) {
    complain(
        L"cannot install the screen hooks: another program has them installed, "
        L"or the system refused them");
    return false;
  }
  target_ = target;
  message_ = message;
  return true;
}

bool Hooks64::remove() { return target_ == nullptr || unset_(target_, message_); }

}  // namespace tools
}  // namespace lumo
