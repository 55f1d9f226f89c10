#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace lumo {
namespace server {

// The status of the server's reply to one request: 0 accepted, 1 to 3 the
// server's error status, -1 a status that means nothing; for any but 0 the
// status text with it.
struct ControlStatus {
  std::int32_t status;
  std::string text;
};

// One request on a connection of its own: connect, the gate, the message
// with its payload, send. timeoutMs is the time for the whole exchange
// (ControlPipeConnection::noTimeout for none); while cancelEvent, if not
// null, is signalled the exchange is cancelled. Local failures throw as the
// connection and the message throw them.
ControlStatus sendControlRequest(const std::string &pipeName, std::uint32_t messageId,
                                 const void *payload, std::uint64_t payloadSize,
                                 std::uint32_t timeoutMs, HANDLE cancelEvent);

// Sends one request without payload and folds the outcome into a number: 0
// success, 1 to 3 the server's error status, -1 an invalid status, 1 any
// local failure. Throws nothing.
std::int32_t runControlCommand(const std::string &pipeName, std::uint32_t messageId);
// The same on the server's service control pipe.
std::int32_t runServiceControlCommand(std::uint32_t messageId);

}  // namespace server
}  // namespace lumo
