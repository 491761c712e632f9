"""The report's page in a real browser (headless Chromium): the counts, the
failures newest first, sorting and filtering, text of a hostile log shown as
text with none of its script run, no console error and no request; then the
same logs as CSV and JSON, and logs in Russian read under a Russian locale."""
import csv
import datetime
import json
import os
import re
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "terminal"))
from termlib import ROOT, Checks, ProgramDir, parse_args, wine_env  # noqa: E402

import cdp  # noqa: E402

NOW = datetime.datetime.now().replace(microsecond=0)
HOSTILE = "<script>window.__pwned=1</script>"


def block(ago, computer, code, instance="first run", user="u", version="1.5", release=12, failed=None):
    stamp = NOW - ago
    lines = [f"==== {stamp:%Y-%m-%d %H:%M:%S}  computer {computer}  user {user}  Vantorel {version}  "
             f"script ledger.ini  release {release}  {instance}", "=> Processing ledger.ini..."]
    if failed:
        lines += ["    -> {}...".format(failed[0]).ljust(44) + "FAILED", "", "ERROR: " + failed[1]]
    return lines + [f"==== exit code {code}, 1.0 s"]


def logs():
    hour, day = datetime.timedelta(hours=1), datetime.timedelta(days=1)
    return {
        "ws01.log": block(2 * day, "WS01", 2, failed=("a.dll", "Access denied")) + block(hour / 2, "WS01", 0),
        "ws02.log": block(hour, "WS02", 2, failed=("report.dll", "Access denied")),
        "ws03.log": block(2 * hour, "WS03", 2, failed=("ledger.exe", "Sharing violation")),
        "ws04.log": block(hour, "WS04", 4),
        "ws05.log": block(hour, "WS05", 3, instance="plan"),
        "ws06.log": block(10 * day, "WS06", 0, version="1.4", release=11),
        "evil.log": block(3 * hour, HOSTILE, 2, user='"><img src=x onerror="window.__pwned=2">',
                          failed=("<svg/onload=window.__pwned=3>", "<img src=x onerror=window.__pwned=4>"))
                    + ["==== 2020-01-01 00:00:00  computer WS09  user u  Vantorel 1.5  script a.ini  first run",
                       "\0\0\0garbage", "==== exit code 0, 1.0 s"],
    }


def report(exe_dir, *arguments, env=None, encoding="cp437"):
    result = subprocess.run(["wine", "vantorel.exe", "--report", "logs", "--computers", "computers.txt", *arguments],
                            cwd=exe_dir, capture_output=True, env=env or wine_env(), stdin=subprocess.DEVNULL,
                            timeout=120)
    return result.returncode, result.stdout.decode(encoding)


def check_russian(checks, args):
    """Under a Russian locale with the language file, a block in Russian (code page 1251) and one in
    English are both read, and the page speaks Russian."""
    d = ProgramDir(args.exe, {"computers.txt": ""})
    try:
        shutil.copy(os.path.join(args.build_dir, "vantorel.rus"), os.path.join(d.path, "vantorel.rus"))
        lines = ["==== 2024-05-14 08:00:00  компьютер WS01  пользователь иванов  Vantorel 1.5  сценарий a.ini  "
                 "первый запуск", "    -> report.dll...".ljust(44) + "ОШИБКА", "", "ОШИБКА: Отказано в доступе",
                 "==== код завершения 2, 1.0 с"] + block(datetime.timedelta(days=1), "WS02", 0)
        d.write(os.path.join("logs", "a.log"), "\r\n".join(lines).encode("cp1251") + b"\r\n")
        locpath = os.environ.get("VANTOREL_LOCPATH", os.path.join(ROOT, "build", "locale"))
        code, output = report(d.path, "--stale-days", "99999", env=wine_env(LANG="ru_RU.UTF-8", LOCPATH=locpath),
                              encoding="cp866")
        checks.expect(code == 0 and "с ошибкой 1, не обновлено 0, успешно 1" in output, f"Russian summary: {output}")
        with open(os.path.join(d.path, "vantorel-report.html"), encoding="utf-8") as f:
            page = f.read()
        checks.expect("<h1>Рабочие станции: обзор</h1>" in page, "the page in Russian")
        step = re.search(r"id=\"failed-table\".*?<td class=\"step\">([^<]*)</td><td class=\"err\">([^<]*)<", page)
        checks.expect(step and step.groups() == ("report.dll", "Отказано в доступе"),
                      f"the Russian block's step and error: {step and step.groups()}")
    finally:
        d.cleanup()


