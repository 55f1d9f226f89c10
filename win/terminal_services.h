#pragma once

// The terminal-services functions are looked up at run time, because a
// system may lack them, into one process-wide table that is loaded once.

#include "util/lock.h"

namespace lumo {

class Log;

// Guards loading; re-entrant, so holders may call functions that take it.
LocalMutex &terminalServicesMutex();

// Loads the table unless it was loaded before; a library that cannot be
// loaded is reported as an error line. The caller holds the mutex.
void ensureSessionTable(Log &log);

}  // namespace lumo
