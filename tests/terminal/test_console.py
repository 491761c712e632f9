"""The program in a real terminal: the status box at column 45, its colours,
the error block and the key wait."""
import os
import shutil
import time

from termlib import Checks, Pane, ProgramDir, parse_args, wine_env

ESC = "\x1b"


def box_at_45(line, status):
    return line[44:45 + len(status) + 1] == "[" + status + "]"


def main():
    args = parse_args()
    probe = os.path.join(args.build_dir, "fixtures", "launch_probe.exe")
    checks = Checks()

    # A launch that works: the box follows on the same line, in light green.
    good = ProgramDir(args.exe, {"x.ini": "[Options]\r\nRun=launch_probe.exe\r\nRunFlags=wine\r\n"})
    shutil.copy(probe, os.path.join(good.path, "launch_probe.exe"))
    pane = Pane("wine vantorel.exe x.ini", wine_env(), good.path)
    try:
        screen = pane.wait_for("[exit ")
        lines = screen.splitlines()
        checks.expect(lines[0] == "Vantorel & Updater 1.5", f"the banner is the first row: {lines[:2]}")
        loading = [l for l in lines if l.startswith("=> Loading launch_probe.exe...")]
        checks.expect(loading and box_at_45(loading[0], "  OK  "), f"OK box at column 45: {loading}")
        checks.expect("[exit 0]" in screen, "exit code 0 after a launch")
        colored = pane.screen(escapes=True)
        checks.expect(ESC + "[92m  OK  " in colored, "the OK status is light green (attribute 10)")
    finally:
        pane.close()
        good.cleanup()

    # A failure: red box, white error line, and a wait for a key.
    name44 = "a" * 26 + ".exe"   # "=> Loading " + name + "..." is 44 characters
    name45 = "b" * 27 + ".exe"   # 45 characters: the box goes to the next row
    bad = ProgramDir(args.exe, {
        "x.ini": f"[Options]\r\nRun={name44}\r\nRunFlags=wine\r\n",
        "y.ini": f"[Options]\r\nRun={name45}\r\nRunFlags=wine\r\n",
    })
    pane = Pane("wine vantorel.exe x.ini", wine_env(), bad.path)
    try:
        screen = pane.wait_for("Press any key to continue...")
        lines = screen.splitlines()
        at = next((i for i, l in enumerate(lines) if l.startswith("=> Loading " + name44)), None)
        checks.expect(at is not None, "the failing step line is shown")
        if at is not None:
            line = lines[at]
            checks.expect(line == f"=> Loading {name44}...[ FAILED ]",
                          f"a 44-character text is followed directly by the box: {line!r}")
            checks.expect(lines[at + 1] == "", "an empty line follows the box")
            checks.expect(lines[at + 2] == "ERROR: System Error.  Code: 2.", f"error line: {lines[at + 2]!r}")
            checks.expect(lines[at + 3].strip() != "", "the system's text follows")
            checks.expect(lines[at + 4] == "", "an empty line before the prompt")
            checks.expect(lines[at + 5].startswith("Press any key to continue..."), "the prompt")
        colored = pane.screen(escapes=True)
        checks.expect(ESC + "[91m FAILED " in colored, "the FAILED status is light red (attribute 12)")
        checks.expect(ESC + "[97mERROR: System Error." in colored, "the error line is white (attribute 15)")
        time.sleep(1.5)
        checks.expect("[exit " not in pane.screen(), "the program waits for a key")
        pane.send("x")
        screen = pane.wait_for("[exit ")
        checks.expect("[exit 2]" in screen, "exit code 2 after the key")
    finally:
        pane.close()

    pane = Pane("wine vantorel.exe y.ini", wine_env(), bad.path)
    try:
        screen = pane.wait_for("Press any key to continue...")
        lines = screen.splitlines()
        at = next((i for i, l in enumerate(lines) if l.startswith("=> Loading " + name45)), None)
        checks.expect(at is not None and lines[at] == f"=> Loading {name45}...",
                      "a 45-character text keeps its line")
        if at is not None:
            checks.expect(box_at_45(lines[at + 1], " FAILED ") and lines[at + 1][:44].strip() == "",
                          f"its box stands at column 45 of the next row: {lines[at + 1]!r}")
        pane.send("Enter")
        checks.expect("[exit 2]" in pane.wait_for("[exit "), "Enter ends the wait too")
    finally:
        pane.close()
        bad.cleanup()

    checks.finish()


if __name__ == "__main__":
    main()
