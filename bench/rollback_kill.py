#!/usr/bin/env python3
"""The fault test of Rollback=1 (not a CTest test: it takes minutes).

A script that changes every kind of thing - files copied, replaced, deleted
and renamed, directories made, removed and renamed, registry values and keys
written and removed, INI values, text lines, an alias - and then fails at its
last item is run with Rollback=1 and killed at a random moment. Eight more
files replaced one item after another keep records written ahead of their
turns in the journal for much of the run (one of them read-only). A normal run
follows, with the failure still in place: it finishes the rollback of the
killed run, runs, fails and rolls back. After it the workstation must be
exactly as it was before the killed run: every file's bytes, attributes and
last-write time, every registry value's type and data, the engine's aliases,
and no journal or kept file left. Repeated CASES times (default 100) at
random moments over the whole length of a run; prints each case that differs
and the count.

    python3 bench/rollback_kill.py [cases] [--exe build/win64/vantorel.exe]
"""
import argparse
import os
import random
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import uuid

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
KEY = "HKCU\\Software\\VantorelBench\\Rollback" + uuid.uuid4().hex[:8]
KILL_AFTER = None  # the helper that ends the run, built at the start


def env():
    e = dict(os.environ)
    e.setdefault("WINEPREFIX", os.path.join(ROOT, "build", "wineprefix"))
    e["WINEDEBUG"] = "-all"
    e["WINEDLLOVERRIDES"] = "mscoree,mshtml="
    return e


def win(path):
    return "Z:" + path.replace("/", "\\")


def reg(*args):
    return subprocess.run(["wine", "C:\\windows\\system32\\reg.exe", *args], env=env(), capture_output=True,
                          text=True, errors="replace")


def write(path, data, day=None):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data.encode("latin-1") if isinstance(data, str) else data)
    if day is not None:
        stamp = 1_600_000_000 + day * 86400
        os.utime(path, (stamp, stamp))


def script(share):
    return ("[Options]\r\nSourcePath=" + win(share) + "\r\nRollback=1\r\nPause=60\r\n"
            "[Insert]\r\nItemOrder=DFRIBT\r\nDir1=made\\deep\r\nFile1=made\\deep\\a.txt\r\nFile2=fresh.txt\r\n"
            f"Reg1={KEY}\\App\r\nReg1Val1Name=Port\r\nReg1Val1Type=I\r\nReg1Val1Value=8080\r\n"
            "Ini1=app.ini\r\nIni1Val1Section=Main\r\nIni1Val1Name=Mode\r\nIni1Val1Value=net\r\n"
            "BDEAlias1=Ledger\r\nBDEAlias1Params=STANDARD;PATH:C:\\data\r\n"
            "Text1=app.cfg\r\nText1Str1Prefix=Theme=\r\nText1Str1Full=Theme=dark\r\n"
            "[Update]\r\nFile1=b.txt\r\nFile2=c.txt\r\nFile3=old.dll\r\nFile3RenameTo=older.dll\r\n"
            + "".join(f"File{n + 3}=r{n}.dat\r\n" for n in range(1, 9)) +
            "Dir1=olddir\r\nDir1RenameTo=renamed\r\n"
            f"Reg1={KEY}\r\nReg1Val1Name=Existing\r\nReg1Val1Value=new\r\n"
            "Ini1=app.ini\r\nIni1Val1Section=Main\r\nIni1Val1Name=Level\r\nIni1Val1Value=2\r\n"
            "[Delete]\r\nItemOrder=FRIBD\r\nFile1=gone*.txt\r\n"
            f"Reg1={KEY}\r\nReg1Val1Name=Legacy\r\nReg2={KEY}\\Sub\r\n"
            "Ini1=app.ini\r\nIni1Val1Section=Old\r\nIni1Val1Name=Key\r\nDir1=emptydir\r\nDir2=full\r\n")


