#include "win/process.h"

#include <utility>

#include "util/exception.h"
#include "util/text_conversion.h"
#include "util/text_format.h"

namespace lumo {

namespace {

constexpr UINT killedExitCode = 0;

}  // namespace

Process::Process(const std::string &path, const std::string &arguments)
    : path(path), arguments(arguments) {}

Process::~Process() = default;

void Process::start() {
  closeHandles();
  STARTUPINFOW startup = startupInfo();
  std::wstring command = toUtf16(commandLine());
  PROCESS_INFORMATION info = {};
  if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, inheritHandles, 0, nullptr, nullptr,
                      &startup, &info)) {
    throw SystemException();
  }
  takeOver(UniqueHandle(info.hProcess), UniqueHandle(info.hThread));
}

void Process::kill() {
  if (!TerminateProcess(processHandle.get(), killedExitCode)) {
    throw SystemException();
  }
}

void Process::setStandardHandles(HANDLE input, HANDLE output, HANDLE error) {
  stdInput = input;
  stdOutput = output;
  stdError = error;
}

void Process::setInheritHandles(bool inherit) { inheritHandles = inherit; }

void Process::closeHandles() {
  processHandle.reset();
  threadHandle.reset();
}

void Process::takeOver(UniqueHandle process, UniqueHandle thread) {
  processHandle = std::move(process);
  threadHandle = std::move(thread);
}

std::string Process::commandLine() const {
  return arguments.empty() ? path : format("%s %s", path.c_str(), arguments.c_str());
}

STARTUPINFOW Process::startupInfo() const {
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.hStdInput = stdInput;
  startup.hStdOutput = stdOutput;
  startup.hStdError = stdError;
  if (stdInput != nullptr || stdOutput != nullptr || stdError != nullptr) {
    startup.dwFlags = STARTF_USESTDHANDLES;
  }
  return startup;
}

}  // namespace lumo
