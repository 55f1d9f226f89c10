#include "server/control_command.h"

#include "server/control_gate.h"
#include "server/control_pipe_connection.h"
#include "server/server_control_message.h"
#include "server/server_object_names.h"

namespace lumo {
namespace server {

std::int32_t runControlCommand(const std::string &pipeName, std::uint32_t messageId) {
  try {
    ControlPipeConnection connection(pipeName);
    connection.connect();
    ControlGate gate(&connection);
    ServerControlMessage message(&gate, &connection, messageId);
    try {
      message.send();
    } catch (const RemoteException &) {
      return message.getStatus();
    }
    return 0;
  } catch (...) {
    return 1;
  }
}

std::int32_t runServiceControlCommand(std::uint32_t messageId) {
  try {
    return runControlCommand(ServerObjectNames::instance().serviceControlPipeName, messageId);
  } catch (...) {
    return 1;
  }
}

}  // namespace server
}  // namespace lumo
