#!/usr/bin/env python3
"""What Rollback=1 costs a run (not a test). A run that replaces n files
(default 1,000, 10 KB each, every one older than its source) is timed with
Rollback=1 and without, in turn, each from the same fresh targets; then a
current run (nothing to do) of each. Prints the medians and the ratios; the
goals: at most 1.25 for the changed files, about 1 for the current run.

    python3 bench/rollback_cost.py [n] [--repeat 9] [--exe build/win64/vantorel.exe]
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
    return "Z:" + path.replace("/", "\\")


def timed(program):
    started = time.perf_counter()
    code = subprocess.run(["wine", "vantorel.exe", "s.ini"], cwd=program, env=env(), stdin=subprocess.DEVNULL,
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode
    elapsed = time.perf_counter() - started
    if code != 0:
        sys.exit(f"rollback_cost: a run ended with exit code {code}")
    return elapsed


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("n", nargs="?", type=int, default=1000)
    parser.add_argument("--repeat", type=int, default=9)
    parser.add_argument("--exe", default=os.path.join(ROOT, "build", "win64", "vantorel.exe"))
    args = parser.parse_args()
    # A wineserver that stays up, as tools/env.sh starts it: the times are the
    # runs', not Wine's start.
    subprocess.run(["wineserver", "-p60"], env=env(), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, start_new_session=True)
    subprocess.run(["wine", "cmd", "/c", "exit"], env=env(), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
    work = tempfile.mkdtemp(prefix="vantorel-cost-")
    try:
        source, pristine = os.path.join(work, "source"), os.path.join(work, "pristine")
        os.makedirs(source)
        os.makedirs(pristine)
        shutil.copy2(args.exe, os.path.join(source, "vantorel.exe"))
        items = "".join(f"File{i}=f{i:05d}.dat\r\n" for i in range(1, args.n + 1))
        for rollback in (True, False):
            name = "rb.ini" if rollback else "plain.ini"
            text = ("[Options]\r\nSourcePath=" + win(source) + "\r\n" + ("Rollback=1\r\n" if rollback else "")
                    + "[Update]\r\n" + items)
            for folder in (source, pristine):
                with open(os.path.join(folder, name), "w", newline="") as f:
                    f.write(text)
                os.utime(os.path.join(folder, name), (1_600_000_000, 1_600_000_000))
        payload = os.urandom(10 * 1024)
        for i in range(1, args.n + 1):
            for folder, stamp in ((source, 1_600_100_000), (pristine, 1_600_000_000)):
                path = os.path.join(folder, f"f{i:05d}.dat")
                with open(path, "wb") as f:
                    f.write(payload)
                os.utime(path, (stamp, stamp))
        shutil.copy2(args.exe, os.path.join(pristine, "vantorel.exe"))

        def fresh(name):
            program = os.path.join(work, "program")
            shutil.rmtree(program, ignore_errors=True)
            shutil.copytree(pristine, program)
            shutil.copy2(os.path.join(program, name), os.path.join(program, "s.ini"))
            shutil.copy2(os.path.join(source, name), os.path.join(source, "s.ini"))
            return program

        changed = {"rb.ini": [], "plain.ini": []}
        current = {"rb.ini": [], "plain.ini": []}
        for round_ in range(args.repeat + 1):  # the first of each is a warm-up
            # Neither always runs on the disk the other has just left busy
            # (freed blocks, files written back): each goes first in every other round.
            order = ("rb.ini", "plain.ini") if round_ % 2 else ("plain.ini", "rb.ini")
            for name in order:
                program = fresh(name)
                changed[name].append(timed(program))
                current[name].append(timed(program))
        med = {k: statistics.median(v[1:]) for k, v in changed.items()}
        cur = {k: statistics.median(v[1:]) for k, v in current.items()}
        rounds = sorted(r / p for r, p in zip(changed["rb.ini"][1:], changed["plain.ini"][1:]))
        print(f"{args.n} files replaced: Rollback=1 {med['rb.ini']:.2f} s, without {med['plain.ini']:.2f} s, "
              f"ratio {med['rb.ini'] / med['plain.ini']:.2f} (goal at most 1.25)")
        print(f"  the rounds' own ratios: {rounds[0]:.2f} to {rounds[-1]:.2f}, median {statistics.median(rounds):.2f}")
        print(f"current run: Rollback=1 {cur['rb.ini']:.3f} s, without {cur['plain.ini']:.3f} s, "
              f"ratio {cur['rb.ini'] / cur['plain.ini']:.2f}")
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
