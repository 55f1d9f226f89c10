#include "monitor_child.h"

#include <fstream>
#include <sstream>

namespace lumo {
namespace test {

namespace {

// A reader that takes this many bytes every so often: far slower than the
// monitor writes under load.
const DWORD kSlowChunk = 64;
const DWORD kSlowPauseMs = 50;

UniqueFileHandle inheritableFile(const std::wstring &path) {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  return UniqueFileHandle(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                      CREATE_ALWAYS, 0, nullptr));
}

// A pipe whose one end the child inherits and whose other end stays here.
void makePipe(UniqueHandle *childEnd, UniqueHandle *ourEnd, bool childReads) {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  CreatePipe(&readEnd, &writeEnd, &inherit, 0);
  childEnd->reset(childReads ? readEnd : writeEnd);
  ourEnd->reset(childReads ? writeEnd : readEnd);
  SetHandleInformation(ourEnd->get(), HANDLE_FLAG_INHERIT, 0);
}

}  // namespace

int Child::count_ = 0;

std::string readFile(const std::wstring &path) {
  std::ifstream in(path.c_str(), std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

Child::Child(const std::wstring &arguments, Output output, const std::wstring &program) {
  const std::wstring stem =
      besideThisProgram(L"paintmonitor_test_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
                        std::to_wstring(++count_));
  outPath_ = stem + L".out";
  errPath_ = stem + L".err";
  const UniqueFileHandle outFile = inheritableFile(outPath_);
  const UniqueFileHandle err = inheritableFile(errPath_);
  UniqueHandle input;
  makePipe(&input, &input_, true);
  UniqueHandle outPipe;
  if (output == Output::SlowReader) {
    makePipe(&outPipe, &slowOutput_, false);
    slowReader_ = std::thread([pipe = slowOutput_.get()] {
      char buffer[kSlowChunk];
      DWORD read = 0;
      while (ReadFile(pipe, buffer, sizeof buffer, &read, nullptr) && read > 0) {
        Sleep(kSlowPauseMs);
      }
    });
  }

  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input.get();
  startup.hStdOutput = output == Output::SlowReader ? outPipe.get() : outFile.get();
  startup.hStdError = err.get();
  const std::wstring path = besideThisProgram(program);
  std::wstring commandLine = L"\"" + path + L"\" " + arguments;
  PROCESS_INFORMATION info = {};
  if (CreateProcessW(path.c_str(), &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                     &startup, &info)) {
    process_.reset(info.hProcess);
    const UniqueHandle thread(info.hThread);
  }
}

Child::~Child() {
  if (process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT) {
    kill();
  }
  // The reader ends once the child's end of its pipe is gone.
  if (slowReader_.joinable()) {
    slowReader_.join();
  }
  DeleteFileW(outPath_.c_str());
  DeleteFileW(errPath_.c_str());
}

DWORD Child::finish(DWORD timeoutMs) {
  if (WaitForSingleObject(process_.get(), timeoutMs) != WAIT_OBJECT_0) {
    TerminateProcess(process_.get(), 1);
    return ~0u;
  }
  DWORD code = ~0u;
  GetExitCodeProcess(process_.get(), &code);
  return code;
}

void Child::kill() {
  TerminateProcess(process_.get(), 1);
  WaitForSingleObject(process_.get(), 10000);
}

bool Child::says(const std::string &text) const {
  for (int attempt = 0; attempt < 200; ++attempt) {
    if (err().find(text) != std::string::npos) {
      return true;
    }
    Sleep(50);
  }
  return false;
}

}  // namespace test
}  // namespace lumo
