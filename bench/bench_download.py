"""Downloading a 256 MiB prerequisite: a quiet run of a real setup under warm
Wine whose one prerequisite (Url and ExactSize) nginx serves on 127.0.0.1,
against a minimal program that writes the same bytes the way the download
worker does (write_chunks.exe: 8 KiB chunks, a flush after each), under the
same Wine, and against `curl -o` from the same nginx.

The file is served twice over, each time by an nginx of its own, and every
figure but the baseline's is taken for both:
  http         plain HTTP at http://127.0.0.1:PORT/.
  https        TLS at https://localhost:PORT/ (Wine checks a URL's host
               against the certificate's DNS names alone), the server's
               certificate issued by a CA made for this run, as the
               end-to-end tests make theirs (tests/e2e/pki.py), which the
               prefix's local machine Root store trusts for the time of the
               benchmark and curl is told of with --cacert.

What is timed:
  download     from the request's start as nginx logs it ($msec less
               $request_time, which counts from its first byte read; over
               TLS, from the first byte read after the handshake) to the
               kernel's note that the bootstrapper closed the file after
               writing it: the request, the answer's body and its writes.
  writing      from the file's creation to its close after writing: for
               the bootstrapper the body's reads and writes, without the
               request; for the baseline its reads and writes.
  whole run    the setup's process from its start to its end: the download,
               then the prerequisite run (the served file is a working
               program padded to 256 MiB, so it runs and notes that it did)
               and the main package's installation; and the same run with
               the file already in place at its exact size, when nothing is
               fetched and nginx logs no request (the plain HTTP setup's).
  baseline     write_chunks.exe's writing (creation to close), and its
               process from start to end.
  processor    the processor time that the process and the wineserver
               spent: the setup's run less its run with the file in place,
               against the baseline's.
  curl         `curl -o` of the same file from the same nginx, wall-clock,
               from start to end.
Every figure is the best of the rounds of this run; each ratio is to a
figure measured in this run."""
import contextlib
import filecmp
import os
import subprocess
import sys
import time

import benchlib

sys.path.insert(0, os.path.join(benchlib.SOURCE, "tests", "e2e"))
import harness  # noqa: E402
import pki  # noqa: E402
from servers import Nginx  # noqa: E402
from test_downloads import configuration  # noqa: E402

ROUNDS = 2
SIZE = 256 << 20
NAME = "prereq.exe"
PRODUCT = "KorveltDownloadBench"
SCHEMES = ("http", "https")


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


class Source:
    """The file served one way (a scheme of SCHEMES): its nginx, curl's
    arguments for that server, and, in `folder`, the configuration of a
    setup that downloads from it; the setup lies in a folder of its own,
    which is where it downloads."""

    def __init__(self, scheme, nginx, curl_arguments, folder):
        self.scheme, self.nginx, self.curl_arguments = scheme, nginx, curl_arguments
        self.folder = folder
        self.setup_folder = os.path.join(folder, "setup")
        os.mkdir(self.setup_folder)
        self.downloaded = os.path.join(self.setup_folder, NAME)
        self.setup = None


def main():
    benchlib.measure_under_warm_wine(measure)


def serve(stack, scheme, work, served):
    """Starts nginx for `scheme` on `stack`, and for https the prefix's
    trust in a CA made for the run; returns the Source without its setup."""
    folder = os.path.join(work, scheme)
    os.mkdir(folder)
    if scheme == "http":
        return Source(scheme, stack.enter_context(Nginx(served)), [], folder)
    authority = pki.Authority(work, "Benchmark CA")
    nginx = stack.enter_context(Nginx(served, tls=authority.issue("localhost", "localhost")))
    stack.enter_context(pki.trusted(authority))
    return Source(scheme, nginx, ["--cacert", authority.pem], folder)


