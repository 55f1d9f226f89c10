#pragma once

// Keys pressed as a person presses them, through the system's input queue,
// to whichever window has the keyboard; each followed by a pause in which
// the program answers and the screen shows it.

#include <windows.h>

#include <string>

namespace lumo {
namespace tools {

// Down and up.
void pressKey(WORD key, DWORD pauseMs);
// The key while the modifier is held, as in Alt+F or Ctrl+F.
void pressChord(WORD modifier, WORD key, DWORD pauseMs);
// Characters as typed, whatever the keyboard layout.
void typeText(const std::wstring &text, DWORD pauseMs);

}  // namespace tools
}  // namespace lumo
