"""The "WinHeader" option as the window title of a real terminal: constants
expanded, non-ASCII text shown right on the NT family."""
import subprocess

from termlib import Checks, Pane, ProgramDir, parse_args, wine_env


def pane_title(pane):
    return subprocess.run(["tmux", "display-message", "-p", "-t", pane.name, "#{pane_title}"],
                          check=True, capture_output=True, text=True).stdout.rstrip("\n")


def main():
    args = parse_args()
    checks = Checks()
    # The launch fails, so the program waits for a key with its title still set.
    script = ("[Options]\r\nWinHeader=Acme %ver% Gr\xfc\xdfe [%none%]\r\nRun=missing.exe\r\nRunFlags=wine\r\n"
              "[Constants]\r\nver=<Ini>%srcdir%\\v.ini;App;Version;0</Ini>\r\n")
    pdir = ProgramDir(args.exe, {"x.ini": script, "v.ini": "[App]\r\nVersion=2.5\r\n"})
    pane = Pane("wine vantorel.exe x.ini", wine_env(), pdir.path)
    try:
        pane.wait_for("Press any key to continue...")
        title = pane_title(pane)
        checks.expect(title == "Acme 2.5 Gr\u00fc\u00dfe [%none%]", f"title from WinHeader: {title!r}")
        pane.send("k")
        pane.wait_for("[exit ")
    finally:
        pane.close()
        pdir.cleanup()

    # Without WinHeader the program's own title stays.
    pdir = ProgramDir(args.exe, {"x.ini": "[Options]\r\nRun=missing.exe\r\nRunFlags=wine\r\n"})
    pane = Pane("wine vantorel.exe x.ini", wine_env(), pdir.path)
    try:
        pane.wait_for("Press any key to continue...")
        title = pane_title(pane)
        checks.expect(title == "Vantorel", f"default title: {title!r}")
        pane.send("k")
        pane.wait_for("[exit ")
    finally:
        pane.close()
        pdir.cleanup()
    checks.finish()


if __name__ == "__main__":
    main()
