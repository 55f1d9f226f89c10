#!/usr/bin/env python3
"""Renders the benchmark tables from bench/results.json (scripts/bench.py)
into the docs, between `<!-- bench-table: NAME -->` and `<!-- /bench-table -->`.
  scripts/bench_tables.py [--check] [--results FILE]
--check renders in memory only and fails, naming each table, where the docs
differ from the results."""
import argparse
import json
import os
import re
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
DOCS = ["docs/benchmarks.md", "docs/screen-source.md"]
BLOCK = re.compile(r"(<!-- bench-table: (\S+) -->\n)(.*?)(<!-- /bench-table -->)", re.S)


def table(benchmarks, against, head, rows, texts=1, absent=None):
    """texts: the leading columns that are words, not figures; absent: what a
    cell says where its benchmark has no such figure (otherwise an error)."""
    return {"benchmarks": benchmarks, "against": against, "head": head, "rows": rows,
            "texts": texts, "absent": absent}


def calls_table(bench, title, head):
    """Every call of one call-by-call block, in the order the bench printed them."""
    return table([bench], "the call's own time, added up over a sequence",
                 [head, "µs"], lambda figures: [[k.split(": ", 1)[1], k] for k in figures
                                                if k.startswith(title + ": ")])


HOOK_ROWS = [[label, *[f"{row}: {c}" for c in ["no hooks", "pass-through", "bare reports",
                                                "paintwatch", "/ pass", "/ bare"]]]
             for label, row in [("outside the ten messages", "message outside the ten"),
                                ("WM_NCPAINT (4 posts)", "WM_NCPAINT (frame, up to 4 posts)"),
                                ("WM_PAINT (1 post)", "WM_PAINT (client, 1 post)")]]
DRAWN = ["moved aside", "closed", "minimised", "hidden", "shrunk"]

TABLES = {
    "text": table(["text"], "msvcrt's formatter into a buffer, for `format`; direct "
                  "`MultiByteToWideChar` and `WideCharToMultiByte`, for the conversions",
                  ["ns per call", "lumo", "baseline", "ratio"],
                  [["`{}`,{}".format(*r.split(",")), *[f"{r}: {c}" for c in ["lumo", "direct", "ratio"]]]
                   for r in ["format, 19 characters", "format, 5002 characters",
                             "toUtf16, 40 bytes", "toUtf16, 160000 bytes", "toUtf8, 26 units",
                             "toUtf8, 104000 units"]]),
    "floors": table(["control", "storage"],
                    "the floor (the calls the operation's definition demands, bare) and the raw "
                    "operation (plain pipe I/O; `writeFile`)",
                    ["per second", "lumo", "floor", "raw", "time / floor", "time / raw"],
                    [["Control round trip (`runControlCommand`)", "per second: lumo",
                      "per second: floor", "per second: raw", "control round trip: time / floor",
                      "control round trip: time / raw"]]
                    + [[f"`{w}`, {s}", f"per second, {s}: {w}", f"per second, {s}: {w} floor",
                        f"per second, {s}: writeFile", f"{w} {s}: time / floor",
                        f"{w} {s}: time / raw"]
                       for s in ["1 KiB", "1 MiB"] for w in ["writeIfUnchanged", "writeAtomically"]]),
    "monitor": table(["monitor"], "a bare loop that only counts the reports",
                     ["reports per second, nothing lost", "paintmonitor", "bare loop", "ratio"],
                     [["Reports taken in by paintmonitor", "per second: paintmonitor",
                       "per second: bare loop", "per second: ratio"],
                      ["the same, the bare loop under the monitor's hooks", "",
                       "per second: bare loop, hooked", "per second: ratio, hooked"]]),
    "control-calls": calls_table("control-calls", "control round trip floor",
                                 "Control round trip floor"),
    "storage-calls": calls_table("storage-calls", "writeIfUnchanged 1 KiB floor",
                                 "`writeIfUnchanged` 1 KiB floor"),
    "storage-whole": table(["storage-calls"], "the floors' sums",
                           ["1 KiB, whole and in parts", "µs"],
                           lambda f: [[k.replace(": sum", ", sum").replace(": ", ", "), k]
                                      for k in f if k.endswith(": sum") != k.startswith(
                                          ("the library's whole writes: ", "not in the floors: "))]),
    "monitor-calls": calls_table("monitor-calls", "the monitor's work per report",
                                 "The monitor's work per report"),
    "damage": table(["damage"], "a bare `EnumWindows` pass that only counts the windows, and one "
                    "that also reads each visible window's place",
                    ["µs per tick", "tracker", "bare EnumWindows", "ratio",
                     "EnumWindows with places", "ratio"],
                    [[f"{n} windows, nothing changed", f"{n} windows: tracker",
                      f"{n} windows: EnumWindows", f"{n} windows: ratio",
                      f"{n} windows, with places: with places", f"{n} windows, with places: ratio"]
                     for n in [50, 500]]),
    "tick": table(["tick"], "`EnumWindows` reading each window's visibility and, where visible, "
                  "its place", ["per tick", "tick (µs)", "pass with places (µs)", "ratio"],
                  [[f"{n} windows", f"{n} windows: tick us", f"{n} windows: pass us",
                    f"{n} windows: tick / pass"] for n in [50, 500]]),
    "frames-compare": table(["frames"], "a loop that only reads both pictures once (floor); the "
                            "C runtime's `memcmp` beside it",
                            ["ms per megapixel", "comparison", "floor", "memcmp", "ratio"],
                            [["1920x1080, 16-pixel tiles",
                              *[f"1920x1080, 16-pixel tiles: {c}"
                                for c in ["comparison", "floor", "memcmp", "ratio"]]]]),
    "frames-capture": table(["frames"], "the pixels captured", ["GDI capture", "ms per call",
                            "ns per pixel", "caches cold, ms", "ns per pixel"],
                            lambda f: [[k[8:-4], k, k[:-4] + ": ns per pixel", k[:-4] + ": cold ms",
                                        k[:-4] + ": cold ns per pixel"]
                                       for k in f if re.fullmatch(r"capture \S+: ms", k)]),
    "frames-typing": table(["frames"], "a capture and comparison of the whole screen",
                           ["ms per frame", "typing frame", "whole screen", "ratio"],
                           [[w, *[f"typing, {w}: {c}" for c in ["frame", "whole screen", "ratio"]]]
                            for w in ["repeated", "caches cold"]]
                           + [["whole screen, ms per megapixel", "",
                               "whole screen, ms per megapixel", ""]]),
    "late-drawing": table(["late_drawing"], "the call's start",
                          ["last change after the call (ms)", "the desktop",
                           "a window of another thread", "a window of its own thread"],
                          [[kind, *[f"{kind} over {b}: last change ms" for b in [
                              "the desktop", "a window of another thread",
                              "a window of its own thread"]]] for kind in DRAWN],
                          absent="never"),
    "hook": table(["hook64", "hook32"], "a pass-through hook library (the same three hooks "
                  "passing every message on) and a bare-report one (the platform calls a report "
                  "needs, nothing else)",
                  ["SendMessageW (ns)", "no hooks", "pass-through", "bare reports", "paintwatch",
                   "/ pass-through", "/ bare"],
                  [[f"{bits}-bit, {label}", *[(f"hook{bits}", k) for k in keys]]
                   for bits in [64, 32] for label, *keys in HOOK_ROWS]),
    "hook-load": table(["hook64", "hook32"], "the pass-through hooks built as the library is, a "
                       "minimal hook DLL with no runtime",
                       ["per load and unload", "paintwatch", "minimal hook DLL", "ratio"],
                       [[f"{b}-bit time (µs)", *[(f"hook{b}", f"load: {c}")
                                                  for c in ["paintwatch", "minimal", "ratio"]]]
                        for b in [64, 32]]
                       + [[f"{b}-bit heap left behind (bytes)", (f"hook{b}", "heap: paintwatch"),
                           (f"hook{b}", "heap: minimal"), ""] for b in [64, 32]]),
}


