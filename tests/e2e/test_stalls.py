"""Quiet runs under Wine against servers that stall, drop the connection or
redirect without end. No connection is waited on for more than 30 s without
a byte; one dropped in the body is asked again from the bytes on disk; a
redirect loop fails at once. Whatever happens the run ends, the Run value
goes, and what came of a broken download stays for the next run."""
import os
import shutil
import socket
import subprocess
import threading
import time
import unittest

from harness import (RUN_KEY, TOOLS, WINE, WineTestCase, build_msi, finish, installed_marker, leave_state, pack, read,
                     registry_value, start_windows, uninstall, windows_path, wine_env)
from servers import ERROR_PAGE, FaultServer, broken_off

PROGRAM = os.path.join(TOOLS, "fake_prereq.exe")
# A connection that brings no byte for this long is given up.
STALL_SECONDS = 30
# What a busy machine may add to a bound of time.
MARGIN_SECONDS = 25
# The waits before the second, third and fourth try of a dropped download.
RETRY_WAITS = [1, 2, 4]
# At most 10 redirects are followed: 11 requests.
MOST_REQUESTS = 11
# How long a redirect loop may go on before it is refused: "at once", on a
# busy machine.
LOOP_SECONDS = 10


def configuration(first_url, second_url, log):
    """A quiet configuration of two downloads, the one under test and a good
    one after it: whether the second is fetched tells a download that could
    not be opened (the downloads end there) from one that broke off (the
    next goes on). Nothing is ever found, so both are downloaded."""
    lines = ["[GeneralOptions]", "MainAppCmdLine=/qn", "Options=q", "", "[PREREQUISITES]",
             "App1=Prerequisite two", "App2=Prerequisite three"]
    for i, (name, url) in enumerate([("two", first_url), ("three", second_url)]):
        lines += ["", "[App%d]" % (i + 1), "Url=" + url, "ExactSize=%d" % os.path.getsize(PROGRAM),
                  "CommandLine=/log:%s /name:%s" % (windows_path(log), name),
                  "SearchType=1", "SearchString=HKCU\\Software\\KorveltNeverThere\\%s" % name]
    return "\r\n".join(lines) + "\r\n"


class StallTest(WineTestCase):
    """One quiet run (or two) per case against a FaultServer: a setup in a
    folder of its own, which is where it downloads, and a main package that
    installs whatever the downloads come to."""

    def setUp(self):
        super().setUp()
        self.served = self.path("served")
        os.makedirs(self.served)
        for name in ("two.exe", "three.exe"):
            shutil.copy(PROGRAM, os.path.join(self.served, name))
        self.program = read(PROGRAM)
        self.size = len(self.program)
        self.log = self.path("ran.log")
        self.product = "KorveltStall%d%s" % (os.getpid(), self._testMethodName[5:13])
        self.package = build_msi(self.folder, self.product, file_name="App.msi")
        self.addCleanup(uninstall, self.package)

    def fresh_folder(self):
        """An empty folder for the setup, and no log of programs run."""
        self.setup_folder = self.path("setup")
        shutil.rmtree(self.setup_folder, ignore_errors=True)
        os.makedirs(self.setup_folder)
        if os.path.exists(self.log):
            os.remove(self.log)

    def make_setup(self, server, mode):
        """A setup whose first download is two.exe in `mode`, its second
        three.exe served whole."""
        config = self.path("App.ini")
        with open(config, "w") as out:
            out.write(configuration(server.url(mode, "two.exe"), server.url("ok", "three.exe"), self.log))
        return pack(os.path.join(self.setup_folder, "setup.exe"), "--prerequisites", "--main", self.package,
                    "--config", config)

    def run_setup(self, setup, server, limit, while_held=False):
        """Runs the setup quietly and returns how long it took: at most
        `limit` s, else the state is left and the run stopped. With
        `while_held`, the Run value is looked at while the server holds the
        first request. Whatever the downloads came to, the run ends with the
        main package installed and no Run value left."""
        name = windows_path(setup)
        started = time.monotonic()
        run = start_windows('"%s"' % name, cwd=self.setup_folder)
        try:
            if while_held:
                if not server.arrived.wait(limit):
                    where = leave_state("stall-%d" % run.pid, run=run)
                    raise AssertionError("no request came within %d s; the state is in %s" % (limit, where))
                self.assertEqual(registry_value(RUN_KEY, name), name, "the Run value is there during the download")
            code = finish(run, timeout=max(1, limit - (time.monotonic() - started)))
        except BaseException:
            self.stop(run, name)
            raise
        seconds = time.monotonic() - started
        # The requests of the run are answered, or let go, once it ended.
        if not server.idle(30):
            where = leave_state("stall-server-%d" % run.pid, run=run)
            raise AssertionError("the server still answers a request 30 s after the run; the state is in " + where)
        self.assertEqual(code, 0, run.output())
        self.assertTrue(os.path.exists(installed_marker(self.product)), "the main package is installed")
        uninstall(self.package)
        self.assertIsNone(registry_value(RUN_KEY, name), "no Run value is left")
        return seconds

    @staticmethod
    def stop(run, name):
        """Ends a run given up on, and the Run value it leaves."""
        if run.poll() is None:
            run.kill()
            run.wait()
        subprocess.run(["wineserver", "-k"], env=wine_env(), timeout=60)
        subprocess.run([*WINE, "reg", "delete", RUN_KEY, "/v", name, "/f"], env=wine_env(), stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=60)

    def ran(self):
        """The name of each program that ran, in order."""
        if not os.path.exists(self.log):
            return []
        with open(self.log, encoding="latin-1") as lines:
            return [line.split("|", 1)[0] for line in lines if line.strip()]

    def left(self):
        """What the setup's folder holds beside the setup, by name."""
        return {entry: read(os.path.join(self.setup_folder, entry))
                for entry in os.listdir(self.setup_folder) if entry != "setup.exe"}

    @staticmethod
    def asked(server, name):
        """(status, range, bytes sent) of each request of `name`."""
        return [(r.status, r.range, r.sent) for r in server.log if r.path.split("#")[0].endswith("/" + name)]

    def assertWaitedBetween(self, requests):
        """Each try of a dropped download waits its time after the server
        dropped the last."""
        for i, (before, after) in enumerate(zip(requests, requests[1:])):
            self.assertGreaterEqual(after.started - before.finished, RETRY_WAITS[i] - 0.1,
                                    "the wait before try %d" % (i + 2))


