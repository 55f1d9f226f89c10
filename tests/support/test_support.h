#pragma once

// Small owners and helpers that several test programs share.

#include <windows.h>

#include <cstddef>
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

// The process's handle count where the system reports it. Wine reports 0;
// there the highest of a batch of fresh handles stands in: the batch fills
// the table's holes and then extends it, and leaked handles extend it too.
std::size_t handleMeasure();

}  // namespace test
}  // namespace lumo
