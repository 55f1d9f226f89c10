#pragma once

// Exports of paintwatch64.dll and paintwatch32.dll.

#include <windows.h>

#ifndef __cplusplus
#include <stdbool.h>
#endif

#ifdef PAINTWATCH_BUILDING
#define PAINTWATCH_API __declspec(dllexport)
#else
#define PAINTWATCH_API __declspec(dllimport)
#endif

#ifdef __cplusplus
extern "C" {
#endif

// Installs the three system-wide hooks; reports go to targetWindow as
// hookMessage, a registered message (0xC000 to 0xFFFF). Refused while any
// hook of this build is installed, by any process.
PAINTWATCH_API bool setHookWithMessage(HWND targetWindow, UINT hookMessage);

// Removes the hooks if the pair is the installed one; another pair is left
// alone and reported as success.
PAINTWATCH_API bool unsetHookForWindow(HWND targetWindow, UINT hookMessage);

#ifdef __cplusplus
}
#endif

typedef bool (*SetHookWithMessageFn)(HWND, UINT);
typedef bool (*UnsetHookForWindowFn)(HWND, UINT);
