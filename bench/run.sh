#!/usr/bin/env bash
# Times whole runs of the program under Wine on generated scripts whose items
# are all current (the daily case at every workstation), next to a floor
# program that makes only the unavoidable look-ups for the same items: one
# look-up of each source and each target file (the floor the goals were set
# against), and, as a second floor, one listing of the source and of the
# target directory instead, the least a run that lists them can do. The third,
# strictest floor lists the directories too and reads each INI file once,
# whole (the script and the file of the INI values), finding every value in
# that one read (both other floors read no script and make one profile call
# per INI value); all three open each registry key once. Four
# scripts per size n: "files" holds n File items; "daily" holds the same File
# items plus 10 Reg items and 10 Ini items of 10 values each (100 registry
# values and 100 INI values, a workstation's usual script); "combined" holds
# the File items plus n/10 Reg items and n/10 Ini items of 10 values each (so
# n registry values and n INI values); "values" holds only those Reg and Ini
# items. The values are written beforehand so that they are current.
# The peer is Wine's xcopy /D /L over the same n source files and target
# directory: it compares each file's date with its target's and copies
# nothing. Its time counts once per size, next to the variants that hold files.
# After the timings, one more current run per variant under
# WINEDEBUG=trace+file counts the requests to the source directory (the share):
# the Win32 file calls whose path lies in it, by call name. Wine traces some
# of them again at lower levels (Rtl path conversion, Nt calls, its own
# helpers); those lines are left out and named in the output. The floor,
# traced the same way, must come to one FindFirstFileExW per source file, or
# the script stops: the trace would be misread.
# Registry values live below HKCU\Software\VantorelBench\<random>, which is
# removed at the end.
#
#   bench/run.sh [counts...]        default: 100 1000 5000
#
# Environment: BENCH_BUILD_DIR (default build/bench), BENCH_REPEAT (runs per
# size, the median counts; default 3), BENCH_KEEP=1 keeps the generated files
# and traces (the registry key is removed all the same), BENCH_VARIANTS runs
# only the variants named, e.g. "files" or "daily,values" (default all four),
# BENCH_PROGRAM times that vantorel.exe instead of the one built here (for a
# comparison of two builds; the floors stay the same).
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$ROOT/tools/env.sh"
BUILD="$(realpath -m "${BENCH_BUILD_DIR:-$ROOT/build/bench}")"
REPEAT="${BENCH_REPEAT:-3}"
COUNTS=("$@")
[ ${#COUNTS[@]} -gt 0 ] || COUNTS=(100 1000 5000)

wine_server_up
cmake --preset win64 -B "$BUILD" -DVANTOREL_TESTS=OFF >/dev/null
cmake --build "$BUILD" --target vantorel -j2 >/dev/null
x86_64-w64-mingw32-g++-posix -std=c++20 -O2 -static -o "$BUILD/floor.exe" "$ROOT/bench/floor.cpp"

WORK="$(mktemp -d "${TMPDIR:-/tmp}/vantorel-bench.XXXXXX")"
[ "${BENCH_KEEP:-0}" = 1 ] || trap 'rm -rf "$WORK"' EXIT

PROGRAM="$(realpath -m "${BENCH_PROGRAM:-$BUILD/vantorel.exe}")"
[ -f "$PROGRAM" ] || { echo "BENCH_PROGRAM: no file $PROGRAM" >&2; exit 1; }

python3 - "$BUILD" "$WORK" "$REPEAT" "$PROGRAM" "${COUNTS[@]}" <<'PY'
import collections, ntpath, os, re, shutil, statistics, subprocess, sys, time, uuid

build, work, repeat, program_exe = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4]
counts = [int(c) for c in sys.argv[5:]]
keep = os.environ.get("BENCH_KEEP", "0") == "1"
VALUES = 10  # values per Reg and per Ini item
DAILY_ITEMS = 10  # Reg and Ini items of the daily script
BENCH_KEY = "Software\\VantorelBench"
own_key = BENCH_KEY + "\\run" + uuid.uuid4().hex
REG_EXE = "C:\\windows\\system32\\reg.exe"
XCOPY_EXE = "C:\\windows\\system32\\xcopy.exe"

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

def reg(*args, check=True):
    done = subprocess.run(["wine", REG_EXE, *args], stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                          stderr=subprocess.STDOUT)
    if check and done.returncode != 0:
        sys.exit(f"reg {' '.join(args)} ended with {done.returncode}:\n{done.stdout.decode(errors='replace')}")
    return done

def write_script(path, lines):
    with open(path, "w", newline="") as f:
        f.write("\r\n".join(lines) + "\r\n")

def reg_data(i, m):
    # Mixed types: odd values are strings, even ones 32-bit numbers.
    return ("S", f"text {i}.{m}") if m % 2 else ("I", str(i * 100 + m))

def prepare(n, with_values):
    base = os.path.join(work, str(n))
    source, program = os.path.join(base, "source"), os.path.join(base, "program")
    os.makedirs(source)
    os.makedirs(os.path.join(program, "files"))
    options = ["[Options]", "SourcePath=" + win(source), "SectionOrder=U", "[Update]"]
    files = []
    for i in range(1, n + 1):
        name = f"f{i:05d}.dat"
        with open(os.path.join(source, name), "wb") as f:
            f.write(b"x" * (64 + i % 64))
        shutil.copy2(os.path.join(source, name), os.path.join(program, "files", name))
        files.append(f"File{i}=files\\{name}")

    items = n // 10
    key = f"{own_key}\\n{n}"
    extra, reg_file, ini_file = [], ["REGEDIT4", ""], []
    for i in range(1, items + 1):
        extra.append(f"Reg{i}=HKCU\\{key}\\K{i:05d}")
        reg_file.append(f"[HKEY_CURRENT_USER\\{key}\\K{i:05d}]")
        for m in range(1, VALUES + 1):
            kind, text = reg_data(i, m)
            extra += [f"Reg{i}Val{m}Name=Name{m}", f"Reg{i}Val{m}Type={kind}", f"Reg{i}Val{m}Value={text}"]
            reg_file.append(f'"Name{m}"="{text}"' if kind == "S" else f'"Name{m}"=dword:{int(text):08x}')
        reg_file.append("")
    for i in range(1, items + 1):
        extra.append(f"Ini{i}=data.ini")
        ini_file.append(f"[S{i:05d}]")
        for m in range(1, VALUES + 1):
            extra += [f"Ini{i}Val{m}Section=S{i:05d}", f"Ini{i}Val{m}Name=K{m}", f"Ini{i}Val{m}Value=v{i}.{m}"]
            ini_file.append(f"K{m}=v{i}.{m}")
    write_script(os.path.join(source, "files.ini"), options + files)
    daily = [line for line in extra if int(re.match(r"(?:Reg|Ini)(\d+)", line).group(1)) <= DAILY_ITEMS]
    write_script(os.path.join(source, "daily.ini"), options + files + daily)
    write_script(os.path.join(source, "combined.ini"), options + files + extra)
    write_script(os.path.join(source, "values.ini"), options + extra)
    write_script(os.path.join(program, "data.ini"), ini_file)
    write_script(os.path.join(base, "values.reg"), reg_file)
    if with_values:
        reg("import", win(os.path.join(base, "values.reg")))

    for name in ("files.ini", "daily.ini", "combined.ini", "values.ini"):
        shutil.copy2(os.path.join(source, name), os.path.join(program, name))
    shutil.copy2(program_exe, os.path.join(source, "vantorel.exe"))
    shutil.copy2(os.path.join(source, "vantorel.exe"), os.path.join(program, "vantorel.exe"))
    return source, program, key, items

def check_current(n, variant, output, key):
    # Registry and INI items always name their key or file; a value with work
    # to do adds a value line and a status box.
    for line in output.splitlines():
        work = "[  OK  ]" in line or "[ FAILED ]" in line or line.startswith("       ")
        if line.startswith("    -> "):
            named = line[7:]
            work = work or not (named.startswith("HKCU\\" + key + "\\") or named.startswith("data.ini"))
        if work:
            sys.exit(f"{variant} run with {n} items still had work to do:\n{output}")

def measure(n, variant, run, floors, cwd, key):
    # The first run warms the caches and proves that nothing is left to do.
    _, output = timed(run, cwd)
    check_current(n, variant, output, key)
    for floor in floors:
        timed(floor, cwd)
    # Alternated, so that a change in the machine's load (other builds on a
    # shared machine) falls on both sides of the ratio alike.
    runs, times = [], [[] for _ in floors]
    for _ in range(repeat):
        runs.append(timed(run, cwd)[0])
        for floor, measured in zip(floors, times):
            measured.append(timed(floor, cwd)[0])
    return statistics.median(runs), [statistics.median(measured) for measured in times]

def xcopy(source, program, newer_only):
    # /Y: a file that would be copied must not wait for an answer that never comes.
    return (["wine", XCOPY_EXE] + (["/D"] if newer_only else []) +
            ["/L", "/Y", win(source) + "\\*.dat", win(program) + "\\files\\"])

def xcopy_listed(output, source):
    prefix = win(source).lower() + "\\"
    return [line for line in output.splitlines() if line.lower().startswith(prefix)]

def measure_xcopy(n, source, program):
    # Wine's xcopy /L names every file it would copy but always sums up with
    # "0 file(s) would be copied", so the names are what prove the comparison:
    # all n files without /D, none with it.
    listed = xcopy_listed(timed(xcopy(source, program, False), program)[1], source)
    if len(listed) != n:
        sys.exit(f"xcopy /L lists {len(listed)} of the {n} source files")
    peer = xcopy(source, program, True)
    output = timed(peer, program)[1]
    lines = [line for line in output.splitlines() if line.strip()]
    if xcopy_listed(output, source) or not lines or not lines[-1].startswith("0 "):
        sys.exit(f"xcopy /D /L with {n} current files would copy some:\n{output}")
    return statistics.median(timed(peer, program)[0] for _ in range(repeat))

TRACE_LINE = re.compile(r":trace:file:(\w+) (.*)")
TRACED_PATH = re.compile(r'L"((?:[^"\\]|\\.)*)"')
# Below the Win32 calls: RtlDosPathNameToNtPathName_U_WithStatus, NtCreateFile,
# nt_to_unix_file_name_no_root and the like repeat the same request.
LOWER_LEVEL = re.compile(r"(?:Rtl|Nt|Zw|Ldr)[A-Z]|[a-z_]")

def comparable(path):
    return ntpath.normcase(ntpath.normpath(path))

def traced_path(text):
    # The trace escapes backslashes and quotes; the Nt level adds \??\.
    path = re.sub(r"\\(.)", r"\1", text)
    return comparable(path[4:] if path.startswith("\\??\\") else path)

def count_requests(n, name, args, cwd, source):
    # Runs args once traced; gives its output, the Win32 calls naming a path
    # in the source directory, counted by name, and the names of the
    # lower-level calls that did so as well.
    trace = os.path.join(work, str(n), f"trace-{name}.txt")
    with open(trace, "wb") as err:
        done = subprocess.run(args, cwd=cwd, env=dict(os.environ, WINEDEBUG="trace+file"),
                              stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=err)
    output = done.stdout.decode(errors="replace")
    if done.returncode != 0:
        sys.exit(f"traced {name} run with {n} items ended with {done.returncode}:\n{output}")
    directory = comparable(win(source))
    counted, lower = collections.Counter(), set()
    with open(trace, errors="replace") as lines:
        for line in lines:
            call = TRACE_LINE.search(line)
            if not call:
                continue
            paths = (traced_path(p) for p in TRACED_PATH.findall(call.group(2)))
            if not any(p == directory or p.startswith(directory + "\\") for p in paths):
                continue
            if LOWER_LEVEL.match(call.group(1)):
                lower.add(call.group(1))
            else:
                counted[call.group(1)] += 1
    if not keep:
        os.remove(trace)
    return output, counted, lower

def check_counting(n, source, program):
    # The floor looks each source file up once with FindFirstFileA: a count of
    # anything but n FindFirstFileExW means the trace is not read right (other
    # Wine version, other escaping), and so would every figure after it.
    floor = ["wine", os.path.join(build, "floor.exe"), win(source) + "\\", win(program) + "\\files\\", str(n)]
    _, counted, _ = count_requests(n, "floor", floor, program, source)
    if counted != collections.Counter(FindFirstFileExW=n):
        sys.exit(f"the traced floor with {n} files counts {dict(counted)} in the source directory, "
                 f"not {n} FindFirstFileExW")

def report_requests(rows, lower):
    names = sorted(set().union(*(counted for _, _, _, counted in rows)))
    print("requests to the source directory in one current run (traced with WINEDEBUG=trace+file, not timed)")
    print("counted: " + (", ".join(names) or "none") + " (Win32 file calls naming a path in it)")
    print("left out, the same requests at lower levels: " + (", ".join(sorted(lower)) or "none"))
    print(f"{'variant':<9} {'n':>6} {'total':>7} {'per file':>8}" + "".join(f" {name:>{max(len(name), 6)}}" for name in names))
    for variant, n, files, counted in rows:
        total = sum(counted.values())
        per_file = f"{total / files:.2f}" if files else "-"
        print(f"{variant:<9} {n:>6} {total:>7} {per_file:>8}" +
              "".join(f" {counted[name]:>{max(len(name), 6)}}" for name in names))

# What the project holds itself to, printed next to the measured values and
# never enforced. Requests: 3 per source directory whatever the number of
# files; the generated scripts name one source directory.
GOAL_FLOOR, GOAL_STRICT, GOAL_XCOPY, GOAL_REQUESTS = 1.2, 1.2, 1.0, 3

def report_goals(rows, request_rows):
    print("goals: measured values, * where one misses its goal (the script does not fail on them)")
    print(f"  run/floor at most {GOAL_FLOOR} (the floor of one look-up per file; run/list is shown above, without a goal)"
          f" | run/strict at most {GOAL_STRICT} (listings, each INI file read once)"
          f" | run/xcopy below {GOAL_XCOPY} (files; daily and combined have no peer for their values) | "
          f"requests to the source directory at most {GOAL_REQUESTS} (3 per source directory, one here)")
    requests = {(variant, n): sum(counted.values()) for variant, n, _, counted in request_rows}
    timings = {(variant, r[0]): r for variant in rows for r in rows[variant]}
    for n in counts:
        floor, strict, peer, share = [], [], [], []
        for variant in rows:
            _, _, t_run, t_floor, t_xcopy, _, t_strict = timings[variant, n]
            floor.append(f"{variant} {t_run / t_floor:.2f}" + ("*" if t_run / t_floor > GOAL_FLOOR else ""))
            strict.append(f"{variant} {t_run / t_strict:.2f}" + ("*" if t_run / t_strict > GOAL_STRICT else ""))
            if t_xcopy is not None:
                # xcopy compares files only: its goal is the files variant's; the
                # other variants' values have no peer, their ratios are shown as they are.
                missed = variant == "files" and t_run / t_xcopy >= GOAL_XCOPY
                peer.append(f"{variant} {t_run / t_xcopy:.2f}" + ("*" if missed else ""))
            total = requests[variant, n]
            share.append(f"{variant} {total}" + ("*" if total > GOAL_REQUESTS else ""))
        print(f"{n:>6}  run/floor: {', '.join(floor)} | run/strict: {', '.join(strict)} | "
              f"run/xcopy: {', '.join(peer) or '-'} | requests: {', '.join(share)}")

def report(title, unit, rows):
    peer = any(t_xcopy is not None for _, _, _, _, t_xcopy, _, _ in rows)
    print(f"{title} (ms per {unit})")
    print(f"{'n':>6} {'run s':>8} {'ms/' + unit:>10} {'floor s':>8} {'ms/' + unit:>10} {'run/floor':>9}" +
          f" {'list s':>8} {'run/list':>8} {'strict s':>8} {'run/strict':>10}" +
          (f" {'xcopy s':>8} {'run/xcopy':>9}" if peer else ""))
    for n, units, t_run, t_floor, t_xcopy, t_list, t_strict in rows:
        print(f"{n:>6} {t_run:>8.3f} {1000 * t_run / units:>10.3f} {t_floor:>8.3f} "
              f"{1000 * t_floor / units:>10.3f} {t_run / t_floor:>9.2f} {t_list:>8.3f} {t_run / t_list:>8.2f}"
              f" {t_strict:>8.3f} {t_run / t_strict:>10.2f}" +
              (f" {t_xcopy:>8.3f} {t_run / t_xcopy:>9.2f}" if peer else ""))
    by_count = {n: (r, f) for n, _, r, f, _, _, _ in rows}
    if 1000 in by_count and 5000 in by_count:
        (r1, f1), (r5, f5) = by_count[1000], by_count[5000]
        print(f"growth t(5000)/t(1000): run {r5 / r1:.2f}, floor {f5 / f1:.2f} (linear: about 5)")

# The values-only script isolates the registry and INI items from the files.
VARIANTS = [
    ("files", "n File items", "file"),
    ("daily", f"n File items, {DAILY_ITEMS} Reg and {DAILY_ITEMS} Ini items of {VALUES} values each", "unit"),
    ("combined", "n File items, n/10 Reg and n/10 Ini items of 10 values each", "unit"),
    ("values", "n/10 Reg and n/10 Ini items of 10 values each, no files", "value"),
]
wanted = os.environ.get("BENCH_VARIANTS", "").replace(",", " ").split()
unknown = set(wanted) - {variant for variant, _, _ in VARIANTS}
if unknown:
    sys.exit(f"BENCH_VARIANTS: no variant {', '.join(sorted(unknown))} (there are files, daily, combined, values)")
VARIANTS = [v for v in VARIANTS if not wanted or v[0] in wanted]
rows = {variant: [] for variant, _, _ in VARIANTS}
request_rows, lower_level = [], set()
try:
    for n in counts:
        source, program, key, items = prepare(n, any(variant != "files" for variant, _, _ in VARIANTS))
        exe = os.path.join(program, "vantorel.exe")
        values = [key, win(os.path.join(program, "data.ini")), str(items), str(VALUES)]
        daily_values = values[:2] + [str(min(items, DAILY_ITEMS)), str(VALUES)]
        with_files = any(variant != "values" for variant, _, _ in VARIANTS)
        t_xcopy = measure_xcopy(n, source, program) if with_files else None
        check_counting(n, source, program)
        for variant, _, _ in VARIANTS:
            files = 0 if variant == "values" else n
            floor = ["wine", os.path.join(build, "floor.exe"), win(source) + "\\", win(program) + "\\files\\",
                     str(files)] + {"files": [], "daily": daily_values}.get(variant, values)
            listing_floor = floor[:2] + ["--listing"] + floor[2:]
            strict_floor = floor[:2] + ["--strict", win(os.path.join(program, variant + ".ini"))] + floor[2:]
            run = ["wine", exe, variant + ".ini"]
            t_run, (t_floor, t_list, t_strict) = measure(n, variant, run, [floor, listing_floor, strict_floor],
                                                         program, key)
            output, counted, lower = count_requests(n, variant, run, program, source)
            check_current(n, variant, output, key)
            request_rows.append((variant, n, files, counted))
            lower_level |= lower
            # A unit is one file or one value.
            value_items = {"files": 0, "daily": min(items, DAILY_ITEMS)}.get(variant, items)
            units = files + 2 * value_items * VALUES
            rows[variant].append((n, units, t_run, t_floor, None if variant == "values" else t_xcopy, t_list,
                                  t_strict))
finally:
    reg("delete", "HKCU\\" + own_key, "/f", check=False)
    # The common parent goes too once no other run keeps a key below it.
    parent = reg("query", "HKCU\\" + BENCH_KEY, check=False)
    if parent.returncode == 0 and "\\" + BENCH_KEY + "\\" not in parent.stdout.decode(errors="replace"):
        reg("delete", "HKCU\\" + BENCH_KEY, "/f", check=False)

for variant, title, unit in VARIANTS:
    report(f"{variant}: {title}", unit, rows[variant])
    print()
print(f"(a unit is one file or one value; daily: {DAILY_ITEMS * VALUES} registry and {DAILY_ITEMS * VALUES} INI values, "
      "combined and values: n of each)")
print()
report_requests(request_rows, lower_level)
print()
report_goals(rows, request_rows)
PY
