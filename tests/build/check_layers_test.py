#!/usr/bin/env python3
"""scripts/check-layers.py on a small tree with one fault of each kind."""

import os
import subprocess
import sys
import tempfile
import unittest

SCRIPT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts",
                      "check-layers.py")

CMAKE = {
    "src/engine": "qly_library(qly_engine SOURCES xbase.cpp PUBLIC_HEADERS xbase.h)",
    "src/data": "qly_library(qly_data SOURCES DbTable.cpp PUBLIC_HEADERS DbTable.h)",
}

FILES = {
    "src/base/Result.h": "#pragma once\n#include <string>\n#include <unistd.h>\n",
    "src/base/Bad.cpp": '#include "base/Result.h"\n#include <QString>\n',
    "src/engine/xbase.h": '#pragma once\n#include "base/Result.h"\n',
    "src/engine/Table.h": "#pragma once\n",
    "src/engine/xbase.cpp": '#include "engine/xbase.h"\n#include "engine/Table.h"\n',
    "src/data/DbTable.h": "#pragma once\n#include <QString>\n",
    "src/data/DbTable.cpp": '#include "data/DbTable.h"\n#include "engine/xbase.h"\n',
    "src/data/Private.h": "#pragma once\n",
    "src/data/Gui.cpp": "#include <QWidget>\n",
    "src/widgets/Grid.cpp": '#include "data/DbTable.h"\n#include "engine/xbase.h"\n',
    "src/widgets/Form.cpp": '#include "data/Private.h"\n#include "ui_Form.h"\n',
    "src/cli/Dump.cpp": '#include "engine/xbase.h"\n#include "engine/Table.h"\n'
                        '#include "data/DbTable.h"\n',
    "src/settings/Store.cpp": "#include <zlib.h>\n",
    "tests/engine/TableTest.cpp": '#include "engine/Table.h"\n#include <gtest/gtest.h>\n',
    "tests/widgets/GridTest.cpp": '#include "data/Private.h"\n',
}


class CheckLayers(unittest.TestCase):
    def run_on(self, files):
        with tempfile.TemporaryDirectory() as root:
            for folder, text in CMAKE.items():
                os.makedirs(os.path.join(root, folder), exist_ok=True)
                with open(os.path.join(root, folder, "CMakeLists.txt"), "w") as f:
                    f.write(text + "\n")
            for path, text in files.items():
                os.makedirs(os.path.dirname(os.path.join(root, path)), exist_ok=True)
                with open(os.path.join(root, path), "w") as f:
                    f.write(text)
            r = subprocess.run([sys.executable, SCRIPT, "--includes-only", root],
                               capture_output=True, text=True)
            return r.returncode, r.stdout

    def test_each_crossing_is_named_with_file_and_line(self):
        code, out = self.run_on(FILES)
        self.assertEqual(code, 1, out)
        expected = [
            "src/base/Bad.cpp:2: includes <QString>: no Qt below data/",
            'src/widgets/Grid.cpp:2: includes "engine/xbase.h": widgets may not use engine',
            'src/widgets/Form.cpp:1: includes "data/Private.h", a private header of data',
            'src/cli/Dump.cpp:2: includes "engine/Table.h", a private header of engine',
            "src/settings/Store.cpp:1: includes <zlib.h>: zlib",
            'tests/widgets/GridTest.cpp:1: includes "data/Private.h", a private header of data',
        ]
        for line in expected:
            self.assertIn(line, out)
        if "QtWidgets" in out or os.path.isdir("/usr/include/x86_64-linux-gnu/qt6/QtWidgets"):
            self.assertIn("src/data/Gui.cpp:1: includes <QWidget> (QtWidgets)", out)

    def test_allowed_includes_pass(self):
        code, out = self.run_on(FILES)
        for path in ("src/engine/xbase.cpp", "src/data/DbTable.cpp", "src/data/DbTable.h",
                     "tests/engine/TableTest.cpp", "src/base/Result.h", "src/engine/xbase.h"):
            self.assertNotIn(path + ":", out)
        self.assertNotIn("src/cli/Dump.cpp:1:", out)  # the engine's public header
        self.assertNotIn("src/cli/Dump.cpp:3:", out)
        self.assertNotIn("src/widgets/Grid.cpp:1:", out)

    def test_a_clean_tree_passes(self):
        clean = {k: v for k, v in FILES.items()
                 if k in ("src/base/Result.h", "src/engine/xbase.h", "src/engine/xbase.cpp",
                          "src/engine/Table.h", "src/data/DbTable.h", "src/data/DbTable.cpp")}
        code, out = self.run_on(clean)
        self.assertEqual((code, out.strip()), (0, "check-layers: every include keeps to its layer"))


if __name__ == "__main__":
    unittest.main()
