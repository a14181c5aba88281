#!/usr/bin/env python3
"""A file search of depth 5 over a tree of 20,000 folders without a match:
the bootstrapper's own search under Wine against `find` over the same tree.

usage: file_search.py BUILD_FOLDER   (the folder holding the win32 build, or
                                      that build itself)
"""
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

FOLDERS = 20000
BRANCHING = 7  # 7 + 49 + 343 + 2401 + 16807 = 19607 folders over five levels
RUNS = 5
NAME = "nomatch.dll"


def bench_program(build):
    for candidate in (build / "win32" / "prereq_search_bench.exe", build / "prereq_search_bench.exe"):
        if candidate.exists():
            return candidate
    sys.exit(f"no prereq_search_bench.exe under {build}; build the Win32 targets first")


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


def windows_path(path):
    return "Z:" + str(path).replace("/", "\\")


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    build = Path(sys.argv[1]).resolve()
    program = bench_program(build)
    wine_run = Path(__file__).resolve().parent.parent / "testing" / "wine-run.sh"
    holder = Path(tempfile.mkdtemp(prefix="search-tree-", dir=build))
    try:
        root = holder / "tree"
        root.mkdir()
        made = make_tree(root)
        search = windows_path(root) + "\\" + NAME + "?5"
        started = time.perf_counter()
        result = subprocess.run([str(wine_run), str(program), search, str(RUNS)], capture_output=True, text=True,
                                timeout=1200)
        wine_total = time.perf_counter() - started
        if result.returncode != 0:
            sys.exit(f"the search program failed: {result.stderr.strip()}")
        runs = []
        for line in result.stdout.splitlines():
            if line.startswith("run "):
                runs.append(float(line.split(":")[1].split("ms")[0]))
                if "found 0" not in line:
                    sys.exit(f"the search found something: {line}")
        if len(runs) != RUNS:
            sys.exit(f"unexpected output: {result.stdout}")
        find_runs = []
        for _ in range(RUNS):
            started = time.perf_counter()
            found = subprocess.run(["find", str(root), "-maxdepth", "6", "-name", NAME], capture_output=True,
                                   text=True, check=True)
            find_runs.append((time.perf_counter() - started) * 1000)
            if found.stdout.strip():
                sys.exit("find found something")
        search_ms = statistics.median(runs)
        find_ms = statistics.median(find_runs)
        print(f"file search, depth 5, {made} folders, no match ({RUNS} runs each, medians):")
        print(f"  bootstrapper search under Wine: {search_ms:9.1f} ms   (first run {runs[0]:.1f} ms; "
              f"Wine process {wine_total:.1f} s in all)")
        print(f"  find -maxdepth 6 -name:         {find_ms:9.1f} ms")
        print(f"  ratio search / find:            {search_ms / find_ms:9.2f}")
    finally:
        shutil.rmtree(holder, ignore_errors=True)


if __name__ == "__main__":
    main()
