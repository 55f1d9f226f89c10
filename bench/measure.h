#pragma once

// Side-by-side timing for the benchmarks: the candidates take turns within
// each repetition, so that a change in the machine's load affects all of
// them alike, and each figure is the median over the repetitions.

#include <windows.h>

#include <algorithm>
#include <cstdio>
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

}  // namespace bench
}  // namespace lumo
