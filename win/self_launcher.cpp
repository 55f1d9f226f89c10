#include "win/self_launcher.h"

#include <utility>

#include "util/exception.h"
#include "util/text_conversion.h"
#include "win/argument_quoting.h"
#include "win/current_console_process.h"
#include "win/module_file_path.h"

namespace lumo {
namespace win {

namespace {

std::string runningProgramPath() {
  const std::pair<bool, std::string> modulePath = getModuleFilePath();
  if (!modulePath.first || modulePath.second.empty()) {
    throw SystemException(ERROR_PATH_NOT_FOUND);
  }
  return modulePath.second;
}

bool containsNul(const std::wstring &text) { return text.find(L'\0') != std::wstring::npos; }

// Only looks whether the child has ended.
constexpr DWORD noWait = 0;

}  // namespace

SelfLauncher::SelfLauncher() : Process(runningProgramPath(), std::string()) {
  programPath = toUtf16(path);
  path = toUtf8(quoteArgument(programPath).c_str());
}

void SelfLauncher::setConsoleSessionLog(Log *log, bool searchRemoteSession) {
  this->log = log;
  this->searchRemoteSession = searchRemoteSession;
}

void SelfLauncher::addArgument(const std::wstring &argument) {
  ensureNotRunning();
  if (containsNul(argument)) {
    throw SystemException(ERROR_INVALID_PARAMETER);
  }
  if (argument.size() > maxCommandLineLength) {
    throw SystemException(ERROR_BAD_LENGTH);
  }
  std::wstring text = toUtf16(arguments);
  if (!text.empty()) {
    text.push_back(L' ');
  }
  text += quoteArgument(argument);
  checkCommandLine(text);
  arguments = toUtf8(text.c_str());
}

void SelfLauncher::checkCommandLine(const std::wstring &text) const {
  if (containsNul(text)) {
    throw SystemException(ERROR_INVALID_PARAMETER);
  }
  const std::size_t separator = text.empty() ? 0 : 1;
  if (text.size() > maxCommandLineLength ||
      toUtf16(path).size() + separator + text.size() > maxCommandLineLength) {
    throw SystemException(ERROR_BAD_LENGTH);
  }
}

void SelfLauncher::ensureNotRunning() {
  if (!processHandle) {
    return;
  }
  switch (WaitForSingleObject(processHandle.get(), noWait)) {
    case WAIT_FAILED:
      throw SystemException();
    case WAIT_TIMEOUT:
      throw SystemException(ERROR_BUSY);
    default:
      return;
  }
}

void SelfLauncher::start() {
  ensureNotRunning();
  checkCommandLine(toUtf16(arguments));
  closeHandles();
  if (log != nullptr) {
    startInConsoleSession();
  } else {
    startDirectly();
  }
}

void SelfLauncher::startInConsoleSession() {
  CurrentConsoleProcess child(path, arguments, log, searchRemoteSession);
  child.setStandardHandles(stdInput, stdOutput, stdError);
  child.setInheritHandles(inheritHandles);
  child.start();
  UniqueHandle duplicate;
  if (!DuplicateHandle(GetCurrentProcess(), child.getProcessHandle(), GetCurrentProcess(),
                       duplicate.put(), 0, FALSE, DUPLICATE_SAME_ACCESS)) {
    const DWORD error = GetLastError();
    // Without a handle the owner could neither wait for nor stop the child.
    try {
      child.kill();
    } catch (const Exception &e) {
      log->error("Cannot stop an unowned self-launch child: %s", e.getMessage().c_str());
    }
    throw SystemException(static_cast<int>(error));
  }
  takeOver(std::move(duplicate), UniqueHandle());
}

void SelfLauncher::startDirectly() {
  std::wstring command = toUtf16(commandLine());
  STARTUPINFOW startup = startupInfo();
  startup.dwFlags |= STARTF_USESHOWWINDOW;
  startup.wShowWindow = LOWORD(showCommand);
  PROCESS_INFORMATION info = {};
  if (!CreateProcessW(programPath.c_str(), &command[0], nullptr, nullptr, inheritHandles, 0,
                      nullptr, nullptr, &startup, &info)) {
    throw SystemException();
  }
  takeOver(UniqueHandle(info.hProcess), UniqueHandle(info.hThread));
}

void SelfLauncher::startElevated(HWND parent, ShellExecuteFunction shellExecute) {
  ensureNotRunning();
  if (shellExecute == nullptr || log != nullptr) {
    throw SystemException(ERROR_INVALID_PARAMETER);
  }
  const std::wstring parameters = toUtf16(arguments);
  checkCommandLine(parameters);
  SHELLEXECUTEINFOW info = {};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
  info.hwnd = parent;
  info.lpVerb = L"runas";
  info.lpFile = programPath.c_str();
  info.lpParameters = parameters.c_str();
  info.nShow = showCommand;
  if (!shellExecute(&info)) {
    throw SystemException();
  }
  if (info.hProcess == nullptr) {
    throw SystemException(ERROR_INVALID_HANDLE);
  }
  takeOver(UniqueHandle(info.hProcess), UniqueHandle());
}

}  // namespace win
}  // namespace lumo
