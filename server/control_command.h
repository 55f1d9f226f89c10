#pragma once

#include <cstdint>
#include <string>

namespace lumo {
namespace server {

// Sends one request without payload and folds the outcome into a number: 0
// success, 1 to 3 the server's error status, -1 an invalid status, 1 any
// local failure. Throws nothing.
std::int32_t runControlCommand(const std::string &pipeName, std::uint32_t messageId);
// The same on the server's service control pipe.
std::int32_t runServiceControlCommand(std::uint32_t messageId);

}  // namespace server
}  // namespace lumo