class StallBeforeHeadersTest(StallTest):
    # A server that takes the request and sends nothing: the download
    # cannot be opened once 30 s passed without a byte, like a server that
    # cannot be reached (no retry, and the downloads after it are not
    # tried); the run goes on to the main package without the Run value.
    def test_stall_before_the_headers(self):
        self.fresh_folder()
        with FaultServer(self.served) as server:
            setup = self.make_setup(server, "stallhead")
            seconds = self.run_setup(setup, server, STALL_SECONDS + MARGIN_SECONDS + 60, while_held=True)
            self.assertEqual(self.asked(server, "two.exe"), [(0, None, 0)])
            held = [r for r in server.log if "two.exe" in r.path][0].seconds
            self.assertEqual(self.asked(server, "three.exe"), [], "nothing is fetched after it")
        print("stall before the headers: the server held the request %.1f s, the run took %.1f s" % (held, seconds))
        # Held until the setup let go of the connection.
        self.assertGreaterEqual(held, STALL_SECONDS - 1, "the connection is given up after 30 s without a byte")
        self.assertLess(seconds, STALL_SECONDS + MARGIN_SECONDS, "the quiet run ends soon after the stall")
        self.assertEqual(self.ran(), [])
        self.assertEqual(self.left(), {})


class SilentListener:
    """A port on 127.0.0.1 that takes connections and never says a word:
    an https address there stalls in the middle of its handshake, where
    the platform's own timeouts do not reach. `arrived` is set at the first
    connection; the connections are held until the listener stops."""

    def __init__(self):
        self.socket = socket.socket()
        self.socket.bind(("127.0.0.1", 0))
        self.socket.listen(8)
        self.arrived = threading.Event()
        self.held = []
        self.thread = threading.Thread(target=self.take, daemon=True)

    def take(self):
        while True:
            try:
                connection, _ = self.socket.accept()
            except OSError:
                return
            self.held.append(connection)
            self.arrived.set()

    def url(self, name):
        return "https://localhost:%d/%s" % (self.socket.getsockname()[1], name)

    def idle(self, seconds):
        """Nothing is ever answered here."""
        return True

    def __enter__(self):
        self.thread.start()
        return self

    def __exit__(self, *exc):
        self.socket.close()
        self.thread.join(timeout=30)
        for connection in self.held:
            connection.close()


class StallInTheHandshakeTest(StallTest):
    # A TLS handshake that never gets an answer: the download cannot be
    # opened once 30 s passed, as before the headers, and the run goes on
    # to the main package without the Run value.
    def test_stall_in_the_handshake(self):
        self.fresh_folder()
        with FaultServer(self.served) as server, SilentListener() as silent:
            config = self.path("App.ini")
            with open(config, "w") as out:
                out.write(configuration(silent.url("two.exe"), server.url("ok", "three.exe"), self.log))
            setup = pack(os.path.join(self.setup_folder, "setup.exe"), "--prerequisites", "--main", self.package,
                         "--config", config)
            seconds = self.run_setup(setup, silent, STALL_SECONDS + MARGIN_SECONDS + 60, while_held=True)
            self.assertEqual(self.asked(server, "three.exe"), [], "nothing is fetched after it")
        print("stall in the handshake: the run took %.1f s" % seconds)
        self.assertGreaterEqual(seconds, STALL_SECONDS - 1, "the handshake is waited for 30 s")
        self.assertLess(seconds, STALL_SECONDS + MARGIN_SECONDS, "the quiet run ends soon after the stall")
        self.assertEqual(self.ran(), [])
        self.assertEqual(self.left(), {})


