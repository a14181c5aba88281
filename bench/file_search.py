#!/usr/bin/env python3
"""A file search of depth 5 over a tree of 20,000 folders without a match:
the bootstrapper's own search (prereq_search_bench.exe) against a minimal
loop doing the same probe in each folder (search_loop.exe), both under the
same warm Wine, timed inside their processes, one run each in turn, so that
a slow spell of the shared machine falls on both; `find` over the same tree
is shown for readers.

usage: file_search.py BUILD_FOLDER
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time
from pathlib import Path

import benchlib

FOLDERS = 20000
BRANCHING = 7  # 7 + 49 + 343 + 2401 + 16807 = 19607 folders over five levels
ROUNDS = 7
NAME = "nomatch.dll"


def make_tree(root):
    """Makes FOLDERS folders, all within five levels below `root`."""
    made = 0
    level = [root]
    for _ in range(5):
        next_level = []
        for parent in level:
            for index in range(BRANCHING):
                folder = parent / f"d{index}"
                folder.mkdir()
                next_level.append(folder)
                made += 1
        level = next_level
    # The rest as extra leaves at the fifth level.
    fourth = [folder.parent for folder in level[: FOLDERS - made]]
    for index, parent in enumerate(fourth):
        (parent / f"extra{index}").mkdir()
        made += 1
    # One file per leaf group, so that listings hold files as well as folders.
    for folder in level[::BRANCHING]:
        (folder / "readme.txt").write_bytes(b"x")
    return made


def run_time(wine, arguments, name):
    """The milliseconds of a search program's run, as it timed itself, and
    the processor milliseconds that its process and the server spent; ends
    the benchmark when it failed or found something."""
    result = wine.run(arguments, name, timeout=1200)
    if result.code != 0:
        sys.exit(f"{name} failed with exit code {result.code}: {result.output.strip()}")
    runs = [line for line in result.output.splitlines() if line.startswith("run ")]
    if len(runs) != 1:
        sys.exit(f"unexpected output of {name}: {result.output}")
    if "found 0" not in runs[0]:
        sys.exit(f"{name} found something: {runs[0]}")
    return float(runs[0].split(":")[1].split("ms")[0]), result.cpu * 1000

def find_times(root):
    runs = []
    for _ in range(ROUNDS):
        started = time.perf_counter()
        found = subprocess.run(["find", str(root), "-maxdepth", "6", "-name", NAME], capture_output=True,
                               text=True, check=True)
        runs.append((time.perf_counter() - started) * 1000)
        if found.stdout.strip():
            sys.exit("find found something")
    return runs


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    build = benchlib.build_folder()
    holder = Path(tempfile.mkdtemp(prefix="search-tree-", dir=build))
    try:
        root = holder / "tree"
        root.mkdir()
        made = make_tree(root)
        with benchlib.WarmWine(build, str(holder)) as wine:
            search = [wine.program("prereq_search_bench.exe"), benchlib.windows_path(root) + "\\" + NAME + "?5"]
            loop = [wine.program("search_loop.exe"), benchlib.windows_path(root), NAME, "5"]
            best = benchlib.best_of(ROUNDS, search=lambda: run_time(wine, search, "search"),
                                    loop=lambda: run_time(wine, loop, "search_loop"))
        find_ms = min(find_times(root))
        search_ms, search_cpu = best["search"]
        loop_ms, loop_cpu = best["loop"]
        print(f"file search, depth 5, {made} folders, no match, under warm Wine (best of {ROUNDS}; "
              f"processor time of the whole process and the wineserver beside it):")
        print(f"  {'bootstrapper search':38} {search_ms:8.1f} ms   processor {search_cpu:8.1f} ms")
        print(f"  {'minimal loop, same probe (baseline)':38} {loop_ms:8.1f} ms   processor {loop_cpu:8.1f} ms")
        print(f"  {'find -maxdepth 6 -name (for readers)':38} {find_ms:8.1f} ms")
        print(f"  ratio to the baseline: {search_ms / loop_ms:.2f}, processor time {search_cpu / loop_cpu:.2f}")
        print(f"  ratio to find:         {search_ms / find_ms:.2f}")
    finally:
        shutil.rmtree(holder, ignore_errors=True)


if __name__ == "__main__":
    main()
