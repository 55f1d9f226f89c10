#include "keyboard.h"

#include "input_guard.h"

namespace lumo {
namespace tools {

namespace {

INPUT keyInput(WORD key, bool up) {
  INPUT input = {};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = key;
  input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
  return input;
}

INPUT unicodeInput(wchar_t unit, bool up) {
  INPUT input = {};
  input.type = INPUT_KEYBOARD;
  input.ki.wScan = unit;
  input.ki.dwFlags = KEYEVENTF_UNICODE | (up ? KEYEVENTF_KEYUP : 0);
  return input;
}

void send(const ProgramGroup &to, INPUT *inputs, UINT count, DWORD pauseMs) {
  checkInFront(to);
  SendInput(count, inputs, sizeof(INPUT));
  Sleep(pauseMs);
}

}  // namespace

void pressKey(const ProgramGroup &to, WORD key, DWORD pauseMs) {
  INPUT inputs[] = {keyInput(key, false), keyInput(key, true)};
  send(to, inputs, 2, pauseMs);
}

void pressChord(const ProgramGroup &to, WORD modifier, WORD key, DWORD pauseMs) {
  INPUT inputs[] = {keyInput(modifier, false), keyInput(key, false), keyInput(key, true),
                    keyInput(modifier, true)};
  send(to, inputs, 4, pauseMs);
}

void typeText(const ProgramGroup &to, const std::wstring &text, DWORD pauseMs) {
  for (const wchar_t unit : text) {
    INPUT inputs[] = {unicodeInput(unit, false), unicodeInput(unit, true)};
    send(to, inputs, 2, pauseMs);
  }
}

}  // namespace tools
}  // namespace lumo