class StallInTheBodyTest(StallTest):
    # 40 % of the body, then nothing: 30 s later the download is asked again
    # from the bytes on disk; an error status for that ends it at once, the
    # partial file kept, and the next download goes on. The next run, on a
    # good network, asks for the rest and installs.
    def test_stall_in_the_body_then_an_error(self):
        cut = broken_off(self.size)
        self.fresh_folder()
        with FaultServer(self.served) as server:
            server.script = ["stallbody", "503"]
            setup = self.make_setup(server, "scripted")
            seconds = self.run_setup(setup, server, STALL_SECONDS + MARGIN_SECONDS + 60, while_held=True)
            self.assertEqual(self.asked(server, "two.exe"),
                             [(200, None, cut), (503, "bytes=%d-" % cut, len(ERROR_PAGE))])
            stalled, retry = [r for r in server.log if "two.exe" in r.path]
            print("stall in the body: the retry came %.1f s after the first request, the run took %.1f s"
                  % (retry.started - stalled.started, seconds))
            # When the setup lets go of the stalled connection is its own
            # affair; its next try comes 30 s and a wait after the last byte.
            self.assertGreaterEqual(retry.started - stalled.started, STALL_SECONDS + RETRY_WAITS[0] - 1,
                                    "the body is given up after 30 s without a byte, and asked again after a wait")
            self.assertLess(seconds, STALL_SECONDS + MARGIN_SECONDS, "the quiet run ends soon after the stall")
            self.assertEqual(self.ran(), ["three"])
            self.assertEqual(self.left(), {"two.exe": self.program[:cut], "three.exe": self.program})

            first = len(server.log)
            server.script = ["ok"]
            os.remove(self.log)
            self.run_setup(setup, server, 120)
            self.assertEqual([(r.status, r.range, r.sent) for r in server.log[first:]],
                             [(206, "bytes=%d-" % cut, self.size - cut)])
        self.assertEqual(self.ran(), ["two", "three"])
        self.assertEqual(self.left(), {"two.exe": self.program, "three.exe": self.program})


class ResetTest(StallTest):
    """A connection reset in the middle of the body: the download is asked
    again from the bytes on disk, up to three times."""

    def test_resets(self):
        cut = broken_off(self.size)
        # Where the file ends after each of four resets, each answer a range
        # from the bytes on disk.
        ends = [0]
        for _ in range(4):
            ends.append(ends[-1] + broken_off(self.size - ends[-1]))
        # label, the server's answers in turn, the requests of two.exe
        # (status, range, bytes sent), what two.exe holds afterwards
        cases = [
            ("the rest comes", ["reset", "ok"],
             [(200, None, cut), (206, "bytes=%d-" % cut, self.size - cut)], self.program),
            # An answer of 200 writes the file again from its first byte.
            ("the whole file comes", ["reset", "norange"],
             [(200, None, cut), (200, "bytes=%d-" % cut, self.size)], self.program),
            ("a reset every time", ["reset"],
             [(200 if i == 0 else 206, "bytes=%d-" % ends[i] if i else None, ends[i + 1] - ends[i]) for i in range(4)],
             self.program[:ends[4]]),
        ]
        for label, script, requests, kept in cases:
            with self.subTest(label):
                self.fresh_folder()
                with FaultServer(self.served) as server:
                    server.script = list(script)
                    server.saved = os.path.join(self.setup_folder, "two.exe")
                    self.run_setup(self.make_setup(server, "scripted"), server, 120)
                    self.assertEqual(self.asked(server, "two.exe"), requests, server.log)
                    self.assertWaitedBetween([r for r in server.log if "two.exe" in r.path])
                whole = kept == self.program
                self.assertEqual(self.ran(), ["two", "three"] if whole else ["three"])
                self.assertEqual(self.left(), {"two.exe": kept, "three.exe": self.program})


class RedirectLoopTest(StallTest):
    """Redirects without end fail fast, as a download that cannot be opened."""

    # label, the server's mode
    CASES = [
        ("a loop to its own path", "loop"),
        ("a loop to its own address", "loopurl"),
        ("an empty Location", "emptylocation"),
    ]

    # At most 11 requests within a few seconds; nothing saved or run, the
    # downloads after it not tried.
    def test_loops(self):
        for label, mode in self.CASES:
            with self.subTest(label):
                self.fresh_folder()
                with FaultServer(self.served) as server:
                    setup = self.make_setup(server, mode)
                    try:
                        self.run_setup(setup, server, 60)
                    finally:
                        loop = [r for r in server.log if "two.exe" in r.path]
                        if loop:
                            print("%s: %d requests in %.1f s" % (label, len(loop), loop[-1].finished - loop[0].started))
                    self.assertTrue(loop, "the download is asked for")
                    self.assertLessEqual(len(loop), MOST_REQUESTS)
                    self.assertLess(loop[-1].finished - loop[0].started, LOOP_SECONDS)
                    self.assertEqual(self.asked(server, "three.exe"), [], "nothing is fetched after it")
                self.assertEqual(self.ran(), [])
                self.assertEqual(self.left(), {})


if __name__ == "__main__":
    unittest.main()
