#!/usr/bin/env python3
"""Writes run logs of a made-up fleet, one file per workstation as
`LogFile=\\\\srv\\logs\\ledger-%COMPUTERNAME%.log` writes them: one run a day
for each workstation, a release published every week, the program's new
version rolled out by self-update part way, the failures of a bad publish,
runs that were not updated while the source was being published, a few
workstations that only plan, and a few that stopped running.

    fleet_logs.py <directory> [--computers 300] [--days 365] [--items 40]
                  [--end yyyy-mm-dd] [--seed 1]
"""
import argparse
import datetime
import os
import random

USERS = ["jsmith", "mbrown", "akowalski", "j doe", "lchen", "pgarcia", "rnovak", "tmueller", "admin", "oivanova"]


def header(stamp, computer, user, version, instance, release=None):
    fields = f"  release {release}" if release is not None else ""
    return (f"==== {stamp:%Y-%m-%d %H:%M:%S}  computer {computer}  user {user}  Vantorel {version}  "
            f"script ledger.ini{fields}  {instance}")


def step(text, word="OK"):
    return text.ljust(44) + word


def block(stamp, computer, user, version, release, items, rng, outcome, instance="first run", failing=None):
    lines = [header(stamp, computer, user, version, instance, release),
             f"Vantorel & Updater {version}", "Brings the application up to date, then starts it.",
             "=> Initialization...", "=> Processing ledger.ini...", "=> Updating", "   files:"]
    fail_at = rng.randrange(items) if outcome == "failed" else -1
    for i in range(items):
        name = f"    -> module{i:03d}.dll..."
        if i == fail_at:
            target, error = failing or (f"    -> module{i:03d}.dll...", "Access denied")
            lines += [step(target, "FAILED"), "", "ERROR: " + error]
            lines.append(f"==== exit code 2, {rng.uniform(0.5, 9):.1f} s")
            return lines
        lines.append(step(name))
    if outcome == "not updated":
        lines.append("=> The source is being published; the application is started as it was")
        lines.append(step("=> Loading ledger.exe..."))
        lines.append(f"==== exit code 4, {rng.uniform(0.5, 3):.1f} s")
        return lines
    lines.append(step("=> Loading ledger.exe..."))
    lines.append(f"==== exit code 0, {rng.uniform(0.3, 4):.1f} s")
    return lines


def generate(directory, computers=300, days=365, items=40, end=None, seed=1):
    """Writes the logs; gives the number of blocks written."""
    rng = random.Random(seed)
    end = end or datetime.date.today()
    start = end - datetime.timedelta(days=days - 1)
    rollout = start + datetime.timedelta(days=days * 2 // 3)   # the program's next version reaches the share
    bad_publish = end - datetime.timedelta(days=1)               # yesterday's publish broke report.dll
    os.makedirs(directory, exist_ok=True)
    blocks = 0
    for n in range(1, computers + 1):
        computer = f"WS{n:03d}"
        user = USERS[n % len(USERS)]
        planner = n % 97 == 0                                    # someone who only tries plans
        stops = end - datetime.timedelta(days=rng.randint(4, 20)) if n % 41 == 0 else end
        straggler = n % 23 == 0                                  # keeps the old version: its runs stop before the rollout
        if straggler:
            stops = min(stops, rollout - datetime.timedelta(days=1))
        version = "1.4"
        lines = []
        day = start
        while day <= stops:
            stamp = datetime.datetime.combine(day, datetime.time(7, 30)) + datetime.timedelta(
                seconds=rng.randrange(3 * 3600))
            release = 100 + (day - start).days // 7 + (day >= bad_publish)
            if planner:
                lines += [header(stamp, computer, user, version, "plan", release), "=> Processing ledger.ini...",
                          f"Plan: nothing would change.", "==== exit code 0, 0.4 s"]
                blocks += 1
                day += datetime.timedelta(days=7)
                continue
            if version == "1.4" and day >= rollout:
                lines += [header(stamp, computer, user, version, "first run", release), "=> Initialization...",
                          "=> Repeating of Vantorel loading...", step(""), "==== exit code 0, 0.8 s"]
                version = "1.5"
                stamp += datetime.timedelta(seconds=1)
                instance = "restarted copy"
                blocks += 1
            else:
                instance = "first run"
            failing = None
            chance = rng.random()
            if day >= bad_publish and chance < 0.35:
                outcome = "failed"
                failing = ("    -> report.dll...",
                           "The process cannot access the file because it is being used by another process")
            elif chance < 0.012:
                outcome = "failed"
            elif chance < 0.02:
                outcome = "not updated"
            else:
                outcome = "succeeded"
            lines += block(stamp, computer, user, version, release, items, rng, outcome, instance, failing)
            blocks += 1
            day += datetime.timedelta(days=1)
        with open(os.path.join(directory, f"ledger-{computer}.log"), "wb") as f:
            f.write(("\r\n".join(lines) + "\r\n").encode("cp1252") if lines else b"")
    return blocks


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("directory")
    parser.add_argument("--computers", type=int, default=300)
    parser.add_argument("--days", type=int, default=365)
    parser.add_argument("--items", type=int, default=40)
    parser.add_argument("--end", type=datetime.date.fromisoformat)
    parser.add_argument("--seed", type=int, default=1)
    args = parser.parse_args()
    blocks = generate(args.directory, args.computers, args.days, args.items, args.end, args.seed)
    print(f"{blocks} blocks for {args.computers} workstations over {args.days} days in {args.directory}")


if __name__ == "__main__":
    main()
