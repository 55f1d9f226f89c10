#include "workload_tasks.h"

#include <initializer_list>
#include <string>

#include "input_guard.h"
#include "keyboard.h"

namespace lumo {
namespace tools {

namespace {

const DWORD kTypingPauseMs = 40;
// Long enough for the monitor to capture the screen between two steps.
const DWORD kStepPauseMs = 300;

const wchar_t kText[] =
    L"The quick brown fox jumps over the lazy dog. \u00FC\u20AC\u65E5\u672C\r\n"
    L"Typed through SendInput, one character at a time.\r\n";

void placeAt(HWND window, int left, int top) {
  SetWindowPos(window, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// A move of a window in front, as a person drags it.
void moveInFront(const ProgramGroup &programs, HWND window, int left, int top) {
  checkInFront(programs);
  placeAt(window, left, top);
}

void bringForward(HWND window) {
  SetForegroundWindow(window);
  Sleep(kStepPauseMs);
}

// The program's window, placed and brought forward; null where it could not
// be started.
HWND startInFront(ProgramGroup *programs, const wchar_t *program, const std::wstring &arguments,
                  POINT place, DWORD flags = 0) {
  const HWND window = programs->start(program, arguments, flags);
  if (window != nullptr) {
    placeAt(window, place.x, place.y);
    bringForward(window);
  }
  return window;
}

// Where Notepad is worked when it is not moved about.
const POINT kNotepadPlace = {200, 120};

// Notepad, moved and resized in steps and typed into between them.
bool typeWhileMoving(ProgramGroup *programs) {
  const HWND notepad = programs->start(L"notepad.exe", L"");
  if (notepad == nullptr) {
    return false;
  }
  const RECT steps[] = {{300, 480, 900, 800}, {340, 460, 1000, 860}, {260, 520, 760, 760}};
  const std::wstring text = kText;
  const std::size_t perStep = text.size() / (sizeof steps / sizeof steps[0]) + 1;
  for (std::size_t step = 0; step < sizeof steps / sizeof steps[0]; ++step) {
    const RECT &place = steps[step];
    checkInFront(*programs);
    SetWindowPos(notepad, HWND_TOP, place.left, place.top, place.right - place.left,
                 place.bottom - place.top, SWP_SHOWWINDOW);
    SetForegroundWindow(notepad);
    typeText(*programs, text.substr(step * perStep, perStep), kTypingPauseMs);
  }
  return true;
}

// Three programs, each brought forward and then moved eight times without
// being resized, as a person drags a window by its title bar.
bool moveWindows(ProgramGroup *programs) {
  const struct {
    const wchar_t *program;
    int left, top;
  } starts[] = {{L"notepad.exe", 60, 60}, {L"taskmgr.exe", 560, 80}, {L"write.exe", 240, 440}};
  const POINT moves[] = {{160, 0}, {0, 120},   {-160, 0}, {0, -120},
                         {80, 60}, {-80, -60}, {200, 30}, {-200, -30}};
  HWND windows[3] = {};
  for (int i = 0; i < 3; ++i) {
    if ((windows[i] = programs->start(starts[i].program, L"")) == nullptr) {
      return false;
    }
    placeAt(windows[i], starts[i].left, starts[i].top);
  }
  for (const HWND window : windows) {
    bringForward(window);
    for (const POINT &by : moves) {
      RECT place;
      GetWindowRect(window, &place);
      moveInFront(*programs, window, place.left + by.x, place.top + by.y);
      Sleep(kStepPauseMs);
    }
  }
  return true;
}

void pressKeys(const ProgramGroup &to, std::initializer_list<WORD> keys) {
  for (const WORD key : keys) {
    pressKey(to, key, kStepPauseMs);
  }
}

// Notepad's menus and dialogs, worked with the keyboard alone. Notepad is
// brought forward before each dialog: a closing dialog may leave no window
// in front.
bool workMenusAndDialogs(ProgramGroup *programs) {
  const HWND notepad = startInFront(programs, L"notepad.exe", L"", kNotepadPlace);
  if (notepad == nullptr) {
    return false;
  }
  typeText(*programs, L"The quick brown fox jumps over the lazy dog.", kTypingPauseMs);
  // Alt alone highlights the menu bar; the arrows walk it and open popups.
  pressKeys(*programs, {VK_MENU, VK_RIGHT, VK_RIGHT, VK_DOWN, VK_DOWN, VK_DOWN, VK_RIGHT, VK_RIGHT,
                        VK_LEFT, VK_ESCAPE, VK_ESCAPE});
  pressChord(*programs, VK_MENU, 'F', kStepPauseMs);
  pressKeys(*programs, {VK_DOWN, VK_DOWN, VK_DOWN, VK_ESCAPE, VK_ESCAPE});
  // Find: a word typed, the focus moved; the search from the end finds
  // nothing and says so in a message box.
  bringForward(notepad);
  pressChord(*programs, VK_CONTROL, 'F', kStepPauseMs);
  typeText(*programs, L"fox", kStepPauseMs);
  pressKeys(*programs, {VK_TAB, VK_TAB, VK_TAB, VK_RETURN, VK_ESCAPE, VK_ESCAPE});
  // Open, from the File menu: a folder's list, the focus walked through it.
  bringForward(notepad);
  pressChord(*programs, VK_MENU, 'F', kStepPauseMs);
  pressKey(*programs, 'O', kStepPauseMs * 4);
  pressKeys(*programs, {VK_TAB, VK_TAB, VK_DOWN, VK_TAB, VK_ESCAPE});
  // About, from the Help menu.
  bringForward(notepad);
  pressChord(*programs, VK_MENU, 'H', kStepPauseMs);
  pressKey(*programs, 'A', kStepPauseMs * 2);
  pressKeys(*programs, {VK_RETURN});
  return true;
}

// Notepad in front with a line typed, then left alone: its caret blinks.
bool leaveIdle(ProgramGroup *programs) {
  if (startInFront(programs, L"notepad.exe", L"", kNotepadPlace) == nullptr) {
    return false;
  }
  typeText(*programs, L"Left alone from here on.", kTypingPauseMs);
  return true;
}

// A console that, once it has been up for two seconds, prints a long
// listing at once, as a file typed out does, then writes a line at a time: its text scrolls and its
// scroll bar's thumb moves down, for as long as the workload runs.
bool fillConsole(ProgramGroup *programs) {
  return startInFront(programs, L"cmd.exe",
                      L"/c \"ping -n 3 127.0.0.1 >nul & (for /l %i in (1,1,600) do @echo line %i "
                      L"of a long listing printed at"
                      L" once) & for /l %i in (1,1,100000) do @(echo line %i of a console's"
                      L" output>CON & ping -n 1 -w 10 127.0.0.1 >nul )\"",
                      {160, 100}, CREATE_NEW_CONSOLE) != nullptr;
}

}  // namespace

const WorkloadTask kWorkloadTasks[] = {
    {L"typing", L"Notepad typed into while it is moved and resized", typeWhileMoving},
    {L"moves", L"Notepad, Task Manager and WordPad each moved eight times", moveWindows},
    {L"menus", L"Notepad's menus and dialogs worked with the keyboard", workMenusAndDialogs},
    {L"idle", L"Notepad left alone, its caret blinking", leaveIdle},
    {L"console", L"a console printing a long listing, then line after line", fillConsole},
};

}  // namespace tools
}  // namespace lumo