def goal_rows():
    """The source against the poller: each line, its goal, and whether the median meets it."""
    def met(key, test):
        return lambda f: "yes" if test(f[key]["median"]) else "no"
    return [
        ["latency p50 (ms)", "source at most half the poller's", "latency: source p50",
         "latency: poller p50", "latency p50: source / poller",
         met("latency p50: source / poller", lambda r: r <= 0.5)],
        ["latency p99 (ms)", "source at most the poller's", "latency: source p99",
         "latency: poller p99", "latency p99: source / poller",
         met("latency p99: source / poller", lambda r: r <= 1)],
        ["idle cost (ms/s)", "source at most 0.05 of the poller", "idle: source", "idle: poller",
         "idle: source / poller", met("idle: source / poller", lambda r: r <= 0.05)],
        ["typing cost (ms/s)", "source at most 0.25 of the poller", "typing: source", "typing: poller",
         "typing: source / poller", met("typing: source / poller", lambda r: r <= 0.25)],
        ["flood intake (reports/s)", "at least 0.9 of the bare loop", "flood: reports/s", "",
         "flood: of a bare loop", met("flood: of a bare loop", lambda r: r >= 0.9)],
        ["flood memory (MiB)", "at most 16 MiB", "flood: memory growth MiB", "", "",
         met("flood: memory growth MiB", lambda m: m <= 16)],
        ["replica at rest (pixels off)", "0", "replica at rest: pixels off", "", "",
         met("replica at rest: pixels off", lambda x: x == 0)],
    ] + [[f"tick, {n} windows", "at most 1.2 of the pass", "", "", f"tick: {n} windows",
          met(f"tick: {n} windows", lambda r: r <= 1.2)] for n in [50, 500]]


