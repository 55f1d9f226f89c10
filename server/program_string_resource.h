#pragma once

#include <string>

namespace lumo {
namespace server {

// The text of a string resource of the running program's module; empty when
// the resource is missing.
std::string programStringResource(unsigned id);

}  // namespace server
}  // namespace lumo
