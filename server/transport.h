#pragma once

#include "util/stream.h"

// One connection to the server, whatever carries it.
class Transport {
public:
  virtual ~Transport() = default;
  // The connection's two-way byte stream.
  virtual lumo::Channel *getChannel() = 0;
  // A second stream that some transports carry beside the main one; null
  // where there is none.
  virtual lumo::Channel *getSideChannel() = 0;
  // Ends current and later transfers; callable from any thread.
  virtual void cancel() = 0;
};
