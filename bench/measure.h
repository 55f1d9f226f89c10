#pragma once

// Side-by-side timing for the benchmarks: the candidates take turns within
// each repetition, so that a change in the machine's load affects all of
// them alike, and each figure is the median over the repetitions.

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

namespace lumo {
namespace bench {

inline double nowSeconds() {
  static const double unit = [] {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return 1.0 / static_cast<double>(frequency.QuadPart);
  }();
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  return static_cast<double>(counter.QuadPart) * unit;
}

inline double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// Nanoseconds per call over one run of calls.
template <typename Call>
double nanosPerCall(int calls, Call call) {
  const double start = nowSeconds();
  for (int i = 0; i < calls; ++i) {
    call();
  }
  return (nowSeconds() - start) * 1e9 / calls;
}

// Nanoseconds per call of each candidate, median of the repetitions.
inline std::vector<double> compare(const std::vector<std::function<void()>> &candidates,
                                   int callsPerRun, int repetitions) {
  std::vector<std::vector<double>> runs(candidates.size());
  for (int r = 0; r < repetitions; ++r) {
    for (size_t c = 0; c < candidates.size(); ++c) {
      runs[c].push_back(nanosPerCall(callsPerRun, candidates[c]));
    }
  }
  std::vector<double> medians;
  for (const auto &r : runs) {
    medians.push_back(median(r));
  }
  return medians;
}

inline void printHeader(const char *what, const char *ours, const char *baseline) {
  std::printf("%-40s %14s %14s %8s\n", what, ours, baseline, "ratio");
}

inline void printRow(const char *name, double ours, double baseline) {
  std::printf("%-40s %14.1f %14.1f %8.2f\n", name, ours, baseline, ours / baseline);
}

// The line a benchmark prints for each row that has a floor: the time
// ratios against the least the calls its definition demands can cost and
// against the raw operation.
inline void printFloorLine(const char *row, double part, double raw) {
  std::printf("floor: %s; part %.2f; raw %.2f\n", row, part, raw);
}

// A floor is written once, as a template over how each call is made:
// Untimed makes it bare, CallTimes times it call by call.
struct Untimed {
  template <typename Call>
  decltype(auto) operator()(const char *, Call call) {
    return call();
  }
};

// Microseconds per sequence of each named call, median over the
// repetitions; calls of one name within a sequence add up.
class CallTimes {
public:
  template <typename Call>
  decltype(auto) operator()(const char *name, Call call) {
    const Lap lap{slotOf(name), nowSeconds()};
    return call();
  }

  // Closes a repetition of the given number of sequences.
  void endRepetition(int sequences) {
    for (Slot &slot : slots_) {
      slot.perRepetition.push_back(slot.seconds * 1e6 / sequences);
      slot.seconds = 0;
    }
  }

  void print(const char *title) const {
    std::printf("%s, microseconds per call\n", title);
    double total = 0;
    for (const Slot &slot : slots_) {
      const double us = median(slot.perRepetition);
      total += us;
      std::printf("  %-52s %10.1f\n", slot.name, us);
    }
    std::printf("  %-52s %10.1f\n", "sum", total);
  }

private:
  struct Slot {
    const char *name;
    double seconds;
    std::vector<double> perRepetition;
  };
  struct Lap {
    Slot &slot;
    double start;
    ~Lap() { slot.seconds += nowSeconds() - start; }
  };

  Slot &slotOf(const char *name) {
    for (Slot &slot : slots_) {
      if (std::strcmp(slot.name, name) == 0) {
        return slot;
      }
    }
    slots_.push_back({name, 0, std::vector<double>(reps(), 0.0)});
    return slots_.back();
  }
  // A name first met in a later repetition counts 0 in the earlier ones.
  std::size_t reps() const { return slots_.empty() ? 0 : slots_.front().perRepetition.size(); }

  std::vector<Slot> slots_;
};

}  // namespace bench
}  // namespace lumo
