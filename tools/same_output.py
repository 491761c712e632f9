#!/usr/bin/env python3
"""Helper of tools/same-output.sh: writes the demo's record and compares two
recordings (a directory holding e2e/<test>.txt, tests.txt and demo.txt).

  same_output.py demo-record RUN_DIR EXIT_CODE TIMED_OUT RAW_OUTPUT RECORD
  same_output.py compare BASE_DIR CURRENT_DIR [LABEL_BASE LABEL_CURRENT]

compare prints what differs and exits 0 when nothing does, 1 otherwise.
"""
import difflib
import os
import re
import sys

# Tests whose records are not compared, with the reason. None so far: every
# e2e test printed the same in repeated runs once the harness had replaced
# temporary directories, GUIDs and machine names.
EXCLUDED = {}

DIFF_LINES_PER_TEST = 40  # a longer diff is cut, saying how much was left out
TESTS_SHOWN = 10  # differing tests shown with their diff; the rest by name


def record_file_name(test):
    """The record's file name, as the harness makes it from the test's name."""
    return re.sub(r'[\\/:*?"<>|]', "_", test) + ".txt"


def demo_record(run_dir, exit_code, timed_out, raw_path, record_path):
    with open(raw_path, "rb") as f:
        output = f.read()
    # The demo's directory shows in the launched application's lines; it is
    # the tool's, not the program's doing.
    unix = os.path.abspath(run_dir)
    for form in ("Z:" + unix.replace("/", "\\"), unix):
        output = re.sub(re.escape(form.encode()), b"<DEMO>", output, flags=re.IGNORECASE)
    record = b"== demo: vantorel.exe demo.ini\r\nexit code %s, timed out: %s\r\n" % (
        exit_code.encode(), b"yes" if timed_out == "1" else b"no")
    record += output
    if output and not output.endswith(b"\n"):
        record += b"\r\n== end of the demo (the output has no line break at its end)\r\n"
    else:
        record += b"== end of the demo\r\n"
    with open(record_path, "wb") as f:
        f.write(record)


def render(data):
    """Lines for reading: CR LF ends are dropped, a bare LF end shows as "\\n",
    other control characters and bytes above 126 as \\xNN escapes."""
    lines = []
    pieces = data.split(b"\n")
    for i, piece in enumerate(pieces):
        last = i == len(pieces) - 1
        if last and not piece:
            break
        suffix = ""
        if piece.endswith(b"\r"):
            piece = piece[:-1]
        elif not last:
            suffix = "\\n"
        text = "".join(chr(b) if 32 <= b < 127 or b == 9 else "\\x%02x" % b for b in piece)
        lines.append(text + suffix)
    return lines


def read(path):
    try:
        with open(path, "rb") as f:
            return f.read()
    except FileNotFoundError:
        return None


def test_names(recording):
    """The e2e tests the recording ran (tests.txt), else those with a record."""
    listed = read(os.path.join(recording, "tests.txt"))
    if listed is not None:
        return {line.strip() for line in listed.decode().splitlines() if line.strip()}
    e2e = os.path.join(recording, "e2e")
    return {name[:-4] for name in os.listdir(e2e) if name.endswith(".txt")} if os.path.isdir(e2e) else set()


def diff_text(name, base, current, label_base, label_current):
    if base is None:
        base = b""
    if current is None:
        current = b""
    lines = list(difflib.unified_diff(render(base), render(current), "%s/%s" % (label_base, name),
                                      "%s/%s" % (label_current, name), lineterm=""))
    if not lines:
        return ["   (the records differ in bytes that render alike)"]
    if len(lines) > DIFF_LINES_PER_TEST:
        left = len(lines) - DIFF_LINES_PER_TEST
        lines = lines[:DIFF_LINES_PER_TEST] + ["... (%d more diff lines)" % left]
    return ["   " + line for line in lines]


def compare(base_dir, current_dir, label_base="base", label_current="current"):
    base_tests = test_names(base_dir)
    current_tests = test_names(current_dir)
    differing = []
    compared = 0
    for test in sorted(base_tests & current_tests):
        if test in EXCLUDED:
            continue
        file_name = record_file_name(test)
        base = read(os.path.join(base_dir, "e2e", file_name))
        current = read(os.path.join(current_dir, "e2e", file_name))
        if base is None and current is None:
            continue  # the test does not run the program
        compared += 1
        if base != current:
            differing.append((test, base, current))

    out = []
    for test, base, current in differing[:TESTS_SHOWN]:
        if base is None:
            out.append("DIFFERS %s: runs the program only in %s" % (test, label_current))
        elif current is None:
            out.append("DIFFERS %s: runs the program only in %s" % (test, label_base))
        else:
            out.append("DIFFERS %s" % test)
        out += diff_text(record_file_name(test), base, current, label_base, label_current)
    for test, _, _ in differing[TESTS_SHOWN:]:
        out.append("DIFFERS %s (diff not shown)" % test)

    demo_base = read(os.path.join(base_dir, "demo.txt"))
    demo_current = read(os.path.join(current_dir, "demo.txt"))
    demo_differs = demo_base != demo_current
    if demo_differs:
        out.append("DIFFERS demo")
        out += diff_text("demo.txt", demo_base, demo_current, label_base, label_current)

    for test in sorted(current_tests - base_tests):
        out.append("new test (not compared): %s" % test)
    for test in sorted(base_tests - current_tests):
        out.append("removed test (not compared): %s" % test)
    for test in sorted(EXCLUDED):
        out.append("excluded: %s (%s)" % (test, EXCLUDED[test]))
    out.append("e2e: %d tests that run the program compared, %d differ; demo: %s"
               % (compared, len(differing), "differs" if demo_differs else "same"))
    print("\n".join(out))
    return 1 if differing or demo_differs else 0


def main(argv):
    if len(argv) == 7 and argv[1] == "demo-record":
        demo_record(*argv[2:])
        return 0
    if len(argv) in (4, 6) and argv[1] == "compare":
        return compare(*argv[2:])
    sys.stderr.write(__doc__)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
