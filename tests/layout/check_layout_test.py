#!/usr/bin/env python3
# SPDX-FileCopyrightText: The Tallimor authors
# SPDX-License-Identifier: GPL-3.0-or-later
"""Tests of scripts/check-layout on small trees made for each case: the wrong-way
include named by file and line, arrows that reach down several layers, test support
kept out of product code, test-only arrows, and faults in the layers file itself."""

import importlib.machinery
import importlib.util
import os
import sys
import tempfile
import unittest

# The script is loaded as a module; no byte code is left beside it in the sources.
sys.dont_write_bytecode = True
HERE = os.path.dirname(os.path.abspath(__file__))
SCRIPT = os.path.join(HERE, "..", "..", "scripts", "check-layout")
_loader = importlib.machinery.SourceFileLoader("check_layout", SCRIPT)
_spec = importlib.util.spec_from_loader("check_layout", _loader)
check_layout = importlib.util.module_from_spec(_spec)
_loader.exec_module(check_layout)

LAYERS = """\
# a comment
store
crypto
protect: store crypto
hotsync/pdb: store
hotsync/manager: hotsync/pdb
hotsync/manager/tests: conduit
conduit: hotsync/pdb   # trailing comment
desktop: protect
"""


class Tree:
    def __init__(self, files, layers=LAYERS):
        self._dir = tempfile.TemporaryDirectory()
        self.root = self._dir.name
        for path, text in files.items():
            full = os.path.join(self.root, path)
            os.makedirs(os.path.dirname(full), exist_ok=True)
            with open(full, "w", encoding="utf-8") as f:
                f.write(text)
        self.layers = os.path.join(self.root, "layers.txt")
        with open(self.layers, "w", encoding="utf-8") as f:
            f.write(layers)

    def faults(self):
        return check_layout.check(self.root, check_layout.read_layers(self.layers))

    def close(self):
        self._dir.cleanup()


class CheckLayout(unittest.TestCase):
    def run_tree(self, files, layers=LAYERS):
        tree = Tree(files, layers)
        self.addCleanup(tree.close)
        return tree.faults()

    def test_downward_and_transitive_includes_pass(self):
        faults = self.run_tree({
            "store/A.h": "#pragma once\n",
            "crypto/B.h": "#pragma once\n",
            "protect/P.cpp": '#include "protect/P.h"\n#include "store/A.h"\n',
            "protect/P.h": "",
            # desktop reaches store and crypto through protect.
            "desktop/D.cpp": '#include "store/A.h"\n#include "crypto/B.h"\n#include <vector>\n',
            # Headers of outside libraries and local names are not the layers' business.
            "conduit/C.cpp": '#include "gtest/gtest.h"\n#include "Local.h"\n',
        })
        self.assertEqual(faults, [])

    def test_wrong_way_include_names_file_and_line(self):
        faults = self.run_tree({
            "store/A.cpp": '// store\n#include "store/A.h"\n  #  include "protect/P.h"\n',
            "store/A.h": "",
            "protect/P.h": "",
            "hotsync/pdb/F.cpp": '#include "hotsync/manager/M.h"\n',
            "hotsync/manager/M.h": "",
            "desktop/D.cpp": '#include "conduit/C.h"\n',
            "conduit/C.h": "",
        })
        self.assertEqual(faults, [
            "desktop/D.cpp:1: desktop includes conduit/C.h, but conduit is not below desktop",
            "hotsync/pdb/F.cpp:1: hotsync/pdb includes hotsync/manager/M.h, but hotsync/manager "
            "is not below hotsync/pdb",
            "store/A.cpp:3: store includes protect/P.h, but protect is not below store",
        ])

    def test_test_support_only_from_tests_and_test_only_arrows(self):
        faults = self.run_tree({
            "store/tests/Bytes.h": "",
            "protect/tests/P_test.cpp": '#include "store/tests/Bytes.h"\n',
            "protect/fuzz/P_fuzz.cpp": '#include "store/tests/Bytes.h"\n',
            "protect/P.cpp": '#include "store/tests/Bytes.h"\n',
            "hotsync/manager/tests/M_test.cpp": '#include "conduit/C.h"\n',
            "hotsync/manager/M.cpp": '#include "conduit/C.h"\n',
            "conduit/C.h": "",
        })
        self.assertEqual(faults, [
            "hotsync/manager/M.cpp:1: hotsync/manager includes conduit/C.h, but conduit is not "
            "below hotsync/manager",
            "protect/P.cpp:1: product code includes test support store/tests/Bytes.h",
        ])

    def test_shared_test_support_reaches_every_folders_tests_only(self):
        layers = LAYERS + "testing/support\n*/tests: testing/support\n"
        faults = self.run_tree({
            "testing/support/TempDir.h": "",
            "store/tests/S_test.cpp": '#include "testing/support/TempDir.h"\n',
            "hotsync/pdb/bench/B.cpp": '#include "testing/support/TempDir.h"\n',
            "desktop/fuzz/D_fuzz.cpp": '#include "testing/support/TempDir.h"\n',
            "store/S.cpp": '#include "testing/support/TempDir.h"\n',
        }, layers)
        self.assertEqual(faults, [
            "store/S.cpp:1: store includes testing/support/TempDir.h, but testing/support is not "
            "below store",
        ])

    def test_folders_outside_the_layers_are_reported(self):
        faults = self.run_tree({
            "newfolder/N.cpp": "int n;\n",
            "store/S.cpp": '#include "newfolder/N.h"\n',
            "build/asan/Generated.cpp": '#include "conduit/C.h"\n',
        })
        self.assertEqual(faults, [
            "newfolder/N.cpp:1: folder is not in the layers file; give it a line there",
            "store/S.cpp:1: includes newfolder/N.h, which is in no folder of the layers file",
        ])

    def test_faulty_layers_files_are_refused(self):
        for layers, words in [
            ("a: b\nb: a\n", "go round"),
            ("a: b\n", "'b', which has no line"),
            ("a\na\n", "named twice"),
        ]:
            with self.subTest(layers=layers):
                with self.assertRaises(check_layout.LayoutError) as caught:
                    self.run_tree({}, layers)
                self.assertIn(words, str(caught.exception))

    def test_exit_status_of_the_program(self):
        tree = Tree({"store/S.cpp": '#include "desktop/D.h"\n', "desktop/D.h": ""})
        self.addCleanup(tree.close)
        self.assertEqual(check_layout.main(["--root", tree.root, "--layers", tree.layers]), 1)
        os.remove(os.path.join(tree.root, "store/S.cpp"))
        self.assertEqual(check_layout.main(["--root", tree.root, "--layers", tree.layers]), 0)
        self.assertEqual(check_layout.main(["--root", tree.root, "--layers", tree.root + "/x"]), 2)


if __name__ == "__main__":
    unittest.main()
