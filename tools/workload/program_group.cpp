#include "program_group.h"

#include <algorithm>

#include "win/argument_quoting.h"

namespace lumo {
namespace tools {

namespace {

const DWORD kStartWaitMs = 10000;

BOOL CALLBACK addMainWindow(HWND window, LPARAM windows) {
  if (IsWindowVisible(window) && GetWindow(window, GW_OWNER) == nullptr) {
    reinterpret_cast<std::vector<HWND> *>(windows)->push_back(window);
  }
  return TRUE;
}

std::vector<HWND> mainWindows() {
  std::vector<HWND> windows;
  EnumWindows(addMainWindow, reinterpret_cast<LPARAM>(&windows));
  return windows;
}

HWND newWindowSince(const std::vector<HWND> &before) {
  for (ULONGLONG end = GetTickCount64() + kStartWaitMs; GetTickCount64() < end; Sleep(50)) {
    for (const HWND window : mainWindows()) {
      if (std::find(before.begin(), before.end(), window) == before.end()) {
        return window;
      }
    }
  }
  return nullptr;
}

std::wstring systemFolder() {
  wchar_t folder[MAX_PATH];
  const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
  return std::wstring(folder, length < MAX_PATH ? length : 0);
}

}  // namespace

ProgramGroup::ProgramGroup(const Diagnostics &diagnostics)
    : diagnostics_(diagnostics), job_(CreateJobObjectW(nullptr, nullptr)) {
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  if (job_ && !SetInformationJobObject(job_.get(), JobObjectExtendedLimitInformation, &limits,
                                       sizeof limits)) {
    job_.reset();
  }
}

// The job ends the programs and what they started; a program that could not
// join it is ended on its own.
ProgramGroup::~ProgramGroup() {
  if (job_) {
    TerminateJobObject(job_.get(), 0);
  }
  for (const UniqueHandle &process : processes_) {
    TerminateProcess(process.get(), 0);
  }
  for (const UniqueHandle &process : processes_) {
    WaitForSingleObject(process.get(), kStartWaitMs);
  }
}

// Started suspended and put in the job before it runs a single instruction,
// so that whatever it starts is in the job too.
HWND ProgramGroup::start(const std::wstring &program, const std::wstring &arguments, DWORD flags) {
  const std::vector<HWND> before = mainWindows();
  const std::wstring path = systemFolder() + L"\\" + program;
  std::wstring commandLine = win::quoteArgument(path) + L" " + arguments;
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  if (!CreateProcessW(path.c_str(), &commandLine[0], nullptr, nullptr, FALSE,
                      flags | CREATE_SUSPENDED, nullptr, nullptr, &startup, &info)) {
    diagnostics_.error(L"cannot start " + path);
    return nullptr;
  }
  processes_.emplace_back(info.hProcess);
  const UniqueHandle thread(info.hThread);
  if (job_ && !AssignProcessToJobObject(job_.get(), info.hProcess)) {
    diagnostics_.status(program + L" runs outside the workload's job");
  }
  ResumeThread(info.hThread);
  WaitForInputIdle(info.hProcess, kStartWaitMs);
  const HWND window = newWindowSince(before);
  if (window == nullptr) {
    diagnostics_.error(program + L" showed no window");
  } else {
    shown_.push_back(window);
  }
  return window;
}

bool ProgramGroup::owns(HWND window) const {
  if (std::find(shown_.begin(), shown_.end(), window) != shown_.end()) {
    return true;
  }
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  for (const UniqueHandle &process : processes_) {
    if (GetProcessId(process.get()) == processId) {
      return true;
    }
  }
  const UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
  BOOL inJob = FALSE;
  return job_ && process && IsProcessInJob(process.get(), job_.get(), &inJob) && inJob;
}

}  // namespace tools
}  // namespace lumo
