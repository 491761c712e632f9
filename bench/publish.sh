#!/usr/bin/env bash
# Times "vantorel.exe --publish" under Wine on a generated release of n files
# (default 1,000) next to bench/read_floor.cpp, a program of ours that only
# lists the directory and reads every file once as the publish does (the
# floor: no hash, no version, no manifest), and next to the same program
# hashing what it reads with the system's SHA-256 on one thread (the second
# floor, "read+hash": what the hash costs here). Each time is the median of
# BENCH_REPEAT runs (default 3) after a warm run, the two run in turn so that
# a change in the machine's load falls on both. Prints the times, the ratio
# to the floor (the goal: at most 1.5, marked "*" when missed; the script does
# not fail on it), the rate, and then, from one more run of each under strace
# (not timed), the bytes each read from the release's files: the publish must
# read each file's bytes once, as the floor does.
#
# The release: every 50th file a copy of the program (a file with a version
# resource, 1.5 MB), the others 1 to 200 KB of random bytes (about 130 MB in
# all for 1,000 files), all in the page cache after the warm run. Over a
# network the reading dominates; here, from the cache, the hash is what shows.
#
#   bench/publish.sh [count]
#
# Environment: BENCH_BUILD_DIR (default build/bench), BENCH_REPEAT, BENCH_KEEP=1
# keeps the generated files and traces.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$ROOT/tools/env.sh"
BUILD="$(realpath -m "${BENCH_BUILD_DIR:-$ROOT/build/bench}")"
REPEAT="${BENCH_REPEAT:-3}"
COUNT="${1:-1000}"
command -v strace >/dev/null || { echo "publish.sh: strace is needed (apt-get install strace)" >&2; exit 2; }

wine_server_up
cmake --preset win64 -B "$BUILD" -DVANTOREL_TESTS=OFF >/dev/null
cmake --build "$BUILD" --target vantorel -j2 >/dev/null
x86_64-w64-mingw32-g++-posix -std=c++20 -O2 -static -municode -o "$BUILD/read_floor.exe" "$ROOT/bench/read_floor.cpp" \
  -lbcrypt

WORK="$(mktemp -d "${TMPDIR:-/tmp}/vantorel-publish.XXXXXX")"
[ "${BENCH_KEEP:-0}" = 1 ] || trap 'rm -rf "$WORK"' EXIT

python3 - "$BUILD" "$WORK" "$REPEAT" "$COUNT" <<'PY'
import collections, os, random, re, shutil, statistics, subprocess, sys, time

build, work, repeat, count = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
GOAL = 1.5
release = os.path.join(work, "release")
os.makedirs(release)
program = os.path.join(build, "vantorel.exe")
rng = random.Random(1)
sizes = {}
for i in range(1, count + 1):
    if i % 50 == 0:
        name = f"m{i:05d}.exe"
        shutil.copy2(program, os.path.join(release, name))
    else:
        name = f"f{i:05d}.dat"
        with open(os.path.join(release, name), "wb") as f:
            f.write(rng.randbytes(1024 * rng.randint(1, 200)))
    sizes[name] = os.path.getsize(os.path.join(release, name))
total = sum(sizes.values())
win_release = "Z:" + release.replace("/", "\\") + "\\"
publish = ["wine", program, "--publish", win_release]
floor = ["wine", os.path.join(build, "read_floor.exe"), win_release]
hashing = ["wine", os.path.join(build, "read_floor.exe"), "--hash", win_release]

def timed(args):
    started = time.perf_counter()
    done = subprocess.run(args, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    elapsed = time.perf_counter() - started
    if done.returncode != 0:
        sys.exit(f"{' '.join(args)} ended with {done.returncode}:\n{done.stdout.decode(errors='replace')}")
    return elapsed, done.stdout.decode(errors="replace")

_, out = timed(publish)
_, floor_out = timed(floor)
if f"{count} files, {total} bytes" not in out or floor_out.strip() != f"{count} files, {total} bytes":
    sys.exit(f"the runs did not read the release:\n{out}\n{floor_out}")
timed(hashing)
publish_times, floor_times, hash_times = [], [], []
for _ in range(repeat):
    floor_times.append(timed(floor)[0])
    publish_times.append(timed(publish)[0])
    hash_times.append(timed(hashing)[0])
p, f, h = statistics.median(publish_times), statistics.median(floor_times), statistics.median(hash_times)
ratio = p / f
print(f"release: {count} files, {total / 1e6:.1f} MB ({count // 50} program files); load average "
      f"{os.getloadavg()[0]:.1f} on {os.cpu_count()} processors")
print(f"publish {p:.2f} s   floor {f:.2f} s   ratio {ratio:.2f}{'' if ratio <= GOAL else ' *'} (goal <= {GOAL})")
print(f"read+hash floor {h:.2f} s   publish / read+hash {p / h:.2f}   "
      f"MB/s: publish {total / 1e6 / p:.0f}, floor {total / 1e6 / f:.0f}, read+hash {total / 1e6 / h:.0f}")
print(f"  runs: publish {' '.join(f'{t:.2f}' for t in publish_times)}; floor {' '.join(f'{t:.2f}' for t in floor_times)}"
      f"; read+hash {' '.join(f'{t:.2f}' for t in hash_times)}")

# Bytes read from each file of the release, by the system call that read them.
CALL = re.compile(r'^\d+\s+(read|pread64)\(\d+<([^>]*)>.*\)\s+=\s+(\d+)$')
def traced(args, label):
    trace = os.path.join(work, f"{label}.strace")
    subprocess.run(["strace", "-f", "-qq", "-e", "trace=read,pread64", "-y", "-o", trace] + args,
                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
    read = collections.Counter()
    peeked = collections.Counter()
    pending = {}
    with open(trace, errors="replace") as lines:
        for line in lines:
            # A call that another thread interrupted is completed on a later line.
            m = re.match(r'^(\d+)\s+(read|pread64)\(\d+<([^>]*)>.*<unfinished \.\.\.>$', line.rstrip())
            if m:
                pending[m.group(1)] = (m.group(2), m.group(3))
                continue
            m = re.match(r'^(\d+)\s+<\.\.\. (read|pread64) resumed>.*\)\s+=\s+(\d+)$', line.rstrip())
            if m and m.group(1) in pending:
                call, path = pending.pop(m.group(1))
                line = f"0 {call}(0<{path}>) = {m.group(3)}"
            m = CALL.match(line.rstrip())
            if not m or os.path.dirname(m.group(2)) != release:
                continue
            name = os.path.basename(m.group(2))
            (read if m.group(1) == "read" else peeked)[name] += int(m.group(3))
    return read, peeked

for label, args in (("publish", publish), ("floor", floor)):
    read, peeked = traced(args, label)
    data = sum(read[name] for name in sizes)
    again = sum(1 for name in sizes if read[name] != sizes[name])
    print(f"{label}: read {data} of {total} bytes of the release's files ({data / total:.4f} per byte), "
          f"{again} files read other than once; plus {sum(peeked.values())} bytes Wine peeks at "
          f"({len(peeked)} files, at most {max(peeked.values(), default=0)} bytes each)")
PY
