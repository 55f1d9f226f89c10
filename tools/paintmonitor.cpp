// paintmonitor: stands in for the server program that owns the report window.
// It installs the screen hooks, the 64-bit build itself and the 32-bit one
// through the 32-bit hook loader, prints every report as one line
// "left top right bottom" (virtual-screen coordinates) and removes the hooks
// when it ends: after --duration, on Ctrl+C, or when its input closes. With
// --verify it also captures the screen and says which changes no report
// covered.

#include <windows.h>

#include "command_line.h"
#include "diagnostics.h"
#include "monitor.h"
#include "option_table.h"
#include "win/module_file_path.h"

namespace {

using lumo::tools::MonitorOptions;
using lumo::tools::Problem;

const wchar_t kHead[] =
    L"usage: paintmonitor [--duration SECONDS] [--build 64|32|both] [--library PATH]\n"
    L"                    [--window-title TITLE]... [--damage-map FILE.png] [--verify]\n"
    L"\n"
    L"Installs the screen-change hooks and prints each reported rectangle as\n"
    L"\"left top right bottom\" in virtual-screen coordinates. Ends after SECONDS,\n"
    L"on Ctrl+C, or when standard input closes, and then prints a summary.\n"
    L"\n";
const std::size_t kHelpColumn = 24;
const std::uint32_t kMostSeconds = 86400;

lumo::tools::TakeValue buildValue(MonitorOptions *options) {
  return [options](const std::wstring &name, const std::wstring &value) {
    if (value != L"64" && value != L"32" && value != L"both") {
      return Problem(name + L" needs 64, 32 or both, not " + lumo::tools::quoted(value));
    }
    options->watch64 = value != L"32";
    options->watch32 = value != L"64";
    return Problem();
  };
}

lumo::tools::OptionTable optionTable(MonitorOptions *options) {
  using namespace lumo::tools;
  OptionTable table(kHead, kHelpColumn);
  table
      .option(L"--duration", L"SECONDS", L"stop after this many seconds (default: no limit)",
              secondsValue(kMostSeconds, &options->durationMs))
      .option(L"--build", L"BITS",
              L"which processes to watch: 64-bit ones (this program\n"
              L"installs paintwatch64.dll), 32-bit ones (paintloader32\n"
              L"beside this program installs paintwatch32.dll), or\n"
              L"both (the default)",
              buildValue(options))
      .option(L"--library", L"PATH",
              L"the 64-bit hook library (default: paintwatch64.dll\n"
              L"beside this program)",
              textValue(&options->library))
      .option(L"--window-title", L"TITLE",
              L"count in the summary the rectangles that lie inside\n"
              L"the top-level window with this title; may be given\n"
              L"more than once",
              textValues(&options->windowTitles))
      .option(L"--damage-map", L"FILE",
              L"at the end, write a PNG of the screen with every\n"
              L"reported rectangle outlined and shaded by how often\n"
              L"it was reported",
              textValue(&options->damageMap))
      .option(L"--verify", nullptr,
              L"capture the screen at a steady interval and compare:\n"
              L"which changed pixels the reports covered, which they\n"
              L"missed (shown in the damage map), and how much of the\n"
              L"reported area did not change",
              flagValue(&options->verify))
      .help();
  return table;
}

}  // namespace

int wmain(int argc, wchar_t **argv) {
  MonitorOptions options;
  options.library = lumo::win::besideThisProgram(L"paintwatch64.dll");
  const lumo::tools::Diagnostics diagnostics(L"paintmonitor");
  const int code = optionTable(&options).read(argc, argv, diagnostics);
  return code == lumo::tools::OptionTable::kGoOn ? lumo::tools::runMonitor(options) : code;
}
