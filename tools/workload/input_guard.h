#pragma once

// The workload's keys and moves go only to its own programs. A key goes to
// whichever window is in front, and the system may refuse to bring a window
// forward or another program may take the front at any moment: so the
// window in front is checked immediately before every key and every move.
// A check and then the input is always a race: at most the input already on
// its way may land elsewhere.

#include <stdexcept>

#include "program_group.h"

namespace lumo {
namespace tools {

// What stopped the workload: the window in front, named with its program.
class ForeignWindowInFront : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// Throws ForeignWindowInFront where no window or one that is not the
// group's is in front.
void checkInFront(const ProgramGroup &programs);

}  // namespace tools
}  // namespace lumo
