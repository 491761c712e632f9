#!/usr/bin/env python3
"""The comparison and the demo record of tools/same_output.py, on made-up
recordings."""
import contextlib
import io
import os
import sys
import tempfile
import unittest

sys.dont_write_bytecode = True  # no cache in the source tree
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))
import same_output  # noqa: E402


def make_recording(root, tests, records, demo=b"demo\r\n"):
    os.makedirs(os.path.join(root, "e2e"))
    with open(os.path.join(root, "tests.txt"), "w") as f:
        f.write("".join(t + "\n" for t in tests))
    for test, data in records.items():
        with open(os.path.join(root, "e2e", same_output.record_file_name(test)), "wb") as f:
            f.write(data)
    with open(os.path.join(root, "demo.txt"), "wb") as f:
        f.write(demo)
    return root


class Compare(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.base = make_recording(os.path.join(self.tmp.name, "base"), ["A.one", "A.two", "A.gone", "P/A.p/0"],
                                   {"A.one": b"x\r\n", "A.two": b"y\r\n", "P/A.p/0": b"p\r\n"})

    def tearDown(self):
        self.tmp.cleanup()

    def compare(self, *args, **kwargs):
        current = make_recording(os.path.join(self.tmp.name, "current"), *args, **kwargs)
        out = io.StringIO()
        with contextlib.redirect_stdout(out):
            code = same_output.compare(self.base, current)
        return code, out.getvalue()

    def test_new_and_removed_tests_are_listed_but_do_not_count(self):
        code, out = self.compare(["A.one", "A.two", "A.new", "P/A.p/0"],
                                 {"A.one": b"x\r\n", "A.two": b"y\r\n", "A.new": b"n\r\n", "P/A.p/0": b"p\r\n"})
        self.assertEqual(code, 0, out)
        self.assertIn("new test (not compared): A.new", out)
        self.assertIn("removed test (not compared): A.gone", out)
        self.assertIn("3 tests that run the program compared, 0 differ; demo: same", out)

    def test_a_changed_record_a_lost_run_and_the_demo_each_differ(self):
        code, out = self.compare(["A.one", "A.two", "A.gone", "P/A.p/0"],
                                 {"A.one": b"x\n", "P/A.p/0": b"p\r\n"}, demo=b"demo!\r\n")
        self.assertEqual(code, 1)
        self.assertIn("DIFFERS A.one\n", out)
        self.assertIn("   -x\n   +x\\n\n", out)  # only the line end changed
        self.assertIn("DIFFERS A.two: runs the program only in base", out)
        self.assertIn("DIFFERS demo\n", out)
        self.assertIn("   +demo!\n", out)

    def test_long_diffs_and_many_differing_tests_are_cut(self):
        many = ["T.%02d" % i for i in range(same_output.TESTS_SHOWN + 2)]
        self.base = make_recording(os.path.join(self.tmp.name, "base2"), many,
                                   {t: b"".join(b"%d\r\n" % i for i in range(100)) for t in many})
        code, out = self.compare(many, {t: b"".join(b"%d!\r\n" % i for i in range(100)) for t in many})
        self.assertEqual(code, 1)
        self.assertEqual(out.count("more diff lines)"), same_output.TESTS_SHOWN)
        self.assertIn("DIFFERS T.%02d (diff not shown)" % (len(many) - 1), out)


class Records(unittest.TestCase):
    def test_render_shows_what_the_eye_would_miss(self):
        self.assertEqual(same_output.render(b"a\r\nb\nc\x8e\x07\td\r\n"), ["a", "b\\n", "c\\x8e\\x07\td"])
        self.assertEqual(same_output.render(b"no end"), ["no end"])

    def test_demo_record_hides_the_run_directory_in_both_forms(self):
        with tempfile.TemporaryDirectory() as tmp:
            run = os.path.join(tmp, "demo-run")
            raw = os.path.join(tmp, "raw.txt")
            with open(raw, "wb") as f:
                f.write(("dir Z:%s\\app\r\nunix %s/app" % (run.replace("/", "\\").upper(), run)).encode())
            record = os.path.join(tmp, "demo.txt")
            same_output.demo_record(run, "2", "1", raw, record)
            with open(record, "rb") as f:
                self.assertEqual(f.read(), b"== demo: vantorel.exe demo.ini\r\nexit code 2, timed out: yes\r\n"
                                           b"dir <DEMO>\\app\r\nunix <DEMO>/app\r\n"
                                           b"== end of the demo (the output has no line break at its end)\r\n")


if __name__ == "__main__":
    unittest.main()
