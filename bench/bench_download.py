"""Downloading a 256 MiB prerequisite: a quiet run of a real setup under warm
Wine whose one prerequisite (Url and ExactSize) nginx serves on 127.0.0.1,
against a minimal program that writes the same bytes the way the download
worker does (write_chunks.exe: 8 KiB chunks, a flush after each), under the
same Wine, and against `curl -o` from the same nginx.

What is timed:
  download     from the request's start as nginx logs it ($msec less
               $request_time, which counts from its first byte read) to
               the kernel's note that the bootstrapper closed the file
               after writing it: the request, the answer's body and its
               writes.
  writing      from the file's creation to its close after writing: for
               the bootstrapper the body's reads and writes, without the
               request; for the baseline its reads and writes.
  whole run    the setup's process from its start to its end: the download,
               then the prerequisite run (the served file is a working
               program padded to 256 MiB, so it runs and notes that it did)
               and the main package's installation; and the same run with
               the file already in place at its exact size, when nothing is
               fetched and nginx logs no request.
  baseline     write_chunks.exe's writing (creation to close), and its
               process from start to end.
  processor    the processor time that the process and the wineserver
               spent: the setup's run less its run with the file in place,
               against the baseline's.
  curl         `curl -o` of the same file, wall-clock, from start to end.
Every figure is the best of the rounds of this run; each ratio is to a
figure measured in this run."""
import filecmp
import os
import subprocess
import sys
import time

import benchlib

sys.path.insert(0, os.path.join(benchlib.SOURCE, "tests", "e2e"))
import harness  # noqa: E402
from servers import Nginx  # noqa: E402
from test_downloads import configuration  # noqa: E402

ROUNDS = 2
SIZE = 256 << 20
NAME = "prereq.exe"
PRODUCT = "KorveltDownloadBench"


def served_program(path, program):
    """A working prerequisite program padded with random bytes to SIZE."""
    with open(program, "rb") as source:
        head = source.read()
    block = os.urandom(1 << 20)
    with open(path, "wb") as out:
        out.write(head)
        left = SIZE - len(head)
        while left > 0:
            out.write(block[:left])
            left -= len(block)
    return path


def remove_and_sync(path):
    if os.path.exists(path):
        os.remove(path)
    subprocess.run(["sync"], check=True)


def main():
    benchlib.measure_under_warm_wine(measure)