def check_page(checks, browser, page, shot):
    browser.open(page)
    js = browser.evaluate
    tiles = js("Array.from(document.querySelectorAll('.tile .n')).map(n => n.textContent)")
    checks.expect(tiles == ["3", "1", "2", "1", "1", "8"], f"failed, not updated, not seen, planned, succeeded, all: {tiles}")
    failed = js("Array.from(document.querySelectorAll('#failed-table tbody tr')).map(r => r.cells[0].textContent)")
    checks.expect(failed == ["WS02", "WS03", HOSTILE], f"failures newest first, hostile name as text: {failed}")
    evil = js("Array.from(document.querySelectorAll('#failed-table tbody tr'))[2].innerText")
    checks.expect('"><img src=x onerror="window.__pwned=2">' in evil and "<img src=x onerror=window.__pwned=4>" in evil,
                  f"user and error shown as text: {evil!r}")
    checks.expect(js("window.__pwned === undefined && document.querySelectorAll('img, script').length === 1"),
                  "no element and no script of the log's text")
    checks.expect("1 (" in js("document.querySelector('.problems').textContent"), "the unreadable block is named")

    rows = "Array.from(document.querySelectorAll('#all-table tbody tr'))"
    column = f"(i => {rows}.filter(r => !r.hidden).map(r => r.cells[i].textContent))"
    header = "(i => document.querySelectorAll('#all-table th')[i].click())"
    names = js(f"{column}(1)")
    checks.expect(names == sorted(names, key=str.lower), f"by computer at first: {names}")
    js(f"{header}(1)")
    names = js(f"{column}(1)")
    checks.expect(names == sorted(names, key=str.lower, reverse=True), f"a click on Computer turns the order: {names}")
    js(f"{header}(8)")
    runs = [int(n) for n in js(f"{column}(8)")]
    checks.expect(runs == sorted(runs) and runs[-1] == 2, f"runs sorted as numbers: {runs}")

    def filtered(text):
        js(f"(f => {{ f.value = {json.dumps(text)}; f.dispatchEvent(new Event('input')); }})"
           "(document.getElementById('filter'))")
        return js(f"{column}(1)"), js("document.getElementById('shown').textContent"), \
            js("document.getElementById('none').hidden")

    shown = filtered("ws0")
    checks.expect(len(shown[0]) == 7 and shown[1] == "7 of 8 shown", f"filter by part of a name: {shown}")
    shown = filtered("access  DENIED")
    checks.expect(shown[0] == ["WS02"], f"filter by words of the error, in any case: {shown}")
    shown = filtered("zzz")
    checks.expect(shown[0] == [] and shown[1] == "0 of 8 shown" and shown[2] is False, f"nothing matches: {shown}")
    filtered("")
    errors, requests = browser.errors(), browser.requests()
    checks.expect(errors == [], f"no console error: {errors}")
    checks.expect(requests == ["file://" + os.path.abspath(page)], f"nothing fetched: {requests}")
    browser.screenshot(shot)


def main():
    args = parse_args()
    checks = Checks()
    d = ProgramDir(args.exe, {"computers.txt": "WS01\r\nWS07\r\n# the new one\r\n"})
    try:
        for name, lines in logs().items():
            d.write(os.path.join("logs", name), "\r\n".join(lines).encode("cp1252") + b"\r\n")
        code, output = report(d.path)
        checks.expect(code == 0 and "Report written to " in output, f"the page is written: {code} {output}")
        checks.expect("Unreadable blocks: 1 (" in output, f"the unreadable block is named: {output}")
        shot = os.path.join(args.build_dir, "browser", "report.png")
        os.makedirs(os.path.dirname(shot), exist_ok=True)
        with cdp.Browser() as browser:
            check_page(checks, browser, os.path.join(d.path, "vantorel-report.html"), shot)

        code, _ = report(d.path, "--format", "json", "--out", "r.json")
        with open(os.path.join(d.path, "r.json"), encoding="utf-8") as f:
            data = json.load(f)
        checks.expect(code == 0 and data["format_version"] == 1, f"JSON with its version: {code}")
        checks.expect(data["counts"] == {"workstations": 8, "failed": 3, "not_updated": 1, "not_seen": 2,
                                         "planned_only": 1, "succeeded": 1}, f"JSON counts: {data['counts']}")
        checks.expect(sum(day["failed"] for day in data["days"]) == 4, f"JSON days: {data['days']}")
        code, _ = report(d.path, "--format", "csv", "--out", "r.csv")
        with open(os.path.join(d.path, "r.csv"), encoding="utf-8-sig", newline="") as f:
            table = {row["computer"]: row for row in csv.DictReader(f)}
        checks.expect(code == 0 and table[HOSTILE]["error"] == "<img src=x onerror=window.__pwned=4>",
                      f"CSV keeps the text: {table.get(HOSTILE)}")
        checks.expect((table["WS07"]["state"], table["WS06"]["state"], table["WS06"]["outcome"])
                      == ("not_seen", "not_seen", "succeeded"), f"CSV states: {table.get('WS06')}")
    finally:
        d.cleanup()
    check_russian(checks, args)
    checks.finish()


if __name__ == "__main__":
    main()
