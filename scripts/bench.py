#!/usr/bin/env python3
"""Runs the benchmarks in the tests' Wine session, several times each, and
writes their figures (every run and the median), the machine, the commit and
the load into one results file, from which scripts/bench_tables.py renders
the docs' tables.
  scripts/bench.py [--runs N] [--only NAME,...] [--note TEXT] [--results FILE]
--only merges into the results file, replacing only the named benchmarks.
Run it after scripts/setup.sh; it builds both trees first, so that what runs
is what the recorded commit says."""
import argparse
import datetime
import json
import os
import re
import statistics
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
NUMBER = re.compile(r"-?\d+(?:\.\d+)?")


class BenchError(Exception):
    pass


def number(text, what):
    # float() would take "nan" and "inf"; a benchmark printing them is broken.
    if not NUMBER.fullmatch(text):
        raise BenchError(f"{what}: '{text}' is not a number")
    return float(text)


def row(lines, label, columns, nth=0, prefix=None):
    """The figures of a table row that starts with `label`, one per column."""
    found = [l for l in lines if l.startswith(label + " ")]
    if len(found) <= nth:
        raise BenchError(f"no row '{label}'")
    values = found[nth][len(label):].split()
    if len(values) != len(columns):
        raise BenchError(f"row '{label}': {len(values)} figures, expected {len(columns)}")
    name = prefix or label
    return {f"{name}: {c}": number(v, f"{name}: {c}") for c, v in zip(columns, values)}


def line(lines, pattern, names):
    """The figures in the groups of the first line that matches `pattern`."""
    for text in lines:
        match = re.search(pattern, text)
        if match:
            return {n: number(v, n) for n, v in zip(names, match.groups())}
    raise BenchError(f"no line like '{pattern}'")


def calls(lines, title):
    """A call-by-call block: its title line, then one indented line per call."""
    head = f"{title}, microseconds per call"
    if head not in lines:
        raise BenchError(f"no block '{head}'")
    figures = {}
    for text in lines[lines.index(head) + 1:]:
        if not text.startswith("  "):
            break
        name, value = text.strip().rsplit(None, 1)
        figures[f"{title}: {name}"] = number(value, f"{title}: {name}")
    return figures


def floor_line(lines, name):
    return line(lines, rf"^floor: {re.escape(name)}; part (\S+); raw (\S+)$",
                [f"{name}: time / floor", f"{name}: time / raw"])


def parse_hook(lines):
    figures = row(lines, "time, microseconds", ["paintwatch", "minimal", "ratio"], prefix="load")
    figures.update(row(lines, "heap left behind, bytes", ["paintwatch", "minimal"], prefix="heap"))
    columns = ["no hooks", "pass-through", "bare reports", "paintwatch", "/ pass", "/ bare"]
    for label in ["message outside the ten", "WM_NCPAINT (frame, up to 4 posts)",
                  "WM_PAINT (client, 1 post)"]:
        figures.update(row(lines, label, columns))
    return figures


def parse_text(lines):
    figures = {}
    for label in ["format, 19 characters", "format, 5002 characters", "toUtf16, 40 bytes",
                  "toUtf8, 26 units", "toUtf16, 160000 bytes", "toUtf8, 104000 units"]:
        figures.update(row(lines, label, ["lumo", "direct", "ratio"]))
    return figures


def parse_control(lines):
    figures = row(lines, "connect, 8-byte request, status", ["lumo", "floor", "raw"],
                  prefix="per second")
    figures.update(floor_line(lines, "control round trip"))
    return figures


def parse_storage(lines):
    figures = {}
    columns = ["writeFile", "writeIfUnchanged", "writeIfUnchanged floor", "writeAtomically",
               "writeAtomically floor"]
    for size in ["1 KiB", "1 MiB"]:
        figures.update(row(lines, f"{size} file", columns, prefix=f"per second, {size}"))
        figures.update(floor_line(lines, f"writeIfUnchanged {size}"))
        figures.update(floor_line(lines, f"writeAtomically {size}"))
    return figures


def parse_monitor(lines):
    figures = row(lines, "50000 posted reports",
                  ["paintmonitor", "bare loop", "ratio", "bare loop, hooked", "ratio, hooked"],
                  prefix="per second")
    figures.update(floor_line(lines, "monitor intake"))
    return figures


def parse_calls(*titles):
    return lambda lines: {k: v for t in titles for k, v in calls(lines, t).items()}