def baseline(program, share, exe, standin):
    shutil.rmtree(program, ignore_errors=True)
    os.makedirs(program)
    shutil.copy2(exe, os.path.join(program, "vantorel.exe"))
    shutil.copy(standin, os.path.join(program, "IDAPI32.DLL"))
    write(os.path.join(program, "s.ini"), script(share), 0)
    write(os.path.join(program, "b.txt"), "old b", 1)
    write(os.path.join(program, "c.txt"), "old c", 1)
    write(os.path.join(program, "old.dll"), "old dll", 1)
    for n in range(1, 9):
        write(os.path.join(program, f"r{n}.dat"), f"old r{n}", 1)
    os.chmod(os.path.join(program, "r1.dat"), 0o444)
    write(os.path.join(program, "olddir", "inside.txt"), "in", 1)
    for n in range(3):
        write(os.path.join(program, f"gone{n}.txt"), "gone" * (n + 1), 1)
    os.makedirs(os.path.join(program, "emptydir"))
    write(os.path.join(program, "full", "keep.txt"), "k", 1)
    write(os.path.join(program, "app.ini"), "[Main]\r\nLevel=1\r\n[Old]\r\nKey=x\r\n", 1)
    write(os.path.join(program, "app.cfg"), "X=1\r\n", 1)
    write(os.path.join(program, "standin_aliases.cfg"), "Old\tSTANDARD\tPATH:C:\\old\r\n", 1)
    reg("delete", KEY, "/f")
    reg("add", KEY, "/v", "Existing", "/t", "REG_SZ", "/d", "old", "/f")
    reg("add", KEY, "/v", "Legacy", "/t", "REG_DWORD", "/d", "7", "/f")
    reg("add", KEY + "\\Sub", "/v", "V", "/t", "REG_BINARY", "/d", "0102", "/f")


def prepare_share(share, program):
    shutil.rmtree(share, ignore_errors=True)
    os.makedirs(share)
    shutil.copy2(os.path.join(program, "vantorel.exe"), os.path.join(share, "vantorel.exe"))  # current: no self-update
    shutil.copy2(os.path.join(program, "s.ini"), os.path.join(share, "s.ini"))
    write(os.path.join(share, "a.txt"), "new a", 2)
    write(os.path.join(share, "fresh.txt"), "fresh", 2)
    write(os.path.join(share, "b.txt"), "new b, longer", 2)
    write(os.path.join(share, "c.txt"), os.urandom(300000), 2)
    for n in range(1, 9):
        write(os.path.join(share, f"r{n}.dat"), f"new r{n}, longer", 2)


def snapshot(program):
    """Files (bytes, mode, time) and the registry below the key; the engine's
    own log is left out, its alias list compared as a set."""
    state = {}
    for folder, dirs, files in os.walk(program):
        for name in dirs + files:
            path = os.path.join(folder, name)
            rel = os.path.relpath(path, program)
            st = os.stat(path)
            if os.path.isdir(path):
                state[rel + "/"] = (st.st_mode, int(st.st_mtime))
            elif name == "standin_aliases.cfg":
                with open(path, "rb") as f:
                    state[rel] = tuple(sorted(line for line in f.read().split(b"\r\n")
                                              if line and not line.startswith(b";")))
            else:
                with open(path, "rb") as f:
                    state[rel] = (st.st_mode, st.st_mtime_ns, f.read())
    # A query that fails says why (a key that is gone, or reg.exe itself
    # failing under load), so that a difference tells the two apart.
    query = reg("query", KEY, "/s")
    lines = sorted(line.strip() for line in query.stdout.splitlines() if line.strip())
    if query.returncode != 0:
        lines.append(f"reg query ended with {query.returncode}: {query.stderr.strip()}")
    state["registry"] = "\n".join(lines)
    return state


def differences(before, after):
    out = []
    for name in sorted(set(before) | set(after)):
        if before.get(name) == after.get(name):
            continue
        if name == "registry":
            was, now = set(before[name].splitlines()), set(after.get(name, "").splitlines())
            out += [f"registry: lost {line!r}" for line in sorted(was - now)]
            out += [f"registry: new {line!r}" for line in sorted(now - was)]
        else:
            out.append(f"{name}: {str(before.get(name))[:80]} -> {str(after.get(name))[:80]}")
    return out


