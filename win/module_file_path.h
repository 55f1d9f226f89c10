#pragma once

#include <string>
#include <utility>

#include <windows.h>

namespace lumo {
namespace win {

// The full path of the running program's executable, as UTF-8, however
// long; false when the system cannot tell.
std::pair<bool, std::string> getModuleFilePath();

// A file in the running program's folder, where a program ships its own
// libraries and helpers; the bare name when the folder cannot be told.
std::wstring besideThisProgram(const std::wstring &name);

// Paths beyond the first buffer are rare and cannot be started from
// everywhere, so tests replace the system call to play them.
struct ModuleFileNameApi {
  DWORD(WINAPI *getModuleFileName)(HMODULE, LPWSTR, DWORD);
};

extern ModuleFileNameApi moduleFileNameApi;

}  // namespace win
}  // namespace lumo
