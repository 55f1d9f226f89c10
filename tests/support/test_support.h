#pragma once

// Small owners and helpers that several test programs share.

#include <windows.h>

#include <string>

#include "util/unique_handle.h"
#include "win/module_file_path.h"

namespace lumo {
namespace test {

using lumo::UniqueHandle;
using lumo::UniqueWindow;

// The build puts the programs and libraries a test uses next to it.
using lumo::win::besideThisProgram;

// A message-only window: it can receive posted reports and is never painted.
UniqueWindow createTargetWindow();

// Runs a program to its end and gives its exit code; ~0u if it cannot start.
DWORD runProcess(const std::wstring &program, std::wstring commandLine);

}  // namespace test
}  // namespace lumo
