#!/usr/bin/env python3
"""The day a workstation is new (not a test): a run that copies every file
into an empty program directory, beside the floor - CopyFileA of each file
(bench/copy_floor.cpp) - and the peer, xcopy /Y /Q of the same files. Two
variants: many small files (default 500 of 100 KB, one File item each) and
one large file (default 200 MB). Runs of the three alternate, each into a
fresh empty directory; the medians and the ratios are printed.

    python3 bench/first_install.py [--files 500] [--size-kb 100] [--large-mb 200]
                                   [--repeat 5] [--exe build/win64/vantorel.exe]
                                   [--only small|large] [--rollback]
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def env():
    e = dict(os.environ)
    e.setdefault("WINEPREFIX", os.path.join(ROOT, "build", "wineprefix"))
    e["WINEDEBUG"] = "-all"
    e["WINEDLLOVERRIDES"] = "mscoree,mshtml="
    return e


def win(path):
    return "Z:" + path.replace("/", "\\") + ("\\" if not path.endswith("/") else "")


def timed(args, cwd):
    started = time.perf_counter()
    done = subprocess.run(args, cwd=cwd, env=env(), stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                          stderr=subprocess.STDOUT)
    elapsed = time.perf_counter() - started
    if done.returncode != 0:
        sys.exit(f"{' '.join(args)} ended with {done.returncode}:\n{done.stdout.decode(errors='replace')[-2000:]}")
    return elapsed


def variant(work, name, files, size, args, floor):
    source = os.path.join(work, name, "source")
    os.makedirs(source)
    block = os.urandom(min(size, 1 << 20))
    names = []
    for i in range(1, files + 1):
        file_name = f"f{i:05d}.dat"
        with open(os.path.join(source, file_name), "wb") as f:
            left = size
            while left > 0:
                f.write(block[:left])
                left -= len(block)
        names.append(file_name)
    shutil.copy2(args.exe, os.path.join(source, "vantorel.exe"))
    script = ["[Options]", "SourcePath=" + win(source).rstrip("\\")] + (["Rollback=1"] if args.rollback else [])
    script += ["[Insert]"] + [f"File{i}={n}" for i, n in enumerate(names, 1)]
    with open(os.path.join(source, "s.ini"), "w", newline="") as f:
        f.write("\r\n".join(script) + "\r\n")

    def fresh():
        program = os.path.join(work, name, "program")
        shutil.rmtree(program, ignore_errors=True)
        os.makedirs(program)
        for own in ("vantorel.exe", "s.ini"):
            shutil.copy2(os.path.join(source, own), os.path.join(program, own))
        subprocess.run(["sync"])  # the previous run's pages are no one's debt
        return program

    tools = {
        "vantorel": lambda p: timed(["wine", "vantorel.exe", "s.ini"], p),
        "CopyFileA": lambda p: timed(["wine", floor, win(source), win(p), "f*.dat"], p),
        "xcopy": lambda p: timed(["wine", "C:\\windows\\system32\\xcopy.exe", win(source) + "f*.dat", win(p),
                                  "/Y", "/Q"], p),
    }
    times = {k: [] for k in tools}
    for round_ in range(args.repeat + 1):  # the first round warms the cache
        for tool, run in tools.items():
            elapsed = run(fresh())
            if round_:
                times[tool].append(elapsed)
    med = {k: statistics.median(v) for k, v in times.items()}
    floor_time = med["CopyFileA"]
    print(f"{name}: {files} file(s) of {size // 1024} KB" + (" with Rollback=1" if args.rollback else ""))
    for tool in tools:
        print(f"  {tool:10} {med[tool]:7.2f} s   {med[tool] / floor_time:5.2f} x CopyFileA")
    print(f"  vantorel / xcopy {med['vantorel'] / med['xcopy']:.2f}")
    shutil.rmtree(os.path.join(work, name), ignore_errors=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--files", type=int, default=500)
    parser.add_argument("--size-kb", type=int, default=100)
    parser.add_argument("--large-mb", type=int, default=200)
    parser.add_argument("--repeat", type=int, default=5)
    parser.add_argument("--exe", default=os.path.join(ROOT, "build", "win64", "vantorel.exe"))
    parser.add_argument("--only", choices=["small", "large"])
    parser.add_argument("--rollback", action="store_true")
    args = parser.parse_args()
    # A wineserver that stays up, as tools/env.sh starts it: the times are the
    # copies', not Wine's start.
    subprocess.run(["wineserver", "-p60"], env=env(), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, start_new_session=True)
    subprocess.run(["wine", "cmd", "/c", "exit"], env=env(), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
    work = tempfile.mkdtemp(prefix="vantorel-install-")
    try:
        floor = os.path.join(work, "copy_floor.exe")
        subprocess.run(["x86_64-w64-mingw32-g++-posix", "-O2", "-static", "-o", floor,
                        os.path.join(ROOT, "bench", "copy_floor.cpp")], check=True)
        if args.only != "large":
            variant(work, "small", args.files, args.size_kb * 1024, args, floor)
        if args.only != "small":
            variant(work, "large", 1, args.large_mb * 1024 * 1024, args, floor)
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
