#pragma once

// Keys pressed as a person presses them, through the system's input queue,
// to whichever window has the keyboard, once checkInFront finds one of the
// programs' in front; each followed by a pause in which the program answers
// and the screen shows it.

#include <windows.h>

#include <string>

#include "program_group.h"

namespace lumo {
namespace tools {

// Down and up.
void pressKey(const ProgramGroup &to, WORD key, DWORD pauseMs);
// The key while the modifier is held, as in Alt+F or Ctrl+F.
void pressChord(const ProgramGroup &to, WORD modifier, WORD key, DWORD pauseMs);
// Characters as typed, whatever the keyboard layout.
void typeText(const ProgramGroup &to, const std::wstring &text, DWORD pauseMs);

}  // namespace tools
}  // namespace lumo
