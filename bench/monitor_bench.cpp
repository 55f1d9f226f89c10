// How many reports a second the monitor takes in with nothing lost, against
// a bare message loop that only counts them: both receive the same posted
// reports from this process, as the hooked programs post them, and the
// figure is the time until the last one has come out at the other end (the
// monitor's output line, the counter's exit).
//   monitor_bench            runs the comparison
//   monitor_bench --count N  the bare counter: ends after N reports

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <thread>
#include <vector>

#include "measure.h"
#include "paintwatch/report.h"
#include "report_output.h"
#include "report_tally.h"
#include "server/server_object_names.h"
#include "util/text_conversion.h"
#include "util/unique_handle.h"
#include "win/argument_quoting.h"
#include "win/module_file_path.h"

namespace {

using lumo::UniqueHandle;

const int kReports = 50000;
const int kRepetitions = 7;
const wchar_t kCounterWindow[] = L"lumo-bench-report-counter";
// Nobody else reports this rectangle.
const lumo::region::Rect kRect(1234, 567, 1240, 570);
const DWORD kWindowWaitMs = 20000;

int count(int expected) {
  const UINT message = lumo::server::ServerObjectNames::instance().hookUpdateMessage;
  const lumo::UniqueWindow window(CreateWindowExW(0, L"STATIC", kCounterWindow, 0, 0, 0, 0, 0,
                                                  HWND_MESSAGE, nullptr, nullptr, nullptr));
  int received = 0;
  MSG msg;
  while (received < expected && GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (msg.message == message) {
      ++received;
    }
  }
  return 0;
}

// The counter's window is message-only; the monitor's report window is the
// screen source's hidden top-level one, so that it hears display changes.
HWND waitForWindow(HWND parent, const std::wstring &name) {
  for (ULONGLONG end = GetTickCount64() + kWindowWaitMs; GetTickCount64() < end; Sleep(20)) {
    if (const HWND window = FindWindowExW(parent, nullptr, nullptr, name.c_str())) {
      return window;
    }
  }
  return nullptr;
}

HWND waitForMonitor() {
  return waitForWindow(
      nullptr, lumo::toUtf16(lumo::server::ServerObjectNames::instance().hookTargetWindowName));
}

struct Child {
  UniqueHandle process;
  UniqueHandle output;  // our end of its standard output, for the monitor
  UniqueHandle input;   // our end of its standard input
};

Child start(const std::wstring &program, const std::wstring &arguments) {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE outRead = nullptr, outWrite = nullptr, inRead = nullptr, inWrite = nullptr;
  CreatePipe(&outRead, &outWrite, &inherit, 1 << 20);
  CreatePipe(&inRead, &inWrite, &inherit, 0);
  Child child;
  child.output.reset(outRead);
  child.input.reset(inWrite);
  const UniqueHandle childOut(outWrite);
  const UniqueHandle childIn(inRead);
  SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(inWrite, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = childIn.get();
  startup.hStdOutput = childOut.get();
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  std::wstring commandLine = lumo::win::quoteArgument(program) + L" " + arguments;
  PROCESS_INFORMATION info = {};
  if (CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                     &startup, &info)) {
    child.process.reset(info.hProcess);
    const UniqueHandle thread(info.hThread);
  }
  return child;
}

void post(HWND window) {
  const UINT message = lumo::server::ServerObjectNames::instance().hookUpdateMessage;
  const auto params = lumo::paintwatch::packReport(kRect);
  for (int i = 0; i < kReports; ++i) {
    while (!PostMessageW(window, message, params.wParam, params.lParam)) {
      // A full queue on Windows: the receiver is behind, so the sender waits.
      Sleep(0);
    }
  }
}

// Reads the monitor's output until all our reports have come out of it.
bool drainMonitor(HANDLE output) {
  const std::string line = std::to_string(kRect.left) + " " + std::to_string(kRect.top) + " " +
                           std::to_string(kRect.right) + " " + std::to_string(kRect.bottom);
  std::string pending;
  int seen = 0;
  char buffer[65536];
  DWORD read = 0;
  while (seen < kReports && ReadFile(output, buffer, sizeof buffer, &read, nullptr) && read > 0) {
    pending.append(buffer, read);
    std::size_t at = 0;
    for (std::size_t end; (end = pending.find('\n', at)) != std::string::npos; at = end + 1) {
      if (pending.compare(at, line.size(), line) == 0) {
        ++seen;
      }
    }
    pending.erase(0, at);
  }
  return seen == kReports;
}

// Ends a monitor started by start(): the end of its input stops it, and it
// writes the rest of its output before it ends.
void stopMonitor(Child &monitor) {
  monitor.input.reset();
  char sink[65536];
  DWORD read = 0;
  while (ReadFile(monitor.output.get(), sink, sizeof sink, &read, nullptr) && read > 0) {
  }
  WaitForSingleObject(monitor.process.get(), kWindowWaitMs);
}

// Seconds from the first post until the last report came out; < 0 if not
// all came.
double runMonitor() {
  const std::wstring program = lumo::win::besideThisProgram(L"paintmonitor.exe");
  Child monitor = start(program, L"--build 64");
  const HWND window = waitForMonitor();
  if (!monitor.process || window == nullptr) {
    return -1;
  }
  // Read while posting, as a consumer of the monitor's output would.
  bool all = false;
  double seconds = 0;
  const double started = lumo::bench::nowSeconds();
  std::thread reader([&] {
    all = drainMonitor(monitor.output.get());
    seconds = lumo::bench::nowSeconds() - started;
  });
  post(window);
  reader.join();
  // It prints the rest of its lines and its summary, and ends.
  stopMonitor(monitor);
  return all ? seconds : -1;
}

// With hooked, the counter runs while a monitor that receives nothing has
// the screen hooks installed, which every retrieved message then passes.
double runCounter(bool hooked) {
  Child idle;
  if (hooked) {
    idle = start(lumo::win::besideThisProgram(L"paintmonitor.exe"), L"--build 64");
    if (!idle.process || waitForMonitor() == nullptr) {
      return -1;
    }
  }
  Child counter = start(lumo::win::besideThisProgram(L"monitor_bench.exe"),
                        L"--count " + std::to_wstring(kReports));
  const HWND window = waitForWindow(HWND_MESSAGE, kCounterWindow);
  if (!counter.process || window == nullptr) {
    return -1;
  }
  const double started = lumo::bench::nowSeconds();
  post(window);
  WaitForSingleObject(counter.process.get(), INFINITE);
  const double seconds = lumo::bench::nowSeconds() - started;
  if (hooked) {
    stopMonitor(idle);
  }
  return seconds;
}

// The monitor's work for each report after GetMessageW, in this process:
// the tally and the output line, with a reader taking the output.
int timeConsumers() {
  HANDLE read = nullptr, write = nullptr;
  CreatePipe(&read, &write, nullptr, 1 << 20);
  const UniqueHandle reader(read), writer(write);
  std::thread drain([&] {
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(reader.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) {
    }
  });
  lumo::bench::CallTimes times;
  {
    lumo::tools::ReportTally tally({});
    lumo::tools::ReportOutput output(writer.get());
    const auto params = lumo::paintwatch::packReport(kRect);
    for (int r = 0; r < kRepetitions; ++r) {
      for (int i = 0; i < kReports; ++i) {
        const lumo::region::Rect report = times("unpackReport", [&] {
          return lumo::paintwatch::unpackReport(params.wParam, params.lParam);
        });
        times("ReportTally::record", [&] { tally.record(report); });
        times("ReportOutput::addReport", [&] { output.addReport(report); });
      }
      times.endRepetition(kReports);
    }
    output.finish(10000);
  }
  CloseHandle(write);
  drain.join();
  times.print("the monitor's work per report");
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t **argv) {
  if (argc == 3 && std::wcscmp(argv[1], L"--count") == 0) {
    return count(_wtoi(argv[2]));
  }
  if (argc == 2 && std::wcscmp(argv[1], L"--calls") == 0) {
    return timeConsumers();
  }
  // The load of a shared machine drifts between runs more than between
  // candidates of one repetition, which run one after the other: each
  // ratio is taken within its repetition.
  std::vector<double> monitor, counter, hookedCounter, overBare, overHooked;
  for (int r = 0; r < kRepetitions; ++r) {
    const double m = runMonitor();
    const double c = runCounter(false);
    const double h = runCounter(true);
    if (m < 0 || c < 0 || h < 0) {
      std::fprintf(stderr, "monitor_bench: a run lost reports or could not start\n");
      return 1;
    }
    monitor.push_back(kReports / m);
    counter.push_back(kReports / c);
    hookedCounter.push_back(kReports / h);
    overBare.push_back(m / c);
    overHooked.push_back(m / h);
  }
  const double bare = lumo::bench::median(overBare);
  std::printf("%-32s %12s %12s %8s %14s %8s\n", "reports per second, nothing lost", "paintmonitor",
              "bare loop", "ratio", "bare, hooked", "ratio");
  std::printf("%-32s %12.0f %12.0f %8.2f %14.0f %8.2f\n", "50000 posted reports",
              lumo::bench::median(monitor), lumo::bench::median(counter), bare,
              lumo::bench::median(hookedCounter), lumo::bench::median(overHooked));
  // No definition to follow: the bare loop is the floor and the raw
  // operation alike.
  lumo::bench::printFloorLine("monitor intake", bare, bare);
  std::printf(
      "ratios: time of paintmonitor over time of the bare loop, without and with the monitor's "
      "hooks installed, within each run; median of %d runs\n",
      kRepetitions);
  return 0;
}
