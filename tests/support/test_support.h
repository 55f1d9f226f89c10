#pragma once

// Small owners and helpers that several test programs share.

#include <windows.h>

#include <memory>
#include <string>
#include <type_traits>

namespace lumo {
namespace test {

struct HandleCloser {
  void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using UniqueHandle = std::unique_ptr<void, HandleCloser>;

struct WindowDestroyer {
  void operator()(HWND window) const { DestroyWindow(window); }
};
using UniqueWindow = std::unique_ptr<std::remove_pointer_t<HWND>, WindowDestroyer>;

// The build puts the programs and libraries a test uses next to it.
std::wstring besideThisProgram(const std::wstring &name);

// A message-only window: it can receive posted reports and is never painted.
UniqueWindow createTargetWindow();

// Runs a program to its end and gives its exit code; ~0u if it cannot start.
DWORD runProcess(const std::wstring &program, std::wstring commandLine);

}  // namespace test
}  // namespace lumo
