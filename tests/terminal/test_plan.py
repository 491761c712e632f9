"""A plan in a real terminal, read as a person would: the CHANGE box at column
45 in light yellow with its reason below, a failing step in red with its error
below and no wait for a key, and the summary as the last line."""
from termlib import Checks, Pane, ProgramDir, parse_args, wine_env

ESC = "\x1b"


def main():
    args = parse_args()
    checks = Checks()
    d = ProgramDir(args.exe, {
        "x.ini": "[Insert]\r\nDir1=data\r\nText1=data\\notes.txt\r\nText1Str1Prefix=A=\r\nText1Str1Full=A=1\r\n"
                 "[Delete]\r\nDir1=full\r\n",
        "full/keep.txt": "k",
    })
    pane = Pane("wine vantorel.exe --plan x.ini", wine_env(), d.path)
    try:
        screen = pane.wait_for("[exit ")
        lines = screen.splitlines()
        data = next((l for l in lines if l.startswith("    -> data...")), "")
        checks.expect(data[44:52] == "[CHANGE]", f"CHANGE box at column 45: {data!r}")
        at = lines.index(data) if data in lines else -1
        checks.expect(at >= 0 and lines[at + 1] == "          missing", f"the reason below: {lines[at:at + 2]}")
        value = next((l for l in lines if l.startswith('       value "A="')), "")
        checks.expect(value[44:52] == "[CHANGE]", f"the new file's line would be added: {value!r}")
        full = next((l for l in lines if l.startswith("    -> full...")), "")
        checks.expect(full[44:54] == "[ FAILED ]", f"the failing step: {full!r}")
        checks.expect("Press any key" not in screen, "a plan does not wait for a key")
        summary = [l for l in lines if l.startswith("Plan: ")]
        checks.expect(summary == ["Plan: 1 directory, 1 text line would change; 1 step would fail."],
                      f"the summary: {summary}")
        checks.expect("[exit 2]" in screen, "exit code 2 when a step would fail")
        colored = pane.screen(escapes=True)
        checks.expect(ESC + "[93mCHANGE" in colored, "CHANGE is light yellow (attribute 14)")
        checks.expect(ESC + "[91m FAILED " in colored, "FAILED is light red")
        checks.expect(not d.exists("data"), "nothing was created")
    finally:
        pane.close()
        d.cleanup()
    checks.finish()


if __name__ == "__main__":
    main()
