#include "hook_processes.h"

#include "paintwatch/report.h"
#include "test_windows.h"

namespace lumo {
namespace test {

bool paintFromPeer(const std::wstring &peerFile, const region::Rect &place,
                   const std::vector<DWORD> &refusals) {
  const std::wstring peer = besideThisProgram(peerFile);
  std::wstring commandLine = L"\"" + peer + L"\" " + std::to_wstring(place.left) + L" " +
                             std::to_wstring(place.top) + L" " + std::to_wstring(place.getWidth()) +
                             L" " + std::to_wstring(place.getHeight());
  for (DWORD error : refusals) {
    commandLine += L" " + std::to_wstring(error);
  }
  return runProcess(peer, commandLine) == 0;
}

bool reportArrives(HWND target, UINT message, const region::Rect &expected) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    for (const region::Rect &report : takeReports(target, message)) {
      if (report == expected) {
        return true;
      }
    }
    Sleep(20);
  }
  return false;
}

PeerInstaller::PeerInstaller(HWND target, UINT message) {
  const std::wstring eventName = L"lumo-test-installed-" + std::to_wstring(GetCurrentProcessId()) +
                                 L"-" + std::to_wstring(reinterpret_cast<uintptr_t>(target));
  const UniqueHandle installed(CreateEventW(nullptr, TRUE, FALSE, eventName.c_str()));
  const std::wstring peer = besideThisProgram(L"hook_peer.exe");
  std::wstring commandLine = L"\"" + peer + L"\" install " +
                             std::to_wstring(reinterpret_cast<uintptr_t>(target)) + L" " +
                             std::to_wstring(message) + L" " + eventName;
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  if (!installed || !CreateProcessW(peer.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0,
                                    nullptr, nullptr, &startup, &info)) {
    return;
  }
  process_.reset(info.hProcess);
  const UniqueHandle thread(info.hThread);
  const HANDLE handles[] = {installed.get(), process_.get()};
  installed_ = WaitForMultipleObjects(2, handles, FALSE, 10000) == WAIT_OBJECT_0;
}

void PeerInstaller::kill() {
  if (process_) {
    TerminateProcess(process_.get(), 1);
    WaitForSingleObject(process_.get(), 10000);
    process_.reset();
  }
}

}  // namespace test
}  // namespace lumo