def measure(build, work, wine):
    if not os.path.exists(wine.arch.stub):
        sys.exit("no %s; build it first" % wine.arch.stub)
    served = os.path.join(work, "served")
    os.mkdir(served)
    source = served_program(os.path.join(served, NAME), wine.program(os.path.join("e2e-tools", "fake_prereq.exe")))
    write_chunks = wine.program("write_chunks.exe")
    package = harness.build_msi(work, PRODUCT, file_name="App.msi")
    ran_log = os.path.join(work, "ran.log")
    out = os.path.join(work, "out")
    copied = os.path.join(out, NAME)

    with contextlib.ExitStack() as stack:
        sources = [serve(stack, scheme, work, served) for scheme in SCHEMES]
        for each in sources:
            config = os.path.join(each.folder, "App.ini")
            with open(config, "w") as text:
                text.write(configuration([("bench", "Url", each.nginx.url(NAME), SIZE)], ran_log))
            each.setup = benchlib.pack(build, wine.arch.stub, os.path.join(each.setup_folder, "setup.exe"),
                                       "--prerequisites", "--main", package, "--config", config)
        # perf_counter less the wall clock, for nginx's times.
        clock = time.perf_counter() - time.time()

        def quiet_run(each, name):
            """Runs the setup of `each`; checks that it ended well and that
            the prerequisite ran from the setup's folder; returns the result
            and the requests its nginx logged meanwhile."""
            before = len(each.nginx.requests())
            if os.path.exists(ran_log):
                os.remove(ran_log)
            result = wine.run([each.setup], name)
            requests = each.nginx.requests()[before:]
            installed = os.path.exists(harness.installed_marker(PRODUCT))
            wine.run(["msiexec", "/x", benchlib.windows_path(package), "/qn"], "uninstall")
            if result.code != 0 or not installed:
                sys.exit("the %s setup ended with exit code %d, the package %s: %s"
                         % (each.scheme, result.code, "installed" if installed else "not installed",
                            result.output[-2000:]))
            ran = []
            if os.path.exists(ran_log):
                with open(ran_log, encoding="latin-1") as lines:
                    ran = [tuple(line.lower().split("|")[:2]) for line in lines if line.strip()]
            if ran != [("bench", benchlib.windows_path(each.downloaded).lower())]:
                sys.exit("the prerequisite did not run once from the %s setup's folder: %r" % (each.scheme, ran))
            return result, requests

        def download(each):
            remove_and_sync(each.downloaded)
            watch = benchlib.FolderWatch(each.setup_folder, NAME)
            result, requests = quiet_run(each, each.scheme + "-download")
            if watch.span() is None:
                sys.exit("the %s download was not seen written" % each.scheme)
            if [(r.status, r.sent) for r in requests] != [(200, SIZE)]:
                sys.exit("nginx did not send the file once, whole, over %s: %r" % (each.scheme, requests))
            if not filecmp.cmp(source, each.downloaded, shallow=False):
                sys.exit("the file downloaded over %s differs from the served one" % each.scheme)
            closed = max(watch.closed)
            return closed - (requests[0].started + clock), closed - min(watch.created), result.seconds, result.cpu

        def present():
            # The file the plain download of the round left, at its exact size.
            each = sources[0]
            if os.path.getsize(each.downloaded) != SIZE:
                sys.exit("no file of the exact size in place")
            subprocess.run(["sync"], check=True)
            result, requests = quiet_run(each, "present")
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

        def curl(each):
            remove_and_sync(copied)
            started = time.perf_counter()
            subprocess.run(["curl", "-sSf", *each.curl_arguments, "-o", copied, each.nginx.url(NAME)], check=True)
            seconds = time.perf_counter() - started
            if not filecmp.cmp(source, copied, shallow=False):
                sys.exit("curl did not fetch the file whole over %s" % each.scheme)
            return seconds

        os.mkdir(out)
        actions = {}
        for each in sources:
            actions[each.scheme + " download"] = lambda each=each: download(each)
        actions.update(present=present, baseline=baseline, unflushed=lambda: baseline("noflush"))
        for each in sources:
            actions[each.scheme + " curl"] = lambda each=each: curl(each)
        best = benchlib.best_of(ROUNDS, **actions)

    in_place, in_place_cpu = best["present"]
    minimal, minimal_process, minimal_cpu = best["baseline"]
    unflushed, _, _ = best["unflushed"]
    name = os.path.basename(wine.arch.stub)
    print("download of a 256 MiB prerequisite in a quiet run, from nginx on 127.0.0.1 over plain HTTP and over TLS, "
          "under warm Wine (best of %d; what each line times is told in bench/bench_download.py):" % ROUNDS)
    row = "  %-72s %6.2f s"
    for scheme in SCHEMES:
        fetched, writing, whole, _ = best[scheme + " download"]
        print(row % ("%s, %s download: nginx's request start to the file's close" % (name, scheme), fetched))
        print(row % ("%s, %s writing: the file's creation to its close" % (name, scheme), writing))
        print(row % ("%s, %s whole run, downloading" % (name, scheme), whole))
    print(row % (name + ", whole run, the file in place at its size (no request)", in_place))
    print(row % ("baseline write_chunks.exe, 8 KiB + flush: creation to close", minimal)
          + "   (its process %.2f s)" % minimal_process)
    print(row % ("write_chunks.exe without the flushes (for readers)", unflushed))
    for scheme in SCHEMES:
        print(row % ("curl -o from the same nginx over %s, wall-clock" % scheme, best[scheme + " curl"]))
    for scheme in SCHEMES:
        fetched, writing, whole, whole_cpu = best[scheme + " download"]
        cp = best[scheme + " curl"]
        print("  %s download, ratio to the baseline: %s (writing alone %s; whole run less the run with the file in "
              "place %s)" % (scheme, benchlib.ratio(fetched, minimal), benchlib.ratio(writing, minimal),
                             benchlib.ratio(whole - in_place, minimal)))
        print("  %s download, ratio to curl -o over %s: %s" % (scheme, scheme, benchlib.ratio(fetched, cp)))
        print("  %s download, processor time of the process and the wineserver (whole run less the run with the "
              "file in place): %.2f s, ratio to the baseline's %.2f s: %s"
              % (scheme, whole_cpu - in_place_cpu, minimal_cpu, benchlib.ratio(whole_cpu - in_place_cpu,
                                                                                 minimal_cpu)))
    print("  https download, ratio to the http download: %s"
          % benchlib.ratio(best["https download"][0], best["http download"][0]))
    cp = best[SCHEMES[0] + " curl"]
    print("  whole run with the file in place, ratio to the baseline: %s, to curl -o over http: %s"
          % (benchlib.ratio(in_place, minimal), benchlib.ratio(in_place, cp)))


if __name__ == "__main__":
    main()