def measure(build, work, wine):
    if not os.path.exists(wine.arch.stub):
        sys.exit("no %s; build it first" % wine.arch.stub)
    served = os.path.join(work, "served")
    os.mkdir(served)
    source = served_program(os.path.join(served, NAME), wine.program(os.path.join("e2e-tools", "fake_prereq.exe")))
    write_chunks = wine.program("write_chunks.exe")
    package = harness.build_msi(work, PRODUCT, file_name="App.msi")
    ran_log = os.path.join(work, "ran.log")
    # The setup lies in a folder of its own, which is where it downloads.
    setup_folder = os.path.join(work, "setup")
    os.mkdir(setup_folder)
    downloaded = os.path.join(setup_folder, NAME)
    out = os.path.join(work, "out")
    copied = os.path.join(out, NAME)

    with Nginx(served) as nginx:
        config = os.path.join(work, "App.ini")
        with open(config, "w") as text:
            text.write(configuration([("bench", "Url", nginx.url(NAME), SIZE)], ran_log))
        setup = benchlib.pack(build, wine.arch.stub, os.path.join(setup_folder, "setup.exe"), "--prerequisites",
                              "--main", package, "--config", config)
        # perf_counter less the wall clock, for nginx's times.
        clock = time.perf_counter() - time.time()

        def quiet_run(name):
            """Runs the setup; checks that it ended well and that the
            prerequisite ran from the setup's folder; returns the result and
            the requests nginx logged meanwhile."""
            before = len(nginx.requests())
            if os.path.exists(ran_log):
                os.remove(ran_log)
            result = wine.run([setup], name)
            requests = nginx.requests()[before:]
            installed = os.path.exists(harness.installed_marker(PRODUCT))
            wine.run(["msiexec", "/x", benchlib.windows_path(package), "/qn"], "uninstall")
            if result.code != 0 or not installed:
                sys.exit("the setup ended with exit code %d, the package %s: %s"
                         % (result.code, "installed" if installed else "not installed", result.output[-2000:]))
            ran = []
            if os.path.exists(ran_log):
                with open(ran_log, encoding="latin-1") as lines:
                    ran = [tuple(line.lower().split("|")[:2]) for line in lines if line.strip()]
            if ran != [("bench", benchlib.windows_path(downloaded).lower())]:
                sys.exit("the prerequisite did not run once from the setup's folder: %r" % ran)
            return result, requests

        def download():
            remove_and_sync(downloaded)
            watch = benchlib.FolderWatch(setup_folder, NAME)
            result, requests = quiet_run("download")
            if watch.span() is None:
                sys.exit("the download was not seen written")
            if [(r.status, r.sent) for r in requests] != [(200, SIZE)]:
                sys.exit("nginx did not send the file once, whole: %r" % requests)
            if not filecmp.cmp(source, downloaded, shallow=False):
                sys.exit("the downloaded file differs from the served one")
            closed = max(watch.closed)
            return closed - (requests[0].started + clock), closed - min(watch.created), result.seconds, result.cpu

        def present():
            # The file the download round left, at its exact size.
            if os.path.getsize(downloaded) != SIZE:
                sys.exit("no file of the exact size in place")
            subprocess.run(["sync"], check=True)
            result, requests = quiet_run("present")
            if requests:
                sys.exit("a file in place at its exact size was fetched: %r" % requests)
            return result.seconds, result.cpu

        def baseline(*flush):
            remove_and_sync(copied)
            watch = benchlib.FolderWatch(out, NAME)
            result = wine.run([write_chunks, benchlib.windows_path(source), benchlib.windows_path(copied), *flush],
                              "write_chunks")
            span = watch.span()
            if result.code != 0 or span is None or os.path.getsize(copied) != SIZE:
                sys.exit("write_chunks.exe failed with exit code %d: %s" % (result.code, result.output))
            return span, result.seconds, result.cpu

        def curl():
            remove_and_sync(copied)
            started = time.perf_counter()
            subprocess.run(["curl", "-sSf", "-o", copied, nginx.url(NAME)], check=True)
            seconds = time.perf_counter() - started
            if os.path.getsize(copied) != SIZE:
                sys.exit("curl did not fetch the whole file")
            return seconds

        os.mkdir(out)
        best = benchlib.best_of(ROUNDS, download=download, present=present, baseline=baseline,
                                unflushed=lambda: baseline("noflush"), curl=curl)

    fetched, writing, whole, whole_cpu = best["download"]
    in_place, in_place_cpu = best["present"]
    minimal, minimal_process, minimal_cpu = best["baseline"]
    unflushed, _, _ = best["unflushed"]
    cp = best["curl"]
    name = os.path.basename(wine.arch.stub)
    print("download of a 256 MiB prerequisite in a quiet run, from nginx on 127.0.0.1, under warm Wine (best of %d; "
          "what each line times is told in bench/bench_download.py):" % ROUNDS)
    row = "  %-66s %6.2f s"
    print(row % (name + ", download: nginx's request start to the file's close", fetched))
    print(row % (name + ", writing: the file's creation to its close", writing))
    print(row % (name + ", whole run, downloading", whole))
    print(row % (name + ", whole run, the file in place at its size (no request)", in_place))
    print(row % ("baseline write_chunks.exe, 8 KiB + flush: creation to close", minimal)
          + "   (its process %.2f s)" % minimal_process)
    print(row % ("write_chunks.exe without the flushes (for readers)", unflushed))
    print(row % ("curl -o from the same nginx, wall-clock", cp))
    print("  download, ratio to the baseline: %s (writing alone %s; whole run less the run with the file in place %s)"
          % (benchlib.ratio(fetched, minimal), benchlib.ratio(writing, minimal),
             benchlib.ratio(whole - in_place, minimal)))
    print("  download, ratio to curl -o:      %s" % benchlib.ratio(fetched, cp))
    print("  whole run with the file in place, ratio to the baseline: %s, to curl -o: %s"
          % (benchlib.ratio(in_place, minimal), benchlib.ratio(in_place, cp)))
    print("  processor time of the process and the wineserver: the download (whole run less the run with the file in "
          "place) %.2f s, the baseline %.2f s, ratio %s"
          % (whole_cpu - in_place_cpu, minimal_cpu, benchlib.ratio(whole_cpu - in_place_cpu, minimal_cpu)))

if __name__ == "__main__":
    main()
