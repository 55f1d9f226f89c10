// paintworkload: gives the hooks work that nobody here wrote: programs that
// ship with the system, worked through the input functions as a person works
// them, one kind of work per run, so that the monitor's coverage check can
// measure each.
//   paintworkload [--task NAME] [SECONDS]

#include <windows.h>

#include <cstdint>
#include <string>

#include "command_line.h"
#include "diagnostics.h"
#include "option_table.h"
#include "util/text_conversion.h"
#include "workload/input_guard.h"
#include "workload/program_group.h"
#include "workload/workload_tasks.h"

namespace {

using lumo::tools::kWorkloadTasks;
using lumo::tools::Problem;
using lumo::tools::WorkloadTask;

const std::uint32_t kMostSeconds = 3600;
const std::size_t kHelpColumn = 20;

std::wstring usageHead() {
  std::wstring head =
      L"usage: paintworkload [--task NAME] [SECONDS]\n"
      L"\n"
      L"Starts programs that ship with the system and works them with the\n"
      L"keyboard and by moving their windows, for SECONDS at least (default 4),\n"
      L"then ends them. The tasks:\n";
  for (const WorkloadTask &task : kWorkloadTasks) {
    head += L"  " + std::wstring(task.name) +
            std::wstring(kHelpColumn - 2 - wcslen(task.name), L' ') + task.help + L"\n";
  }
  return head + L"\n";
}

// "typing, moves, ... or console".
std::wstring taskNames() {
  std::wstring names;
  const std::size_t count = sizeof kWorkloadTasks / sizeof kWorkloadTasks[0];
  for (std::size_t i = 0; i < count; ++i) {
    names += (i == 0           ? L""
              : i + 1 == count ? L" or "
                               : L", ") +
             std::wstring(kWorkloadTasks[i].name);
  }
  return names;
}

lumo::tools::TakeValue taskValue(const WorkloadTask **into) {
  return [into](const std::wstring &name, const std::wstring &value) {
    for (const WorkloadTask &task : kWorkloadTasks) {
      if (value == task.name) {
        *into = &task;
        return Problem();
      }
    }
    return Problem(name + L" needs one of " + taskNames() + L", not " + lumo::tools::quoted(value));
  };
}

struct Options {
  const WorkloadTask *task = &kWorkloadTasks[0];
  std::uint32_t milliseconds = 4000;
  bool haveSeconds = false;
};

lumo::tools::TakeValue secondsOperand(Options *options) {
  return [options](const std::wstring &, const std::wstring &word) {
    if (options->haveSeconds) {
      return Problem(L"only one number of seconds can be given, " + lumo::tools::quoted(word) +
                     L" is one too many");
    }
    if (!lumo::tools::parseSeconds(word, kMostSeconds, &options->milliseconds)) {
      return Problem(L"SECONDS must be a number of seconds above 0 and up to " +
                     std::to_wstring(kMostSeconds) + L", not " + lumo::tools::quoted(word));
    }
    options->haveSeconds = true;
    return Problem();
  };
}

}  // namespace

int wmain(int argc, wchar_t **argv) {
  const lumo::tools::Diagnostics diagnostics(L"paintworkload");
  Options options;
  lumo::tools::OptionTable table(usageHead(), kHelpColumn);
  table.option(L"--task", L"NAME", L"the work to do (default: typing)", taskValue(&options.task))
      .operands(secondsOperand(&options))
      .help();
  const int code = table.read(argc, argv, diagnostics);
  if (code != lumo::tools::OptionTable::kGoOn) {
    return code;
  }
  const ULONGLONG end = GetTickCount64() + options.milliseconds;
  lumo::tools::ProgramGroup programs(diagnostics);
  try {
    if (!options.task->run(&programs)) {
      return 1;
    }
  } catch (const lumo::tools::ForeignWindowInFront &stopped) {
    diagnostics.error(lumo::toUtf16(stopped.what()));
    return 1;
  }
  const ULONGLONG now = GetTickCount64();
  if (now < end) {
    Sleep(static_cast<DWORD>(end - now));
  }
  return 0;
}
