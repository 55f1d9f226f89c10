#pragma once

// Interactive sessions and the tokens that start programs in them. Every
// token returned is a primary token owned by the caller. Failures are thrown
// as lumo::SystemException with the system's error code.

#include <string>

#include <windows.h>

#include "util/unique_handle.h"

namespace lumo {

class Log;

// 0 when the system cannot tell.
DWORD activeConsoleSessionId(Log &log);

// Empty when unknown. Loads nothing: call it once the table is loaded.
std::string sessionUserName(DWORD session);

// A remote-desktop session never counts as locked, nor does one whose state
// cannot be read.
bool isSessionLocked(DWORD session, Log &log);

// The token of the user logged on to the session; only LocalSystem may ask.
UniqueHandle queryUserToken(DWORD session, Log &log);

// A primary copy of token moved into session, with UI access where the
// system allows it. token stays the caller's.
UniqueHandle makeSessionToken(HANDLE token, DWORD session, Log &log);

// A token for the session to start programs in: the last active
// remote-desktop session when searchRemoteSession is set and one exists,
// else the active console session. The user's own token when the session is
// a found remote one, else the caller's token moved into the session.
UniqueHandle getSessionUserToken(bool searchRemoteSession, Log &log);

// The account name without its domain; empty when unknown.
std::string tokenUserName(HANDLE token);

}  // namespace lumo
