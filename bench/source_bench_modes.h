#pragma once

// The source benchmark's child processes: the scripted work (a marker
// window, a typist, a flood of paints) and the candidates that watch the
// screen (the source, the poller, a bare report loop, a pixel probe, and
// none). A candidate writes its figures on its standard output, a line
// each: `figure NAME VALUE`, and for the latency runs `latency MS` per
// marker seen and `missed N`.

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "source_bench_shared.h"

namespace lumo {
namespace bench {

enum class Scenario { latency, idle, typing, flood };

// What the marker painter does after each paint: waits for messages at
// once, or first spins (Wine shows a window's pixels when its thread waits).
enum class AfterPaint { wait, spin };

// The markers a latency run paints, about 170 ms apart.
constexpr int kMarkersPerRun = 80;

// Returns the process's exit code.
int runWork(const std::wstring &what, SharedBlock *shared, int argument);
int runCandidate(const std::wstring &kind, Scenario scenario, SharedBlock *shared);

// Latencies in milliseconds of the markers the watcher saw, and how many it
// did not see before the next one was painted over them.
class MarkerWatch {
public:
  explicit MarkerWatch(const SharedBlock &shared) : shared_(shared) {}
  // `pixel`: the colour bits at the marker's middle, as seen at `at`.
  void look(std::uint32_t pixel, double at);
  // The marker's middle on the screen.
  POINT middle() const {
    const RECT &r = shared_.markerPlace;
    return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
  }
  void print() const;

private:
  const SharedBlock &shared_;
  LONG counted_ = 0;
  int missed_ = 0;
  std::vector<double> latencies_;
};

}  // namespace bench
}  // namespace lumo