def parse_damage(lines):
    figures = {}
    heads = [i for i, l in enumerate(lines) if l.startswith("top-level windows on the desktop")]
    for head in heads:
        ours = line(lines[head:head + 1], r": (\d+), (\d+) of them", ["listed", "ours"])
        size = f"{ours['ours']:.0f} windows"
        figures[f"{size}: listed"] = ours["listed"]
        block = lines[head + 1:head + 5]
        figures.update(row(block, "tick, nothing changed", ["tracker", "EnumWindows", "ratio"],
                           prefix=size))
        figures.update(row(block, "tick, nothing changed", ["tracker", "with places", "ratio"],
                           nth=1, prefix=f"{size}, with places"))
    if len(heads) != 2:
        raise BenchError(f"{len(heads)} window counts, expected 2")
    return figures


def parse_frames(lines):
    figures = row(lines, "1920x1080, 16-pixel tiles", ["comparison", "floor", "memcmp", "ratio"])
    for label in ["every cell changed", "the same, 50 places watched"]:
        figures.update(row(lines, label, ["ms per frame", "captured", "ns per pixel"]))
    captures = [l.split()[0] for l in lines if re.match(r"\d+x\d+ +\d", l)]
    if len(captures) != 3:
        raise BenchError(f"{len(captures)} capture sizes, expected 3")
    for size in captures:
        figures.update(row(lines, size, ["ms", "ns per pixel", "cold ms", "cold ns per pixel"],
                           prefix=f"capture {size}"))
    for label, name in [("600x400 client area and a caret", "typing, repeated"),
                        ("the same, caches cold", "typing, caches cold")]:
        figures.update(row(lines, label, ["frame", "whole screen", "ratio"], prefix=name))
    figures.update(line(lines, r"^per captured pixel, watching against not: (\S+);",
                        ["watching / not, per captured pixel"]))
    figures.update(line(lines, r"^whole screen: capture and comparison, (\S+) ms per megapixel",
                        ["whole screen, ms per megapixel"]))
    return figures


def parse_late_drawing(lines):
    figures, kinds = {}, set()
    pattern = re.compile(r"^(.+?)\s+over (.+?)\s+call\s+(\S+) ms; (?:never changed in (\d+)|"
                         r"last change\s+(\S+) ms, most\s+(\S+); first\s+(\S+); (\d+) of (\d+) "
                         r"changed, (\d+) after 1 s); machine\s+(\S+)% busy$")
    for text in lines:
        match = pattern.match(text)
        if not match:
            continue
        g = match.groups()
        kind = f"{g[0]} over {g[1]}"
        kinds.add(kind)
        names = ["call ms", "last change ms", "most ms", "first ms", "changed", "events",
                 "after 1 s", "machine busy %"]
        values = [g[2]] + (list(g[4:10]) if g[3] is None else [None, None, None, "0", g[3], "0"])
        figures.update({f"{kind}: {n}": number(v, f"{kind}: {n}")
                        for n, v in zip(names, values + [g[10]]) if v is not None})
    if len(kinds) != 15:
        raise BenchError(f"{len(kinds)} kinds of leaving, expected 5 ways over 3 things")
    return figures


# The tick's line, which tick_bench and source_bench both print.
TICK_LINE = r"^tick: 50 windows (\S+) of EnumWindows with places; 500 windows (\S+)$"


def parse_tick(lines):
    figures = line(lines, TICK_LINE, ["50 windows: tick / pass", "500 windows: tick / pass"])
    figures.update(line(lines, r"50 windows tick (\S+) bare (\S+); 500 windows tick (\S+) bare (\S+)$",
                        ["50 windows: tick us", "50 windows: pass us", "500 windows: tick us",
                         "500 windows: pass us"]))
    return figures


