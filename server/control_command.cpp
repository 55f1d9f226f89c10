#include "server/control_command.h"

#include "server/control_gate.h"
#include "server/control_pipe_connection.h"
#include "server/server_control_message.h"
#include "server/server_object_names.h"

namespace lumo {
namespace server {

namespace {

// The one-shot command's result for every failure on this side of the pipe.
constexpr std::int32_t localFailure = 1;

}  // namespace

ControlStatus sendControlRequest(const std::string &pipeName, std::uint32_t messageId,
                                 const void *payload, std::uint64_t payloadSize,
                                 std::uint32_t timeoutMs, HANDLE cancelEvent) {
  ControlPipeConnection connection(pipeName);
  connection.setTimeout(timeoutMs);
  connection.setExternalCancelEvent(cancelEvent);
  connection.connect();
  ControlGate gate(&connection);
  ServerControlMessage message(&gate, &connection, messageId);
  message.writeFully(payload, payloadSize);
  try {
    message.send();
  } catch (const RemoteException &error) {
    return {message.getStatus(), error.getMessage()};
  }
  return {static_cast<std::int32_t>(ServerControlMessage::acceptedStatus), std::string()};
}

std::int32_t runControlCommand(const std::string &pipeName, std::uint32_t messageId) {
  try {
    const ControlStatus reply = sendControlRequest(
        pipeName, messageId, nullptr, 0, ControlPipeConnection::defaultTimeoutMs, nullptr);
    return reply.status;
  } catch (...) {
    return localFailure;
  }
}

std::int32_t runServiceControlCommand(std::uint32_t messageId) {
  try {
    return runControlCommand(ServerObjectNames::instance().serviceControlPipeName, messageId);
  } catch (...) {
    return localFailure;
  }
}

}  // namespace server
}  // namespace lumo
