#!/usr/bin/env python3
"""scripts/bench.py's parsers on the benchmarks' own text: the figures they
find, and a figure or row that is not there stopping them.
  python3 tests/scripts/bench_parse_test.py"""
import os
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "scripts"))
import bench  # noqa: E402

DAMAGE = """top-level windows on the desktop: 57, 50 of them the benchmark's
microseconds per tick                            tracker    EnumWindows    ratio
tick, nothing changed                              211.0           78.0     2.70
microseconds per tick                            tracker    with places    ratio
tick, nothing changed                              211.0          160.0     1.32
top-level windows on the desktop: 507, 500 of them the benchmark's
microseconds per tick                            tracker    EnumWindows    ratio
tick, nothing changed                             1157.0          452.0     2.56
microseconds per tick                            tracker    with places    ratio
tick, nothing changed                             1157.0         1093.0     1.06"""
LATE = "\n".join(
    f"{k:<11} over {b:<26} call    2 ms; last change    3 ms, most   11; first    3; 4 of 4 "
    "changed, 0 after 1 s; machine 61% busy"
    for k in ["moved aside", "closed", "hidden", "shrunk", "minimised"]
    for b in ["the desktop", "a window of another thread", "a window of its own thread"]
).replace("last change    3 ms, most   11; first    3; 4 of 4 changed, 0 after 1 s", "never changed in 4", 1)
SOURCE = """latency: source p50 1.2 ms, p99 13.5 ms; poller p50 18.3 ms, p99 51.2 ms
cost: idle source 9.5 ms/s, poller 736.2 ms/s; typing source 117.9 ms/s, poller 823.5 ms/s
flood: 3286 reports/s taken, 0.94 of a bare loop; memory growth 0.1 MiB; replica at rest 0 pixels off
tick: 50 windows 1.08 of EnumWindows with places; 500 windows 1.07"""

# parser, output, figures expected among those found
FOUND = [
    (bench.parse_damage, DAMAGE, {"500 windows: listed": 507, "50 windows, with places: ratio": 1.32,
                                  "500 windows: EnumWindows": 452}),
    (bench.parse_late_drawing, LATE, {"moved aside over the desktop: changed": 0,
                                      "shrunk over the desktop: most ms": 11}),
    (bench.parse_source, SOURCE, {"idle: poller": 736.2, "replica at rest: pixels off": 0}),
    (bench.parse_calls("floor"), "floor, microseconds per call\n  CreateFileW (reading)   14.3\n"
     "  sum   14.3\nnext", {"floor: CreateFileW (reading)": 14.3, "floor: sum": 14.3}),
]
# parser, output that must stop it
REFUSED = [
    (bench.parse_damage, DAMAGE.replace("1.32", "-nan")),
    (bench.parse_damage, DAMAGE.replace("     1.06", "")),
    (bench.parse_source, SOURCE.replace("p99 51.2", "p99 inf")),
    (bench.parse_late_drawing, LATE.replace("call    2 ms", "call  ms", 1)),
    (bench.parse_source, SOURCE.replace("flood:", "flooded:")),
    (bench.parse_calls("floor"), "floor, microseconds per call\n  CreateFileW    n/a\n"),
]


class ParseTest(unittest.TestCase):
    def test_found(self):
        for parser, text, expected in FOUND:
            figures = parser(text.splitlines())
            for key, value in expected.items():
                self.assertAlmostEqual(figures[key], value, msg=key)

    def test_refused(self):
        for parser, text in REFUSED:
            with self.assertRaises(bench.BenchError, msg=text[:60]):
                parser(text.splitlines())


if __name__ == "__main__":
    unittest.main()