def parse_source(lines):
    figures = line(lines, r"^latency: source p50 (\S+) ms, p99 (\S+) ms; poller p50 (\S+) ms, "
                   r"p99 (\S+) ms$", ["latency: source p50", "latency: source p99",
                                     "latency: poller p50", "latency: poller p99"])
    figures.update(line(lines, r"^cost: idle source (\S+) ms/s, poller (\S+) ms/s; typing source "
                        r"(\S+) ms/s, poller (\S+) ms/s$", ["idle: source", "idle: poller",
                                                          "typing: source", "typing: poller"]))
    figures.update(line(lines, r"^flood: (\S+) reports/s taken, (\S+) of a bare loop; memory "
                        r"growth (\S+) MiB; replica at rest (\S+) pixels off$",
                        ["flood: reports/s", "flood: of a bare loop", "flood: memory growth MiB",
                         "replica at rest: pixels off"]))
    figures.update(line(lines, TICK_LINE, ["tick: 50 windows", "tick: 500 windows"]))
    # -1 is the bench's word for a missed marker: no ratio of it.
    for what, a, b in [("latency p50", "latency: source p50", "latency: poller p50"),
                       ("latency p99", "latency: source p99", "latency: poller p99"),
                       ("idle", "idle: source", "idle: poller"),
                       ("typing", "typing: source", "typing: poller")]:
        if figures[a] >= 0 and figures[b] > 0:
            figures[f"{what}: source / poller"] = figures[a] / figures[b]
    return figures


X64, I686 = "build/x64/bench/", "build/i686/bench/"
# name: (wine-run.sh options, program, arguments, parser, runs if not --runs)
BENCHMARKS = {
    "hook64": ([], X64 + "hook_bench.exe", [], parse_hook, None),
    "hook32": (["--32"], I686 + "hook_bench.exe", [], parse_hook, None),
    "text": ([], X64 + "text_bench.exe", [], parse_text, None),
    "control": ([], X64 + "control_bench.exe", [], parse_control, None),
    "control-calls": ([], X64 + "control_bench.exe", ["--calls"],
                      parse_calls("control round trip floor"), 1),
    "storage": ([], X64 + "storage_bench.exe", [], parse_storage, None),
    "storage-calls": ([], X64 + "storage_bench.exe", ["--calls"], parse_calls(
        "writeIfUnchanged 1 KiB floor", "writeIfUnchanged 1 KiB, the library's calls through its seam",
        "writeAtomically 1 KiB floor", "writeAtomically 1 KiB, the library's calls through its seam",
        "the library's whole writes", "not in the floors"), 1),
    "monitor": ([], X64 + "monitor_bench.exe", [], parse_monitor, None),
    "monitor-calls": ([], X64 + "monitor_bench.exe", ["--calls"],
                      parse_calls("the monitor's work per report"), 1),
    "damage": ([], X64 + "damage_bench.exe", [], parse_damage, None),
    "frames": ([], X64 + "frames_bench.exe", [], parse_frames, None),
    # 4 events of each kind instead of 20: some 23 minutes a run otherwise.
    "late_drawing": ([], X64 + "late_drawing_bench.exe", ["4"], parse_late_drawing, 1),
    "tick": ([], X64 + "tick_bench.exe", ["--detail"], parse_tick, None),
    # It takes turns three times itself, some 10 minutes.
    "source": ([], X64 + "source_bench.exe", [], parse_source, 1),
}


def output(*command):
    return subprocess.run(command, cwd=ROOT, capture_output=True, text=True, check=True).stdout


def machine():
    cpu = re.search(r"^model name\s*: (.*)$", open("/proc/cpuinfo").read(), re.M)
    memory = re.search(r"^MemTotal:\s+(\d+) kB", open("/proc/meminfo").read(), re.M)
    return {"cpu": cpu.group(1) if cpu else "unknown", "cores": os.cpu_count(),
            "memory_gib": round(int(memory.group(1)) / 2**20, 1), "kernel": os.uname().release,
            "wine": output("/usr/lib/wine/wine64", "--version").strip()}


def load():
    return [float(x) for x in open("/proc/loadavg").read().split()[:3]]


def cpu_times():
    """The machine's busy and all CPU ticks, and each process's own CPU seconds."""
    ticks = [int(x) for x in open("/proc/stat").readline().split()[1:]]
    processes = {}
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            stat = open(f"/proc/{pid}/stat").read()
        except OSError:
            continue
        name = stat[stat.index("(") + 1:stat.rindex(")")]
        # Its own time only: a parent's waited-for children come in whole when they end.
        own = sum(int(x) for x in stat[stat.rindex(")") + 2:].split()[11:13])
        processes[(pid, name)] = own / os.sysconf("SC_CLK_TCK")
    return sum(ticks) - ticks[3] - ticks[4], sum(ticks), processes


