#include "win/current_console_process.h"

#include "util/exception.h"
#include "util/text_conversion.h"
#include "win/session.h"

CurrentConsoleProcess::CurrentConsoleProcess(const std::string &path, const std::string &arguments,
                                             lumo::Log *log, bool searchRemoteSession)
    : Process(path, arguments), log(log), searchRemoteSession(searchRemoteSession) {}

void CurrentConsoleProcess::start() {
  closeHandles();
  log->info("Try to start \"%s %s\" process", path.c_str(), arguments.c_str());
  STARTUPINFOW startup = startupInfo();
  log->debug("sti: cb = %d, hStdError = %p, hStdInput = %p, hStdOutput = %p, dwFlags = %u",
             static_cast<int>(startup.cb), startup.hStdError, startup.hStdInput, startup.hStdOutput,
             static_cast<unsigned>(startup.dwFlags));
  try {
    const lumo::UniqueHandle token = lumo::getSessionUserToken(searchRemoteSession, *log);
    const std::string command = commandLine();
    log->debug("Try CreateProcessAsUser(%p, 0, %s, 0, 0, %d, NORMAL_PRIORITY_CLASS, 0, 0, sti, pi)",
               token.get(), command.c_str(), static_cast<int>(inheritHandles));
    std::wstring writableCommand = lumo::toUtf16(command);
    PROCESS_INFORMATION info = {};
    if (!CreateProcessAsUserW(token.get(), nullptr, &writableCommand[0], nullptr, nullptr,
                              inheritHandles, NORMAL_PRIORITY_CLASS, nullptr, nullptr, &startup,
                              &info)) {
      throw lumo::SystemException();
    }
    takeOver(lumo::UniqueHandle(info.hProcess), lumo::UniqueHandle(info.hThread));
    log->info("Created \"%s\" process", command.c_str());
  } catch (const lumo::SystemException &e) {
    log->error("Failed to start process with %d error", e.getErrorCode());
    throw;
  }
}
