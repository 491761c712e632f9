"""--plan --format json, read as a program reads it: standard output holds one
JSON document and nothing else, with the changes in order, their before and
after, and the failures with their errors; diagnostics go to standard error;
the run log still gets the plan's lines; the exit code is the plan's."""
import json
import os
import subprocess

from termlib import Checks, ProgramDir, parse_args, wine_env

SCRIPT = ("[Insert]\r\nDir1=data\r\n"
          "Ini1=app.ini\r\nIni1Val1Section=Main\r\nIni1Val1Name=Mode\r\nIni1Val1Value=caf\xe9\r\n"
          "[Update]\r\nFile1=missing.dll\r\n")


def run(d, *args):
    return subprocess.run(["wine", "vantorel.exe", *args], cwd=d.path, env=wine_env(), capture_output=True,
                          timeout=60)


def main():
    args = parse_args()
    checks = Checks()
    d = ProgramDir(args.exe, {"s.ini": SCRIPT})
    try:
        plan = run(d, "--plan", "--format", "json", "--log", "plan.log", "s.ini")
        checks.expect(plan.returncode == 2, f"exit code 2 when a step would fail: {plan.returncode}")
        checks.expect(plan.stderr == b"", f"nothing on standard error: {plan.stderr!r}")
        try:
            doc = json.loads(plan.stdout.decode("utf-8"))
        except ValueError as error:
            doc = {}
            checks.expect(False, f"standard output is one JSON document ({error}): {plan.stdout[:300]!r}")
        checks.expect(doc.get("format_version") == 1, "format_version 1")
        changes = doc.get("changes", [])
        checks.expect([(c["kind"], c["action"]) for c in changes] == [("directory", "create"), ("ini_value", "create")],
                      f"the changes in order: {changes}")
        ini = changes[1] if len(changes) > 1 else {}
        checks.expect(ini.get("after", {}).get("text") == "caf\u00e9", f"texts in UTF-8: {ini}")
        checks.expect(ini.get("before") == {"present": False}, f"the value is not there now: {ini}")
        checks.expect(ini.get("section") == "Main" and ini.get("name") == "Mode", f"section and name: {ini}")
        failures = doc.get("failures", [])
        checks.expect(len(failures) == 1 and "missing.dll" in failures[0].get("error", ""),
                      f"the failure with its error: {failures}")
        checks.expect(doc.get("exit_code") == 2 and doc.get("summary", "").startswith("Plan: "),
                      f"exit code and summary: {doc.get('exit_code')} {doc.get('summary')}")
        with open(os.path.join(d.path, "plan.log"), "rb") as f:
            log = f.read().decode("latin-1")
        checks.expect("    -> data..." in log and "CHANGE" in log, "the run log has the plan's lines")
        checks.expect(not d.exists("data") and not d.exists("app.ini"), "nothing was changed")

        bad_log = run(d, "--plan", "--format", "json", "--log", "Z:\\no\\such\\dir\\x.log", "s.ini")
        checks.expect(b"can't be written" in bad_log.stderr, f"a diagnostic on standard error: {bad_log.stderr!r}")
        checks.expect(bad_log.stdout.lstrip().startswith(b"{") and bad_log.stdout.rstrip().endswith(b"}"),
                      "standard output still holds only the document")

        for wrong in (["--plan", "--format", "xml", "s.ini"], ["--format", "json", "s.ini"], ["--plan", "--format"]):
            result = run(d, *wrong)
            checks.expect(result.returncode == 1, f"{wrong}: exit code 1, not {result.returncode}")
    finally:
        d.cleanup()
    checks.finish()


if __name__ == "__main__":
    main()
