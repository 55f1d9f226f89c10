#pragma once

// What the workload does with programs that ship with the system, each kind
// of work as a person does it, so that the monitor's coverage check can
// measure each kind of change on its own.

#include "program_group.h"

namespace lumo {
namespace tools {

struct WorkloadTask {
  const wchar_t *name;
  const wchar_t *help;
  // Starts the programs and works them; false where one could not be
  // started. They stay until the group ends.
  bool (*run)(ProgramGroup *programs);
};

// The first is the default.
extern const WorkloadTask kWorkloadTasks[5];

}  // namespace tools
}  // namespace lumo
