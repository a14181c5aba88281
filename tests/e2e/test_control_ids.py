"""The ids control_ids.py reads from the headers are those the compiler
sees: each one is checked by a static_assert that the Win32 compiler of the
architecture under test must pass, with the headers included as the
bootstrapper includes them."""
import os
import subprocess
import tempfile
import unittest

import control_ids

COMPILER = {"x86": "i686-w64-mingw32-g++", "x64": "x86_64-w64-mingw32-g++"}[os.environ.get("KORVELT_ARCH", "x86")]


class ControlIdsTest(unittest.TestCase):
    # Every header named yields ids: one whose definitions the reader no
    # longer recognises would leave its names out.
    def test_each_header_defines_ids(self):
        for header in control_ids.HEADERS:
            with self.subTest(header=header):
                self.assertTrue(control_ids.read((header,)))

    # The compiler agrees with every id read, Windows' own IDCANCEL included.
    def test_compiler_sees_the_same_ids(self):
        ids = dict(control_ids.read(), IDCANCEL=control_ids.IDCANCEL)
        lines = ['#include "%s"' % header for header in control_ids.HEADERS] + ["using namespace korvelt;"]
        lines += ['static_assert({0} == {1}, "{0} is not {1}");'.format(name, value) for name, value in ids.items()]
        with tempfile.TemporaryDirectory(prefix="korvelt-ids-") as folder:
            source = os.path.join(folder, "ids.cpp")
            with open(source, "w") as out:
                out.write("\n".join(lines) + "\n")
            result = subprocess.run([COMPILER, "-std=c++20", "-fsyntax-only", "-I", control_ids.SOURCE, source],
                                    stdout=subprocess.PIPE, stderr=subprocess.STDOUT, universal_newlines=True)
        self.assertEqual(result.returncode, 0, result.stdout)
        print("%d ids checked against %s" % (len(ids), COMPILER))


if __name__ == "__main__":
    unittest.main()
