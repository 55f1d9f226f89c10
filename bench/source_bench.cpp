// The screen source against a whole-screen poller, each alone in a process
// of its own on the same scripted work, in turns, several times: the
// latency of a marker, the CPU cost idle and while a window is typed into,
// the intake under a flood of paints against a bare report loop, and the
// tracker's tick. CPU is the candidate's own time plus what the wineserver
// and the X server spend beyond the same work watched by no candidate.
//   source_bench [--quick] [--detail] [--only latency|cost|flood|tick]
//   source_bench candidate KIND SCENARIO PARENT | work WHAT PARENT ARGUMENT

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cwchar>
#include <limits>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "proc_figures.h"
#include "source_bench_modes.h"
#include "tick_ratio.h"

namespace lumo {
namespace bench {

namespace {

struct Plan {
  int repetitions = 3;
  double idleSeconds = 20;
  double floodSeconds = 10;
  double settleSeconds = 4;
  bool detail = false;
  // One line only: latency, cost, flood or tick.
  std::string only;
};

const wchar_t *scenarioName(Scenario scenario) {
  switch (scenario) {
    case Scenario::latency:
      return L"latency";
    case Scenario::idle:
      return L"idle";
    case Scenario::typing:
      return L"typing";
    case Scenario::flood:
      return L"flood";
  }
  return L"";
}

struct RunFigures {
  std::map<std::string, double> figures;
  std::vector<double> latencies;
  int missed = 0;
  // The servers' CPU ticks and the wineserver's growth while the work ran.
  double serverTicks = 0;
  double serverGrowthKib = 0;
  double wall = 0;
};

// A figure that is not a number is a failure, not 0.
double number(const std::string &text) {
  char *end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (text.empty() || *end != '\0' || !std::isfinite(value)) {
    throw std::runtime_error("not a number in a candidate's figures: \"" + text + "\"");
  }
  return value;
}

void parseOutput(const std::string &text, RunFigures *run) {
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream words(line);
    std::string kind;
    std::string a;
    std::string b;
    words >> kind >> a >> b;
    if (kind == "figure") {
      run->figures[a] = number(b);
    } else if (kind == "latency") {
      run->latencies.push_back(number(a));
    } else if (kind == "missed") {
      run->missed += static_cast<int>(number(a));
    } else if (!line.empty()) {
      throw std::runtime_error("a candidate said: " + line);
    }
  }
}

struct ServerSample {
  double ticks;
  double wineserverKib;
};

ServerSample sampleServers(const SessionServers &servers) {
  const auto server = cpuTicks(servers.wineserver);
  const auto x = cpuTicks(servers.xserver);
  const auto memory = residentKib(servers.wineserver);
  if (!server || !x || !memory) {
    throw std::runtime_error("cannot read the wineserver's or the X server's figures in /proc");
  }
  return {static_cast<double>(*server + *x), static_cast<double>(*memory)};
}

void waitUntil(const volatile LONG &counter, LONG wanted, HANDLE candidate) {
  const double end = nowSeconds() + 60;
  while (counter < wanted) {
    if (WaitForSingleObject(candidate, 10) == WAIT_OBJECT_0 || nowSeconds() > end) {
      throw std::runtime_error("a child of the benchmark did not get ready");
    }
  }
}

std::vector<Child> startWork(Scenario scenario, const std::wstring &parent, bool spin) {
  std::vector<Child> work;
  if (scenario == Scenario::latency) {
    work.push_back(startChild(L"work marker " + parent + (spin ? L" 1" : L" 0"), false));
  } else if (scenario == Scenario::typing) {
    work.push_back(startChild(L"work typing " + parent + L" 0", false));
  } else if (scenario == Scenario::flood) {
    for (int i = 0; i < 4; ++i) {
      work.push_back(startChild(L"work flood " + parent + L" " + std::to_wstring(i), false));
    }
  }
  return work;
}

// While the work runs: the marker's run to its end, a flood's or an idle
// stretch for its time.
void runWork(Scenario scenario, const Plan &plan, const std::vector<Child> &work) {
  if (scenario == Scenario::latency) {
    WaitForSingleObject(work.front().process.get(), 120000);
  } else {
    Sleep(static_cast<DWORD>((scenario == Scenario::flood ? plan.floodSeconds : plan.idleSeconds) *
                             1000));
  }
}

class Runner {
public:
  Runner(const Plan &plan, const SessionServers &servers)
      : plan_(plan),
        servers_(servers),
        shared_(GetCurrentProcessId(), true),
        parent_(std::to_wstring(GetCurrentProcessId())) {
    if (shared_.block() == nullptr) {
      throw std::runtime_error("cannot make the benchmark's shared memory");
    }
  }

