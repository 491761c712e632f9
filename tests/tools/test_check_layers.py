#!/usr/bin/env python3
"""tools/check-layers.py on small made-up source trees: each way an include can
point up, or a module can hide from the check, makes it fail."""
import contextlib
import importlib.util
import io
import os
import sys
import tempfile
import unittest

sys.dont_write_bytecode = True  # no cache in the source tree
TOOL = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools", "check-layers.py")
found = importlib.util.spec_from_file_location("check_layers", TOOL)
check_layers = importlib.util.module_from_spec(found)
found.loader.exec_module(check_layers)

GOOD = {
    "core/paths.h": "#pragma once\n",
    "core/paths.cpp": '#include "core/paths.h"\n',
    "script/expand.h": '#include "core/paths.h"\n',
    "run/main_flow.cpp": '#include "script/expand.h"\n#include <windows.h>\n#include <string>\n',
}


class Layers(unittest.TestCase):
    def run_check(self, files, deps=None):
        with tempfile.TemporaryDirectory() as root:
            src = os.path.join(root, "src")
            os.makedirs(src)
            for name, text in files.items():
                path = os.path.join(src, name)
                os.makedirs(os.path.dirname(path), exist_ok=True)
                with open(path, "w") as f:
                    f.write(text)
            args = [src]
            if deps is not None:
                build = os.path.join(root, "build")
                os.makedirs(build)
                for i, (unit, listed) in enumerate(deps.items()):
                    with open(os.path.join(build, f"u{i}.cpp.obj.d"), "w") as f:
                        paths = " \\\n ".join(os.path.join(src, p) for p in [unit] + listed)
                        f.write(f"u{i}.obj: {paths}\n")
                args += ["--deps", build]
            out = io.StringIO()
            with contextlib.redirect_stdout(out):
                code = check_layers.main(args)
            return code, out.getvalue()

    def assertFails(self, files, says, deps=None):
        code, out = self.run_check(files, deps)
        self.assertEqual(code, 1, out)
        self.assertIn(says, out)

    def test_a_tree_that_keeps_the_layers_passes(self):
        code, out = self.run_check(GOOD)
        self.assertEqual(code, 0, out)
        self.assertIn("3 modules, 2 includes", out)

    def test_an_include_pointing_up_fails_in_every_form(self):
        for form in ('"run/main_flow.h"', "<run/main_flow.h>", '"../run/main_flow.h"', '< run/main_flow.h >'):
            with self.subTest(form=form):
                files = dict(GOOD, **{"run/main_flow.h": "", "core/paths.cpp": f"#include {form}\n"})
                self.assertFails(files, "core/ must not include run/main_flow.h")

    def test_a_layer_beside_its_own_rank_is_no_layer_below(self):
        files = dict(GOOD, **{"engine/engine.h": '#include "script/expand.h"\n'})
        self.assertFails(files, "engine/ must not include script/expand.h")

    def test_modules_that_include_each_other_fail(self):
        files = dict(GOOD, **{"core/a.h": '#include "core/b.h"\n', "core/b.h": '#include "a.h"\n'})
        self.assertFails(files, "modules include each other: core/a -> core/b -> core/a")

    def test_hidden_modules_unknown_folders_and_an_empty_tree_fail(self):
        self.assertFails(dict(GOOD, **{"core/deep/x.h": ""}), "a folder inside layer core/")
        self.assertFails(dict(GOOD, **{"util/x.h": ""}), "folder util/ is no layer")
        self.assertFails(dict(GOOD, **{"stray.cpp": ""}), "a source file outside every layer")
        self.assertFails({"README.txt": ""}, "no module found in any layer")

    def test_the_compilers_dependencies_catch_what_the_text_hides(self):
        # A macro include: only the compiler knows the file it named.
        files = dict(GOOD, **{"run/main_flow.h": "", "core/paths.cpp": "#include HIDDEN\n"})
        code, out = self.run_check(files, deps={"core/paths.cpp": ["core/paths.h"]})
        self.assertEqual(code, 0, out)
        self.assertFails(files, "core/ must not include run/main_flow.h",
                         deps={"core/paths.cpp": ["core/paths.h", "run/main_flow.h"]})
        self.assertFails(files, "no dependency file", deps={})


if __name__ == "__main__":
    unittest.main()
