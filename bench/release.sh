#!/usr/bin/env bash
# What taking a release costs a run, under Wine, measured two ways.
#
# 1. Current runs from a published source: n File items (default 100, 1,000
#    and 5,000), all current, from a source directory that holds a release
#    manifest, so that each run reads the manifest and holds the whole
#    directory to it. Timed next to bench/floor.cpp (one look-up of each
#    source and target file, the floor of bench/run.sh), the two in turn, the
#    median of BENCH_REPEAT runs (default 5) after a warm run. Then one more
#    run under WINEDEBUG=trace+file (not timed) counts the requests to the
#    source directory: the Win32 file calls whose path lies in it.
#    Goals: at most 1.2 times the floor, at most 2 requests.
# 2. Copying new files: BENCH_COPY_COUNT new files (default 1,000, 1 to 64 KB
#    each) from a source without a manifest (A) and from the same files
#    published (B, each file hashed as it is copied and held to its entry),
#    each run into an emptied target directory (emptied untimed), A and B in
#    turn; medians of BENCH_REPEAT runs. Goal: B at most 1.1 times A. The
#    program's processor time is shown beside it: the flushes to the disk
#    make most of a copy's time and most of its noise, the hash only adds
#    processor time.
#
# Measured values that miss a goal are marked "*"; the script does not fail
# on them. The machine may be shared: medians, and the sides in turn, so that
# a change in its load falls on both.
#
#   bench/release.sh [counts...]
#
# Environment: BENCH_BUILD_DIR (default build/bench), BENCH_REPEAT,
# BENCH_COPY_COUNT, BENCH_KEEP=1 keeps the generated files and traces.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$ROOT/tools/env.sh"
BUILD="$(realpath -m "${BENCH_BUILD_DIR:-$ROOT/build/bench}")"
REPEAT="${BENCH_REPEAT:-5}"
COPY_COUNT="${BENCH_COPY_COUNT:-1000}"
COUNTS=("$@")
[ ${#COUNTS[@]} -gt 0 ] || COUNTS=(100 1000 5000)

wine_server_up
cmake --preset win64 -B "$BUILD" -DVANTOREL_TESTS=OFF >/dev/null
cmake --build "$BUILD" --target vantorel -j2 >/dev/null
x86_64-w64-mingw32-g++-posix -std=c++20 -O2 -static -o "$BUILD/floor.exe" "$ROOT/bench/floor.cpp"

WORK="$(mktemp -d "${TMPDIR:-/tmp}/vantorel-release.XXXXXX")"
[ "${BENCH_KEEP:-0}" = 1 ] || trap 'rm -rf "$WORK"' EXIT

python3 - "$BUILD" "$WORK" "$REPEAT" "$COPY_COUNT" "${COUNTS[@]}" <<'PY'
import collections, ntpath, os, random, re, resource, shutil, statistics, subprocess, sys, time

build, work, repeat, copy_count = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
counts = [int(c) for c in sys.argv[5:]]
keep = os.environ.get("BENCH_KEEP", "0") == "1"
GOAL_FLOOR, GOAL_REQUESTS, GOAL_COPY = 1.2, 2, 1.1
exe_built = os.path.join(build, "vantorel.exe")

def win(path):
    return "Z:" + path.replace("/", "\\")

def run(args, cwd, env=None, stderr=subprocess.STDOUT, codes=(0,)):
    started = time.perf_counter()
    done = subprocess.run(args, cwd=cwd, env=env, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=stderr)
    elapsed = time.perf_counter() - started
    output = done.stdout.decode(errors="replace")
    if done.returncode not in codes:
        sys.exit(f"{' '.join(args)} ended with {done.returncode}:\n{output}")
    return elapsed, output

def write_script(path, source, names):
    lines = ["[Options]", "SourcePath=" + win(source), "SectionOrder=U", "[Update]"]
    lines += [f"File{i}=files\\{name}" for i, name in enumerate(names, 1)]
    with open(path, "w", newline="") as f:
        f.write("\r\n".join(lines) + "\r\n")

def make_source(source, program, names, sizes, current):
    # The source with its script and the program; the program directory with
    # the same script and program, and the files too when they are current.
    os.makedirs(source)
    os.makedirs(os.path.join(program, "files"), exist_ok=True)
    rng = random.Random(len(names))
    for name, size in zip(names, sizes):
        with open(os.path.join(source, name), "wb") as f:
            f.write(rng.randbytes(size))
        if current:
            shutil.copy2(os.path.join(source, name), os.path.join(program, "files", name))
    write_script(os.path.join(source, "s.ini"), source, names)
    shutil.copy2(exe_built, os.path.join(source, "vantorel.exe"))
    for name in ("s.ini", "vantorel.exe"):
        shutil.copy2(os.path.join(source, name), os.path.join(program, name))

def publish(program, source):
    run(["wine", os.path.join(program, "vantorel.exe"), "--publish", win(source)], program)

def names_of(n):
    return [f"f{i:05d}.dat" for i in range(1, n + 1)]

TRACE_LINE = re.compile(r":trace:file:(\w+) (.*)")
TRACED_PATH = re.compile(r'L"((?:[^"\\]|\\.)*)"')
LOWER_LEVEL = re.compile(r"(?:Rtl|Nt|Zw|Ldr)[A-Z]|[a-z_]")

def comparable(path):
    return ntpath.normcase(ntpath.normpath(path))

def count_requests(args, cwd, source, trace):
    # The Win32 file calls of one traced run that name a path in the source
    # directory, by name (the lower-level lines of the same calls left out).
    with open(trace, "wb") as err:
        run(args, cwd, env=dict(os.environ, WINEDEBUG="trace+file"), stderr=err)
    directory = comparable(win(source))
    counted = collections.Counter()
    with open(trace, errors="replace") as lines:
        for line in lines:
            call = TRACE_LINE.search(line)
            if not call or LOWER_LEVEL.match(call.group(1)):
                continue
            paths = [comparable(re.sub(r"\\(.)", r"\1", p).removeprefix("\\??\\"))
                     for p in TRACED_PATH.findall(call.group(2))]
            if any(p == directory or p.startswith(directory + "\\") for p in paths):
                counted[call.group(1)] += 1
    if not keep:
        os.remove(trace)
    return counted

def current_runs(n):
    base = os.path.join(work, f"current-{n}")
    source, program = os.path.join(base, "source"), os.path.join(base, "program")
    make_source(source, program, names_of(n), [64 + i % 64 for i in range(1, n + 1)], current=True)
    publish(program, source)
    program_run = ["wine", os.path.join(program, "vantorel.exe"), "s.ini"]
    floor = ["wine", os.path.join(build, "floor.exe"), win(source) + "\\", win(program) + "\\files\\", str(n)]
    _, output = run(program_run, program)
    if "[  OK  ]" in output or "FAILED" in output or "not complete" in output:
        sys.exit(f"the run with {n} published files still had work to do:\n{output}")
    run(floor, program)
    runs, floors = [], []
    for _ in range(repeat):
        runs.append(run(program_run, program)[0])
        floors.append(run(floor, program)[0])
    counted = count_requests(program_run, program, source, os.path.join(base, "trace.txt"))
    return statistics.median(runs), statistics.median(floors), counted

def copy_runs(n):
    base = os.path.join(work, "copy")
    sizes = [1024 + (i * 7919) % (63 * 1024) for i in range(n)]
    sides = {}
    for side in ("A", "B"):
        source, program = os.path.join(base, side, "source"), os.path.join(base, side, "program")
        make_source(source, program, names_of(n), sizes, current=False)
        if side == "B":
            publish(program, source)
        sides[side] = (source, program)
    cpu = {"A": [], "B": []}
    def once(side):
        source, program = sides[side]
        target = os.path.join(program, "files")
        shutil.rmtree(target)
        os.makedirs(target)
        before = resource.getrusage(resource.RUSAGE_CHILDREN)
        elapsed, output = run(["wine", os.path.join(program, "vantorel.exe"), "s.ini"], program)
        after = resource.getrusage(resource.RUSAGE_CHILDREN)
        if output.count("[  OK  ]") != n or "FAILED" in output:
            sys.exit(f"side {side} did not copy {n} files:\n{output}")
        # The program's own processor time: what the hash adds, without the
        # disk's flushes that make most of the time and most of its noise.
        cpu[side].append(after.ru_utime + after.ru_stime - before.ru_utime - before.ru_stime)
        return elapsed
    once("A"), once("B")  # warm
    times = {"A": [], "B": []}
    for _ in range(repeat):
        for side in ("A", "B"):
            times[side].append(once(side))
    return (statistics.median(times["A"]), statistics.median(times["B"]), sum(sizes),
            statistics.median(cpu["A"][1:]), statistics.median(cpu["B"][1:]))

rows = [(n, *current_runs(n)) for n in counts]
copy_a, copy_b, copy_bytes, cpu_a, cpu_b = copy_runs(copy_count)

print("current runs from a published source (n File items, all current; medians of "
      f"{repeat}, the run and the floor in turn)")
print(f"{'n':>6} {'run s':>8} {'floor s':>8} {'run/floor':>9} {'requests':>8}  by call")
for n, t_run, t_floor, counted in rows:
    calls = ", ".join(f"{name} {count}" for name, count in sorted(counted.items()))
    print(f"{n:>6} {t_run:>8.3f} {t_floor:>8.3f} {t_run / t_floor:>9.2f} {sum(counted.values()):>8}  {calls}")
print()
print(f"copying {copy_count} new files ({copy_bytes / 1e6:.1f} MB; medians of {repeat}, A and B in turn)")
print(f"  A without a manifest: {copy_a:.3f} s   B published, hashed and held: {copy_b:.3f} s   B/A {copy_b / copy_a:.2f}")
print(f"  the program's processor time (user and system): A {cpu_a:.3f} s, B {cpu_b:.3f} s, B-A {cpu_b - cpu_a:+.3f} s")
print()
print("goals: * where a measured value misses one (the script does not fail on them)")
for n, t_run, t_floor, counted in rows:
    ratio, total = t_run / t_floor, sum(counted.values())
    print(f"{n:>6}  run/floor {ratio:.2f}{'*' if ratio > GOAL_FLOOR else ''} (at most {GOAL_FLOOR}) | "
          f"requests {total}{'*' if total > GOAL_REQUESTS else ''} (at most {GOAL_REQUESTS})")
ratio = copy_b / copy_a
print(f"  copy B/A {ratio:.2f}{'*' if ratio > GOAL_COPY else ''} (at most {GOAL_COPY})")
PY