  RunFigures run(const wchar_t *candidate, Scenario scenario, bool spin = false);

private:
  void endRun(Scenario scenario, Child *candidate, std::vector<Child> *work);

  const Plan &plan_;
  const SessionServers &servers_;
  SharedMemory shared_;
  std::wstring parent_;
};

RunFigures Runner::run(const wchar_t *candidate, Scenario scenario, bool spin) {
  SharedBlock &shared = *shared_.block();
  shared = SharedBlock{};
  Child watcher = startChild(
      std::wstring(L"candidate ") + candidate + L" " + scenarioName(scenario) + L" " + parent_,
      true);
  if (!watcher.process) {
    throw std::runtime_error("cannot start a candidate");
  }
  waitUntil(shared.candidateReady, 1, watcher.process.get());
  std::vector<Child> work = startWork(scenario, parent_, spin);
  waitUntil(shared.workReady, static_cast<LONG>(work.size()), watcher.process.get());
  Sleep(500);
  RunFigures figures;
  const ServerSample before = sampleServers(servers_);
  const double start = nowSeconds();
  setPhase(&shared, working);
  runWork(scenario, plan_, work);
  const ServerSample after = sampleServers(servers_);
  figures.wall = nowSeconds() - start;
  figures.serverTicks = after.ticks - before.ticks;
  figures.serverGrowthKib = after.wineserverKib - before.wineserverKib;
  endRun(scenario, &watcher, &work);
  parseOutput(readAll(watcher.output.get()), &figures);
  DWORD code = 1;
  WaitForSingleObject(watcher.process.get(), 30000);
  if (!GetExitCodeProcess(watcher.process.get(), &code) || code != 0) {
    throw std::runtime_error("a candidate failed");
  }
  return figures;
}

void Runner::endRun(Scenario scenario, Child *candidate, std::vector<Child> *work) {
  SharedBlock &shared = *shared_.block();
  if (scenario == Scenario::flood) {
    setPhase(&shared, settling);
    Sleep(static_cast<DWORD>(plan_.settleSeconds * 1000));
    setPhase(&shared, comparing);
    WaitForSingleObject(candidate->process.get(), 60000);
  }
  setPhase(&shared, finished);
  for (Child &child : *work) {
    if (WaitForSingleObject(child.process.get(), 20000) != WAIT_OBJECT_0) {
      TerminateProcess(child.process.get(), 1);
    }
  }
}

double percentile(std::vector<double> values, double share) {
  if (values.empty()) {
    return std::numeric_limits<double>::infinity();
  }
  std::sort(values.begin(), values.end());
  const size_t at = static_cast<size_t>(std::ceil(share * values.size())) - 1;
  return values[std::min(at, values.size() - 1)];
}

// Latencies of all runs, missed markers as infinitely late.
std::vector<double> pooled(const std::vector<RunFigures> &runs) {
  std::vector<double> all;
  for (const RunFigures &run : runs) {
    all.insert(all.end(), run.latencies.begin(), run.latencies.end());
    all.insert(all.end(), run.missed, std::numeric_limits<double>::infinity());
  }
  return all;
}

// Milliseconds of CPU per second: the candidate's own, and the servers'
// beyond what they spent per second on the same work watched by none.
double costPerSecond(const RunFigures &run, double baselineTicksPerSecond) {
  const double own = run.figures.at("cpu_s");
  const double servers =
      (run.serverTicks - baselineTicksPerSecond * run.wall) / kClockTicksPerSecond;
  return (own + servers) / run.wall * 1000;
}

std::vector<double> column(const std::vector<RunFigures> &runs, double (*of)(const RunFigures &)) {
  std::vector<double> values;
  for (const RunFigures &run : runs) {
    values.push_back(of(run));
  }
  return values;
}

double medianOf(const std::vector<RunFigures> &runs, double (*of)(const RunFigures &)) {
  return median(column(runs, of));
}

void detailLoad(const Plan &plan, const char *what) {
  if (plan.detail) {
    std::string load = readProcFile("loadavg", "");
    load.erase(std::remove(load.begin(), load.end(), '\n'), load.end());
    std::printf("(%s: load %s)\n", what, load.c_str());
  }
}

// In turns: the first candidate goes first in even repetitions.
std::vector<std::vector<RunFigures>> turns(Runner *runner, const Plan &plan,
                                           const std::vector<const wchar_t *> &candidates,
                                           Scenario scenario, bool spin = false) {
  std::vector<std::vector<RunFigures>> runs(candidates.size());
  for (int r = 0; r < plan.repetitions; ++r) {
    for (size_t i = 0; i < candidates.size(); ++i) {
      const size_t c = (i + static_cast<size_t>(r)) % candidates.size();
      runs[c].push_back(runner->run(candidates[c], scenario, spin));
    }
  }
  return runs;
}

// Infinite where a missed marker decides it: printed as -1.
double shown(double ms) { return std::isfinite(ms) ? ms : -1; }

void latencyLine(Runner *runner, const Plan &plan) {
  detailLoad(plan, "latency");
  const auto runs = turns(runner, plan, {L"source", L"poller"}, Scenario::latency);
  const std::vector<double> source = pooled(runs[0]);
  const std::vector<double> poller = pooled(runs[1]);
  std::printf("latency: source p50 %.1f ms, p99 %.1f ms; poller p50 %.1f ms, p99 %.1f ms\n",
              shown(percentile(source, 0.5)), shown(percentile(source, 0.99)),
              shown(percentile(poller, 0.5)), shown(percentile(poller, 0.99)));
  if (plan.detail) {
    std::printf("(markers: source %zu, poller %zu, missed ones counted as never seen)\n",
                source.size(), poller.size());
  }
}

// Where the marker's pixels reach the screen, read a pixel at a time, when
// the painting thread waits at once and when it first spins 50 ms.
void flushDetail(Runner *runner, Plan plan) {
  plan.repetitions = 1;
  const std::vector<double> waits = pooled(turns(runner, plan, {L"probe"}, Scenario::latency)[0]);
  const std::vector<double> spins =
      pooled(turns(runner, plan, {L"probe"}, Scenario::latency, true)[0]);
  std::printf(
      "(flush: marker on the screen p50 %.2f ms, p99 %.2f ms after its paint when the "
      "painter waits at once; p50 %.2f ms, p99 %.2f ms when it spins 50 ms first)\n",
      shown(percentile(waits, 0.5)), shown(percentile(waits, 0.99)), shown(percentile(spins, 0.5)),
      shown(percentile(spins, 0.99)));
}

double perSecond(const RunFigures &run, const char *name) {
  return run.figures.count(name) != 0 ? run.figures.at(name) / run.wall : 0.0;
}

// Each run of the first two candidates, described by `describe`.
template <typename Describe>
void detailRuns(const std::string &title, const std::vector<std::vector<RunFigures>> &runs,
                const char *first, const char *second, Describe describe) {
  std::printf("(%s", title.c_str());
  for (size_t c = 0; c < 2; ++c) {
    for (const RunFigures &run : runs[c]) {
      std::printf("; %s ", c == 0 ? first : second);
      describe(run);
    }
  }
  std::printf(")\n");
}

// Each run's parts, per second: the candidate's own CPU, the servers' beyond
// the baseline, frames, captured and reported pixels where the source gave
// them.
void detailCosts(Scenario scenario, const std::vector<std::vector<RunFigures>> &runs,
                 double baseline) {
  const std::wstring name = scenarioName(scenario);
  char figure[32];
  std::snprintf(figure, sizeof figure, "%.1f", baseline * 1000 / kClockTicksPerSecond);
  const std::string title =
      std::string(name.begin(), name.end()) + ": servers' baseline " + figure + " ms/s";
  detailRuns(title, runs, "source", "poller", [baseline](const RunFigures &run) {
    std::printf(
        "own %.1f ms/s, servers %.1f ms/s, %.1f frames/s, %.0f pixels/s captured, %.1f "
        "reports/s of %.0f pixels/s",
        perSecond(run, "cpu_s") * 1000,
        (run.serverTicks / run.wall - baseline) * 1000 / kClockTicksPerSecond,
        perSecond(run, "frames"), perSecond(run, "captured_pixels"), perSecond(run, "reports"),
        perSecond(run, "reported_pixels"));
  });
}

void costLine(Runner *runner, const Plan &plan) {
  double figures[2][2];
  for (const Scenario scenario : {Scenario::idle, Scenario::typing}) {
    detailLoad(plan, scenario == Scenario::idle ? "idle" : "typing");
    const auto runs = turns(runner, plan, {L"source", L"poller", L"none"}, scenario);
    const double baseline =
        medianOf(runs[2], [](const RunFigures &r) { return r.serverTicks / r.wall; });
    for (int c = 0; c < 2; ++c) {
      std::vector<double> costs;
      for (const RunFigures &run : runs[static_cast<size_t>(c)]) {
        costs.push_back(costPerSecond(run, baseline));
      }
      figures[scenario == Scenario::idle ? 0 : 1][c] = median(costs);
    }
    if (plan.detail) {
      detailCosts(scenario, runs, baseline);
    }
  }
  std::printf(
      "cost: idle source %.1f ms/s, poller %.1f ms/s; typing source %.1f ms/s, poller "
      "%.1f ms/s\n",
      figures[0][0], figures[0][1], figures[1][0], figures[1][1]);
}

// Each run's parts: the candidate's own CPU and the servers' while the
// flood ran, the reports still taken after it, and the memory of both.
void detailFlood(const std::vector<std::vector<RunFigures>> &runs) {
  detailRuns("flood", runs, "source", "bare loop", [](const RunFigures &run) {
    std::printf(
        "own %.0f ms/s, servers %.0f ms/s, %.1f frames/s, %.0f pixels/s captured, %.0f "
        "reports late, growth %.1f MiB own, %.1f MiB wineserver",
        perSecond(run, "cpu_s") * 1000, run.serverTicks / run.wall * 10, perSecond(run, "frames"),
        perSecond(run, "captured_pixels"), perSecond(run, "reports_late") * run.wall,
        perSecond(run, "memory_growth_kib") * run.wall / 1024, run.serverGrowthKib / 1024);
  });
}

void floodLine(Runner *runner, const Plan &plan) {
  detailLoad(plan, "flood");
  const auto runs = turns(runner, plan, {L"source", L"bare"}, Scenario::flood);
  const auto rate = [](const RunFigures &r) { return r.figures.at("reports") / r.wall; };
  const double taken = medianOf(runs[0], rate);
  const double bare = medianOf(runs[1], rate);
  const double growth = medianOf(runs[0], [](const RunFigures &r) {
    return (r.figures.at("memory_growth_kib") + r.serverGrowthKib) / 1024;
  });
  double off = 0;
  for (const RunFigures &run : runs[0]) {
    off = std::max(off, run.figures.at("pixels_off"));
  }
  std::printf(
      "flood: %.0f reports/s taken, %.2f of a bare loop; memory growth %.1f MiB; replica "
      "at rest %.0f pixels off\n",
      taken, taken / bare, growth, off);
  if (plan.detail) {
    std::printf("(flood: bare loop %.0f reports/s; pixels off: the most of %d runs)\n", bare,
                plan.repetitions);
    detailFlood(runs);
  }
}

void tickLine(const Plan &plan) {
  detailLoad(plan, "tick");
  std::vector<UniqueWindow> windows;
  addBenchWindows(&windows, 50);
  const TickTimes few = timeTicks(4000);
  addBenchWindows(&windows, 500);
  const TickTimes many = timeTicks(1000);
  printTickLine(few, many);
}

int benchmark(const Plan &plan) {
  const std::optional<SessionServers> servers = findSessionServers();
  if (!servers) {
    std::fprintf(stderr,
                 "source_bench: cannot find this Wine session's wineserver and X "
                 "server in /proc (through Z:)\n");
    return 1;
  }
  Runner runner(plan, *servers);
  const auto wanted = [&plan](const char *line) { return plan.only.empty() || plan.only == line; };
  if (wanted("latency")) {
    latencyLine(&runner, plan);
    if (plan.detail) {
      flushDetail(&runner, plan);
    }
  }
  if (wanted("cost")) {
    costLine(&runner, plan);
  }
  if (wanted("flood")) {
    floodLine(&runner, plan);
  }
  if (wanted("tick")) {
    tickLine(plan);
  }
  return 0;
}

Scenario scenarioNamed(const std::wstring &name) {
  for (const Scenario s : {Scenario::latency, Scenario::idle, Scenario::typing, Scenario::flood}) {
    if (name == scenarioName(s)) {
      return s;
    }
  }
  throw std::runtime_error("no such scenario");
}

int child(int argc, wchar_t **argv) {
  const bool candidate = std::wcscmp(argv[1], L"candidate") == 0;
  if (argc != 5 || (!candidate && std::wcscmp(argv[1], L"work") != 0)) {
    std::fprintf(stderr, "source_bench: a child needs a kind, a scenario and its parent\n");
    return 2;
  }
  const SharedMemory shared(static_cast<DWORD>(std::wcstoul(argv[candidate ? 4 : 3], nullptr, 10)),
                            false);
  if (shared.block() == nullptr) {
    std::fprintf(stderr, "source_bench: cannot open the parent's shared memory\n");
    return 1;
  }
  const int code = candidate ? runCandidate(argv[2], scenarioNamed(argv[3]), shared.block())
                             : runWork(argv[2], shared.block(),
                                       static_cast<int>(std::wcstol(argv[4], nullptr, 10)));
  std::fflush(stdout);
  return code;
}

}  // namespace
}  // namespace bench
}  // namespace lumo

int wmain(int argc, wchar_t **argv) {
  try {
    if (argc > 1 && argv[1][0] != L'-') {
      return lumo::bench::child(argc, argv);
    }
    lumo::bench::Plan plan;
    for (int i = 1; i < argc; ++i) {
      if (std::wcscmp(argv[i], L"--quick") == 0) {
        plan.repetitions = 1;
        plan.idleSeconds = 5;
        plan.floodSeconds = 4;
      } else if (std::wcscmp(argv[i], L"--detail") == 0) {
        plan.detail = true;
      } else if (std::wcscmp(argv[i], L"--only") == 0 && i + 1 < argc) {
        const std::wstring line = argv[++i];
        plan.only.assign(line.begin(), line.end());
      }
    }
    return lumo::bench::benchmark(plan);
  } catch (const std::exception &e) {
    std::fprintf(stderr, "source_bench: %s\n", e.what());
    return 1;
  }
}
