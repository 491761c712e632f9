#!/usr/bin/env bash
# Times the report (--report) over the run logs of a made-up fleet under Wine
# and measures its peak working set, for one month and for one year of logs
# of the same workstations (bench/fleet_logs.py: one file per workstation,
# one run a day each).
#
# The peer is what an administrator does today: `findstr "FAILED"` over the
# same files. Wine's findstr is a stub that reads nothing, so two stand-ins
# are timed instead: bench/findstr.cpp, a program of ours that reads every
# file once in large pieces and writes each line holding the text, as findstr
# does (the goal is held against this one), and Wine's own `find "FAILED"`
# over the same files. Each program runs under bench/peak.cpp, which gives
# the process's time and the peak working set the system reported for it.
#
#   bench/report.sh [workstations] [days]      default: 300 365 (and 30 days for the month)
#
# Environment: BENCH_BUILD_DIR (default build/bench), BENCH_REPEAT (runs per
# program, the median counts; default 5; the programs run in turn), BENCH_KEEP=1
# keeps the generated logs.
# Goals: the report takes at most twice the time of the findstr stand-in over
# the year, and its peak working set over the year is that over the month
# (within 10%, the noise of the allocator). Values that miss are marked `*`;
# the script does not fail on them.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$ROOT/tools/env.sh"
BUILD="$(realpath -m "${BENCH_BUILD_DIR:-$ROOT/build/bench}")"
REPEAT="${BENCH_REPEAT:-5}"
STATIONS="${1:-300}"
DAYS="${2:-365}"

wine_server_up
cmake --preset win64 -B "$BUILD" -DVANTOREL_TESTS=OFF >/dev/null
cmake --build "$BUILD" --target vantorel -j2 >/dev/null
x86_64-w64-mingw32-g++-posix -std=c++20 -O2 -static -o "$BUILD/peak.exe" "$ROOT/bench/peak.cpp" -lpsapi
x86_64-w64-mingw32-g++-posix -std=c++20 -O2 -static -o "$BUILD/findstr.exe" "$ROOT/bench/findstr.cpp"

WORK="$(mktemp -d "${TMPDIR:-/tmp}/vantorel-report-bench.XXXXXX")"
[ "${BENCH_KEEP:-0}" = 1 ] || trap 'rm -rf "$WORK"' EXIT
echo "report bench: writing the logs of $STATIONS workstations over $DAYS days and over 30 days in $WORK"
python3 "$ROOT/bench/fleet_logs.py" "$WORK/year" --computers "$STATIONS" --days "$DAYS"
python3 "$ROOT/bench/fleet_logs.py" "$WORK/month" --computers "$STATIONS" --days 30

python3 - "$BUILD" "$WORK" "$REPEAT" <<'PY'
import os, re, statistics, subprocess, sys

build, work, repeat = sys.argv[1], sys.argv[2], int(sys.argv[3])

def win(path):
    return "Z:" + path.replace("/", "\\")

def measure(args):
    """One run under peak.exe: (seconds, peak working set in KB)."""
    done = subprocess.run(["wine", win(os.path.join(build, "peak.exe")), *args], cwd=work,
                          stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    found = re.search(rb"peak_working_set_kb=(\d+) seconds=([\d.]+) exit=(\d+)", done.stderr)
    if not found or found.group(3) != b"0":
        sys.exit(f"{' '.join(args)} failed:\n{done.stderr.decode(errors='replace')}")
    return float(found.group(2)), int(found.group(1))

def medians(programs):
    """Each program run `repeat` times, the programs in turn, so that a change in the machine's
    load falls on all of them: {name: (median seconds, largest peak working set)}."""
    for args in programs.values():
        measure(args)  # warm: the files in the cache, Wine's libraries loaded
    runs = {name: [] for name in programs}
    for _ in range(repeat):
        for name, args in programs.items():
            runs[name].append(measure(args))
    return {name: (statistics.median(r[0] for r in got), max(r[1] for r in got)) for name, got in runs.items()}

def size(directory):
    files = [os.path.join(directory, f) for f in os.listdir(directory)]
    return len(files), sum(os.path.getsize(f) for f in files) / 2**20

exe = win(os.path.join(build, "vantorel.exe"))
results = {}
for period in ("month", "year"):
    directory = os.path.join(work, period)
    names = sorted(f for f in os.listdir(directory))
    results[period] = medians({
        "report": [exe, "--report", win(directory), "--out", win(os.path.join(work, period + ".html"))],
        "findstr": [win(os.path.join(build, "findstr.exe")), "FAILED", win(directory)],
        "find": ["C:\\windows\\system32\\find.exe", "FAILED", *(win(os.path.join(directory, n)) for n in names)],
    })
    count, megabytes = size(directory)
    blocks = sum(1 for n in names for line in open(os.path.join(directory, n), "rb") if line.startswith(b"==== 2"))
    print(f"\n{period}: {count} files, {megabytes:.0f} MB, {blocks} blocks")
    print(f"  {'program':<28}{'seconds':>9}{'peak working set':>20}")
    for name, label in (("report", "vantorel --report"), ("findstr", "findstr stand-in (ours)"),
                        ("find", "find (Wine)")):
        seconds, peak = results[period][name]
        print(f"  {label:<28}{seconds:>9.2f}{peak / 1024:>17.1f} MB")

year, month = results["year"], results["month"]
time_ratio = year["report"][0] / year["findstr"][0]
find_ratio = year["report"][0] / year["find"][0]
memory_ratio = year["report"][1] / month["report"][1]
mark = lambda miss: " *" if miss else ""
print(f"\nreport / findstr stand-in, year: {time_ratio:.2f} (goal at most 2.0){mark(time_ratio > 2.0)}")
print(f"report / Wine's find, year: {find_ratio:.2f}")
print(f"report's peak working set, year / month: {memory_ratio:.2f} "
      f"({year['report'][1] / 1024:.1f} MB / {month['report'][1] / 1024:.1f} MB; goal 1.0 within 10%)"
      f"{mark(abs(memory_ratio - 1) > 0.1)}")
PY