def meanwhile(before, after, top=5):
    """How busy the machine was, and the programs that took the most CPU
    (those that ended meanwhile go unseen, the benchmark's own among them)."""
    used = {}
    for key, spent in after[2].items():
        used[key[1]] = used.get(key[1], 0) + spent - before[2].get(key, 0)
    ranked = sorted(used.items(), key=lambda kv: -kv[1])[:top]
    return {"busy": round((after[0] - before[0]) / (after[1] - before[1]), 2),
            "cpu_s": {name: round(spent, 1) for name, spent in ranked if spent >= 1}}


def run_once(name):
    options, program, arguments, parser, _ = BENCHMARKS[name]
    command = ["scripts/wine-run.sh", *options, "build/wine", program, *arguments]
    done = subprocess.run(command, cwd=ROOT, capture_output=True, text=True, timeout=3600)
    if done.returncode != 0:
        raise BenchError(f"{' '.join(command)} exited {done.returncode}: "
                         f"{(done.stdout + done.stderr).strip()[-500:]}")
    try:
        return parser(done.stdout.splitlines())
    except BenchError as e:
        raise BenchError(f"{name}: {e}\n--- its output:\n{done.stdout}")


def measure(name, runs):
    print(f"bench: {name}, {runs} run(s)", file=sys.stderr, flush=True)
    started = datetime.datetime.now().astimezone()
    loads, seconds, figures, cpu = [], [], {}, cpu_times()
    for r in range(runs):
        before, clock = load(), time.monotonic()
        for key, value in run_once(name).items():
            figures.setdefault(key, [None] * r).append(value)
        seconds.append(round(time.monotonic() - clock, 1))
        loads.append({"before": before, "after": load()})
        for values in figures.values():
            values += [None] * (r + 1 - len(values))
    return {"measured": started.isoformat(timespec="seconds"), "runs": runs, "seconds": seconds,
            "load": loads, "meanwhile": meanwhile(cpu, cpu_times()),
            "figures": {k: {"runs": v, "median": statistics.median(x for x in v if x is not None)}
                        for k, v in figures.items()}}


def write(results, path):
    with open(path, "w") as f:
        json.dump(results, f, indent=1, ensure_ascii=False)
        f.write("\n")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--runs", type=int, help="runs of each benchmark (3; some take fewer)")
    parser.add_argument("--only", help="comma-separated: " + ", ".join(BENCHMARKS))
    parser.add_argument("--note", help="what else the machine was doing, in words")
    parser.add_argument("--results", default=os.path.join(ROOT, "bench", "results.json"))
    args = parser.parse_args()
    names = args.only.split(",") if args.only else list(BENCHMARKS)
    unknown = [n for n in names if n not in BENCHMARKS]
    if unknown:
        sys.exit(f"bench: no benchmark {', '.join(unknown)}; there are {', '.join(BENCHMARKS)}")
    for preset in ["i686", "x64"]:
        subprocess.run(["cmake", "--build", "--preset", preset], cwd=ROOT, check=True,
                       stdout=subprocess.DEVNULL)
    results = {"machine": machine(), "benchmarks": {}}
    if args.only and os.path.exists(args.results):
        kept = json.load(open(args.results))
        if kept["machine"] != results["machine"]:
            sys.exit(f"bench: {args.results} is from another machine; run them all")
        results = kept
    # What measures and what it writes do not change what runs.
    measuring = ("bench/results", "docs/", "scripts/bench", "tests/scripts/")
    changed = output("git", "status", "--porcelain").splitlines()
    commit = {"commit": output("git", "rev-parse", "--short", "HEAD").strip(),
              "dirty": [c[3:] for c in changed if not c[3:].startswith(measuring)]}
    session_was_up = os.path.exists(os.path.join(ROOT, "build", "wine", "ready"))
    try:
        for name in names:
            runs = args.runs or BENCHMARKS[name][4] or 3
            results["benchmarks"][name] = {**commit, **measure(name, runs)}
            if args.note:
                results["benchmarks"][name]["note"] = args.note
            write(results, args.results)  # so that a later failure keeps what was measured
    except (BenchError, subprocess.TimeoutExpired) as e:
        sys.exit(f"bench: {e}")
    finally:
        if not session_was_up:
            subprocess.run(["scripts/wine-session.sh", "stop", "build/wine"], cwd=ROOT)
    print(f"bench: wrote {args.results}; scripts/bench_tables.py renders the tables",
          file=sys.stderr)


if __name__ == "__main__":
    main()