TABLES["source"] = table(["source"], "a whole-screen poller (a GDI capture of the whole virtual "
                         "screen compared with the last, every interval); for the flood, a bare "
                         "`GetMessageW` loop under the same hooks; for the tick, `EnumWindows` "
                         "with places", ["line", "goal", "source", "poller", "ratio", "met"],
                         goal_rows(), texts=2)


def shown(value):
    """Three significant figures at least, thousands grouped as the docs group them."""
    digits = min(3, max(0, 2 - int(f"{abs(value):e}".split("e")[1]))) if value else 0
    return f"{value:,.{digits}f}".replace(",", " ")


def cell(results, source, layout):
    """A figure of the first of the table's benchmarks that has it, unless named."""
    benches = layout["benchmarks"]
    if isinstance(source, tuple):
        bench, key = source
    else:
        key = source
        bench = next((b for b in benches if key in results["benchmarks"][b]["figures"]), benches[0])
    figure = results["benchmarks"][bench]["figures"].get(key)
    if figure is None:
        if layout["absent"] is not None:
            return layout["absent"]
        raise KeyError(f"no figure '{key}' of {bench} in the results")
    runs = [r for r in figure["runs"] if r is not None]
    if len(runs) == 1:
        return shown(figure["median"])
    return f"{shown(figure['median'])} ({shown(min(runs))} to {shown(max(runs))})"


def caption(results, layout):
    """When, on what and at what load the table's figures were measured, and against what."""
    benches = [results["benchmarks"][b] for b in layout["benchmarks"]]
    machine = results["machine"]
    days = sorted({b["measured"][:10] for b in benches})
    commits = sorted({b["commit"] + (" with changes" if b["dirty"] else "") for b in benches})
    loads = [x for b in benches for run in b["load"] for x in (run["before"][0], run["after"][0])]
    runs = sorted({b["runs"] for b in benches})
    busy = [b["meanwhile"]["busy"] for b in benches]
    others = {}
    for b in benches:
        for name, seconds in b["meanwhile"]["cpu_s"].items():
            others[name] = others.get(name, 0) + seconds
    busiest = ", ".join(f"{n} {s:.0f} s" for n, s in sorted(others.items(), key=lambda kv: -kv[1])[:4])
    notes = sorted({b["note"] for b in benches if "note" in b})
    return (f"*Measured {' to '.join(days)} at {', '.join(commits)}, "
            f"{' and '.join(map(str, runs))} run(s) (a cell: the median, lowest to highest in "
            f"brackets), on {machine['cpu']}, {machine['cores']} cores, "
            f"{machine['memory_gib']} GiB, Linux {machine['kernel']}, {machine['wine']} under "
            f"Xvfb; load average {min(loads):.1f} to {max(loads):.1f}, the machine "
            f"{min(busy):.0%} to {max(busy):.0%} busy"
            f"{', its busiest programs ' + busiest if busiest else ''}.{' ' + ' '.join(notes) if notes else ''} "
            f"Against: {layout['against']}.*")


def render(results, name):
    layout = TABLES[name]
    missing = [b for b in layout["benchmarks"] if b not in results["benchmarks"]]
    if missing:
        return f"*Not in the results file: {', '.join(missing)}.*\n"
    figures = {}
    for b in layout["benchmarks"]:
        figures.update(results["benchmarks"][b]["figures"])
    rows = layout["rows"](figures) if callable(layout["rows"]) else layout["rows"]
    lines = [caption(results, layout), "", "| " + " | ".join(layout["head"]) + " |",
             "|" + "---|" * len(layout["head"])]
    texts = layout["texts"]
    for cells in rows:
        shown_cells = [c(figures) if callable(c) else cell(results, c, layout)
                       if c else "" for c in cells[texts:]]
        lines.append("| " + " | ".join([*cells[:texts], *shown_cells]) + " |")
    return "\n".join(lines) + "\n"


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--check", action="store_true", help="change nothing; fail where stale")
    parser.add_argument("--results", default=os.path.join(ROOT, "bench", "results.json"))
    args = parser.parse_args()
    results = json.load(open(args.results))
    stale, placed = [], set()
    for doc in DOCS:
        path = os.path.join(ROOT, doc)
        text = open(path).read()

        def fill(match):
            name = match.group(2)
            if name not in TABLES:
                sys.exit(f"bench_tables: {doc} names no known table '{name}'")
            placed.add(name)
            new = render(results, name)
            if match.group(3) != new:
                stale.append(f"{doc}: {name}")
            return match.group(1) + new + match.group(4)

        rendered = BLOCK.sub(fill, text)
        if not args.check and rendered != text:
            open(path, "w").write(rendered)
    missing = sorted(set(TABLES) - placed)
    if missing:
        sys.exit(f"bench_tables: no doc holds the table(s) {', '.join(missing)}")
    if stale:
        verb = "differ from" if args.check else "were rendered anew from"
        print(f"bench_tables: these tables {verb} {args.results}:\n  " + "\n  ".join(stale),
              file=sys.stderr)
        sys.exit(1 if args.check else 0)


if __name__ == "__main__":
    main()
