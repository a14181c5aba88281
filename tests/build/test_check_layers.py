#!/usr/bin/env python3
"""The layering check on copies of the source tree, each with one include
planted: the ones that point up, sideways or into testing/ are reported by
file and line and fail the check; the ones the rule allows pass it."""

import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.normpath(os.path.join(HERE, "..", ".."))
CHECK = os.path.join(HERE, "check_layers.py")
sys.dont_write_bytecode = True
sys.path.insert(0, HERE)
import check_layers  # noqa: E402

# File planted, the include it holds, whether the check passes.
CASES = [
    ("payload/planted.cpp", "download/worker.h", False),
    ("base/planted.h", "platform/files.h", False),
    ("ui/planted_win.cpp", "prereq/config.h", False),
    ("prereq/planted.cpp", "payload/format.h", False),
    ("download/planted.cpp", "install/installer.h", False),
    ("install/planted.cpp", "wizard/sheet_win.h", False),
    ("tools/pack/planted.cpp", "ui/layout.h", False),
    ("tools/pack/planted.cpp", "download/worker.h", False),
    ("prereq/planted.cpp", "resources/resource_ids.h", False),
    ("app/planted.cpp", "testing/fake_files.h", False),
    ("app/planted_win.cpp", "testing/win32/scratch_folder.h", False),
    ("payload/planted_test.cpp", "testing/fake_files.h", True),
    ("wizard/planted.cpp", "install/installer.h", True),
    ("install/planted.cpp", "download/worker.h", True),
    ("download/planted.cpp", "payload/archive.h", True),
    ("ui/planted_win.cpp", "resources/resource_ids.h", True),
    ("tools/pack/planted.cpp", "prereq/config.h", True),
    ("base/planted.cpp", "base/string.h", True),
    ("payload/planted.cpp", "planted.h", True),
]


def copy_tree(into):
    for folder in check_layers.MAY_INCLUDE:
        source = os.path.join(ROOT, folder)
        if os.path.isdir(source):
            shutil.copytree(source, os.path.join(into, folder))


def run_check(root):
    done = subprocess.run([sys.executable, CHECK, root], capture_output=True, text=True)
    return done.returncode, done.stdout + done.stderr


def main():
    failures = []
    with tempfile.TemporaryDirectory() as work:
        status, output = run_check(ROOT)
        if status != 0:
            failures.append(f"the tree itself fails the check:\n{output}")
        for number, (path, included, passes) in enumerate(CASES):
            root = os.path.join(work, str(number))
            copy_tree(root)
            planted = os.path.join(root, path)
            os.makedirs(os.path.dirname(planted), exist_ok=True)
            with open(planted, "w") as out:
                out.write(f'// planted\n#include "{included}"\n')
            status, output = run_check(root)
            reported = f"{path}:2 -> " in output
            if (status == 0) != passes or reported == passes:
                failures.append(f"{path} including {included}: status {status}, expected the check to "
                                f"{'pass' if passes else 'fail and report it'}; said:\n{output}")

    for failure in failures:
        print("FAILED:", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
