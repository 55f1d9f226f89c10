#pragma once

#include "util/data_stream.h"
#include "util/lock.h"
#include "util/stream.h"

// Typed reads and writes over one connection, with a lock for callers that
// share the connection between threads. The gate neither owns nor closes
// the connection and must not outlive it.
class ControlGate : public lumo::DataInputStream,
                    public lumo::DataOutputStream,
                    public lumo::LocalMutex {
public:
  explicit ControlGate(lumo::Channel *connection)
      : DataInputStream(connection), DataOutputStream(connection) {}
  ControlGate(const ControlGate &) = delete;
  ControlGate &operator=(const ControlGate &) = delete;
};
