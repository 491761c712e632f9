#!/usr/bin/env python3
"""The script check's finding codes in the program and in the README's table
are the same set, so that every code a check prints is explained."""
import os
import re
import sys
import unittest

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")


class FindingCodes(unittest.TestCase):
    def test_the_readme_explains_every_code_and_only_those(self):
        with open(os.path.join(ROOT, "src", "run", "check_findings.h"), encoding="utf-8") as f:
            enum = f.read().split("enum class TFindingCode", 1)[1].split("};", 1)[0]
        program = {int(n) for n in re.findall(r"=\s*(\d+)\s*,", enum)}
        with open(os.path.join(ROOT, "README.md"), encoding="utf-8") as f:
            readme = {int(n) for n in re.findall(r"^\| VC(\d+) \|", f.read(), re.M)}
        self.assertTrue(program)
        self.assertEqual(sorted(program - readme), [], "codes the README does not explain")
        self.assertEqual(sorted(readme - program), [], "codes in the README the program does not have")


if __name__ == "__main__":
    sys.dont_write_bytecode = True
    unittest.main()
