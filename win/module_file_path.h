#pragma once

#include <string>
#include <utility>

namespace lumo {
namespace win {

// The full path of the running program's executable, as UTF-8, however
// long; false when the system cannot tell.
std::pair<bool, std::string> getModuleFilePath();

// A file in the running program's folder, where a program ships its own
// libraries and helpers; the bare name when the folder cannot be told.
std::wstring besideThisProgram(const std::wstring &name);

}  // namespace win
}  // namespace lumo