def run(program, kill_after=None, output=None):
    out = open(output, "wb") if output else subprocess.DEVNULL
    # Ended from the Windows side, as the system ends a process, so that the
    # Wine server does its usual work for a process that is gone.
    command = ["wine", "vantorel.exe", "s.ini"] if kill_after is None else \
        ["wine", KILL_AFTER, str(int(kill_after * 1000)), "vantorel.exe", "s.ini"]
    process = subprocess.Popen(command, cwd=program, env=env(), stdin=subprocess.DEVNULL,
                               stdout=out, stderr=subprocess.STDOUT, start_new_session=True)
    try:
        process.wait(timeout=120)
    except subprocess.TimeoutExpired:
        os.killpg(process.pid, signal.SIGKILL)
        process.wait()
        return "hung"
    return process.returncode


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("cases", nargs="?", type=int, default=100)
    parser.add_argument("--exe", default=os.path.join(ROOT, "build", "win64", "vantorel.exe"))
    parser.add_argument("--seed", type=int, default=None)
    args = parser.parse_args()
    standin = os.path.join(os.path.dirname(args.exe), "engine_standin", "IDAPI32.DLL")
    random.seed(args.seed)
    work = tempfile.mkdtemp(prefix="vantorel-kill-")
    global KILL_AFTER
    KILL_AFTER = os.path.join(work, "kill_after.exe")
    subprocess.run(["x86_64-w64-mingw32-g++-posix", "-O2", "-static", "-o", KILL_AFTER,
                    os.path.join(ROOT, "bench", "kill_after.cpp")], check=True)
    # A wineserver that stays up between the runs: the moments drawn fall on
    # the run itself rather than on Wine's start, and no server is starting
    # while the last one still writes the registry out.
    subprocess.run(["wineserver", "-p60"], env=env(), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, start_new_session=True)
    subprocess.run(["wine", "cmd", "/c", "exit"], env=env(), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
    program, share = os.path.join(work, "program"), os.path.join(work, "share")
    # A copy of the program and the engine: a build during the test must not
    # make the share's program differ from the workstation's (a self-update).
    exe = os.path.join(work, "vantorel.exe")
    shutil.copy2(args.exe, exe)
    shutil.copy2(standin, os.path.join(work, "IDAPI32.DLL"))
    standin = os.path.join(work, "IDAPI32.DLL")
    try:
        baseline(program, share, exe, standin)
        prepare_share(share, program)
        # The length of a whole run, to kill within.
        started = time.time()
        code = run(program)
        length = time.time() - started
        print(f"a whole run takes {length:.1f} s and ends with exit code {code}")
        differing = 0
        for case in range(1, args.cases + 1):
            baseline(program, share, exe, standin)
            before = snapshot(program)
            moment = random.uniform(0.2, length)
            run(program, kill_after=moment)
            journal_left = os.path.exists(os.path.join(program, "s.journal"))
            code = run(program, output=os.path.join(work, "next.txt"))
            diff = differences(before, snapshot(program))
            left = [n for n in os.listdir(program) if ".~vt" in n or n.endswith(".journal")]
            if diff or left or code != 2:
                differing += 1
                print(f"case {case}: killed after {moment:.2f} s (journal left: {journal_left}), exit {code}")
                for line in diff + [f"left behind: {n}" for n in left]:
                    print("   ", line)
                with open(os.path.join(work, "next.txt"), "rb") as f:
                    print("    the next run printed:", f.read().decode("latin-1")[-1500:].replace("\n", "\n    "))
        print(f"{args.cases} cases checked, {args.cases - differing} put back exactly, {differing} differ")
        return 1 if differing else 0
    finally:
        reg("delete", KEY, "/f")
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
