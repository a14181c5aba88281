#!/usr/bin/env python3
"""Checks that the product's folders include only downward.

    app -> wizard -> install -> download -> ui / prereq / payload -> platform -> base

Each folder may include itself and the folders below it. ui, prereq and
payload stand side by side and include none of one another; download may use
all three. resources/ holds the dialogs' ids, which every folder from ui up
may include. The packer (tools/pack) uses payload, prereq, platform and base
only. No product file includes testing/; unit tests (*_test.cpp) may.

Usage: check_layers.py [ROOT]. Prints each include that breaks the rule as
FILE:LINE -> FOLDER and exits 1; prints nothing and exits 0 when all hold.
"""

import os
import re
import sys

# What each folder may include besides itself.
MAY_INCLUDE = {
    "app": ["wizard", "install", "download", "ui", "prereq", "payload", "resources", "platform", "base"],
    "wizard": ["install", "download", "ui", "prereq", "payload", "resources", "platform", "base"],
    "install": ["download", "ui", "prereq", "payload", "resources", "platform", "base"],
    "download": ["ui", "prereq", "payload", "resources", "platform", "base"],
    "ui": ["resources", "platform", "base"],
    "prereq": ["platform", "base"],
    "payload": ["platform", "base"],
    "resources": [],
    "platform": ["base"],
    "base": [],
    "tools/pack": ["payload", "prereq", "platform", "base"],
}
# Folders that hold no product code: only the testing rule reaches them.
OTHER_FOLDERS = ["testing", "tests", "bench", "fuzz", "examples"]

INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"')
SOURCE_SUFFIXES = (".cpp", ".h", ".c", ".rc", ".rc2")


def folder_of(path):
    """The product or other folder a repository path lies in, or None."""
    for folder in sorted(list(MAY_INCLUDE) + OTHER_FOLDERS, key=len, reverse=True):
        if path == folder or path.startswith(folder + "/"):
            return folder
    return None


def source_files(root, folder):
    top = os.path.join(root, folder)
    for directory, _, names in os.walk(top):
        for name in sorted(names):
            if name.endswith(SOURCE_SUFFIXES):
                yield os.path.relpath(os.path.join(directory, name), root).replace(os.sep, "/")


def offences(root):
    """Yields (file, line, folder, included, why) for every include that breaks the rule."""
    for folder in MAY_INCLUDE:
        for path in source_files(root, folder):
            is_test = path.endswith("_test.cpp")
            with open(os.path.join(root, path), encoding="latin-1") as source:
                for number, text in enumerate(source, 1):
                    match = INCLUDE.match(text)
                    if not match or "/" not in match.group(1):
                        continue  # a system header, or one beside the file
                    included = match.group(1)
                    target = folder_of(included)
                    if target == folder:
                        continue
                    if target == "testing":
                        if not is_test:
                            yield path, number, target, included, "only unit tests include testing/"
                        continue
                    if target not in MAY_INCLUDE.get(folder, []):
                        allowed = ", ".join(MAY_INCLUDE[folder]) or "nothing"
                        yield path, number, target or included.split("/")[0], included, \
                            f"{folder} may include {allowed}"


def main(argv):
    root = argv[1] if len(argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
    failed = False
    for path, number, target, included, why in offences(root):
        print(f"{path}:{number} -> {target} ({included}): {why}")
        failed = True
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
