#pragma once

#include <windows.h>

namespace lumo {

// The running system's true version, which the compatibility shims of
// GetVersionEx would hide. Filled on first use; while it cannot be read, the
// size field stays 0, the record reads as version 0.0 and the next call
// tries again.
RTL_OSVERSIONINFOW windowsVersion();

}  // namespace lumo
