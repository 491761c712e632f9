#!/usr/bin/env bash
# Times whole runs of the program under Wine on generated scripts whose items
# are all current (the daily case at every workstation), next to a floor
# program that makes only the unavoidable look-ups for the same files.
#
#   bench/run.sh [counts...]        default: 100 1000 5000
#
# Environment: BENCH_BUILD_DIR (default build/bench), BENCH_REPEAT (runs per
# size, the median counts; default 3), BENCH_KEEP=1 keeps the generated files.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$ROOT/tools/env.sh"
BUILD="${BENCH_BUILD_DIR:-$ROOT/build/bench}"
REPEAT="${BENCH_REPEAT:-3}"
COUNTS=("$@")
[ ${#COUNTS[@]} -gt 0 ] || COUNTS=(100 1000 5000)

wine_server_up
cmake --preset win64 -B "$BUILD" -DVANTOREL_TESTS=OFF >/dev/null
cmake --build "$BUILD" --target vantorel -j2 >/dev/null
x86_64-w64-mingw32-g++-posix -std=c++20 -O2 -static -o "$BUILD/floor.exe" "$ROOT/bench/floor.cpp"

WORK="$(mktemp -d "${TMPDIR:-/tmp}/vantorel-bench.XXXXXX")"
[ "${BENCH_KEEP:-0}" = 1 ] || trap 'rm -rf "$WORK"' EXIT

python3 - "$BUILD" "$WORK" "$REPEAT" "${COUNTS[@]}" <<'PY'
import os, shutil, statistics, subprocess, sys, time

build, work, repeat = sys.argv[1], sys.argv[2], int(sys.argv[3])
counts = [int(c) for c in sys.argv[4:]]

def win(path):
    return "Z:" + path.replace("/", "\\")

def timed(args, cwd):
    started = time.perf_counter()
    done = subprocess.run(args, cwd=cwd, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                          stderr=subprocess.STDOUT)
    elapsed = time.perf_counter() - started
    if done.returncode != 0:
        sys.exit(f"{' '.join(args)} ended with {done.returncode}:\n{done.stdout.decode(errors='replace')}")
    return elapsed, done.stdout.decode(errors="replace")

def prepare(n):
    base = os.path.join(work, str(n))
    source, program = os.path.join(base, "source"), os.path.join(base, "program")
    os.makedirs(source)
    os.makedirs(os.path.join(program, "files"))
    lines = ["[Options]", "SourcePath=" + win(source), "SectionOrder=U", "[Update]"]
    for i in range(1, n + 1):
        name = f"f{i:05d}.dat"
        with open(os.path.join(source, name), "wb") as f:
            f.write(b"x" * (64 + i % 64))
        shutil.copy2(os.path.join(source, name), os.path.join(program, "files", name))
        lines.append(f"File{i}=files\\{name}")
    script = "\r\n".join(lines) + "\r\n"
    with open(os.path.join(source, "bench.ini"), "w", newline="") as f:
        f.write(script)
    for name in ("bench.ini",):
        shutil.copy2(os.path.join(source, name), os.path.join(program, name))
    shutil.copy2(os.path.join(build, "vantorel.exe"), os.path.join(source, "vantorel.exe"))
    shutil.copy2(os.path.join(source, "vantorel.exe"), os.path.join(program, "vantorel.exe"))
    return source, program

rows = []
for n in counts:
    source, program = prepare(n)
    run = ["wine", os.path.join(program, "vantorel.exe"), "bench.ini"]
    floor = ["wine", os.path.join(build, "floor.exe"), win(source) + "\\", win(program) + "\\files\\", str(n)]
    # The first run warms the caches and proves that nothing is left to do.
    _, output = timed(run, program)
    if "    -> " in output:
        sys.exit(f"run with {n} items still had work to do:\n{output}")
    timed(floor, program)
    t_run = statistics.median(timed(run, program)[0] for _ in range(repeat))
    t_floor = statistics.median(timed(floor, program)[0] for _ in range(repeat))
    rows.append((n, t_run, t_floor))

print(f"{'items':>6} {'run s':>8} {'ms/item':>8} {'floor s':>8} {'ms/item':>8} {'run/floor':>9}")
for n, t_run, t_floor in rows:
    print(f"{n:>6} {t_run:>8.3f} {1000 * t_run / n:>8.3f} {t_floor:>8.3f} {1000 * t_floor / n:>8.3f} "
          f"{t_run / t_floor:>9.2f}")
by_count = {n: (r, f) for n, r, f in rows}
if 1000 in by_count and 5000 in by_count:
    (r1, f1), (r5, f5) = by_count[1000], by_count[5000]
    print(f"growth t(5000)/t(1000): run {r5 / r1:.2f}, floor {f5 / f1:.2f} (linear: about 5)")
PY
