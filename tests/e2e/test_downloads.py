"""The quiet run under Wine: prerequisites fetched over HTTP from real
servers on 127.0.0.1 into the setup's folder, every prerequisite's setup
program run in order with its command line, then the main package."""
import hashlib
import os
import shutil
import unittest

from harness import (RUN_KEY, TOOLS, WineTestCase, build_msi, installed_marker, pack, read, registry_value,
                     run_windows, uninstall, windows_path)
from servers import FaultServer, Nginx, free_port

PROGRAM = os.path.join(TOOLS, "fake_prereq.exe")


def configuration(prerequisites, log, extra=None):
    """A quiet configuration; each prerequisite is (name, key, value, size),
    key being SetupFile or Url; `extra` gives further lines of a
    prerequisite's section by its name. Nothing is ever found, so payload
    files are installed and addresses downloaded."""
    lines = ["[GeneralOptions]", "MainAppCmdLine=/qn", "Options=q", "", "[PREREQUISITES]"]
    lines += ["App%d=Prerequisite %s" % (i + 1, p[0]) for i, p in enumerate(prerequisites)]
    for i, (name, key, value, size) in enumerate(prerequisites):
        lines += ["", "[App%d]" % (i + 1), "%s=%s" % (key, value)]
        if size is not None:
            lines.append("ExactSize=%d" % size)
        lines += (extra or {}).get(name, [])
        lines += ["CommandLine=/log:%s /name:%s /exit:%d" % (windows_path(log), name, 3010 if i % 2 else 0),
                  "SearchType=1", "SearchString=HKCU\\Software\\KorveltNeverThere\\%s" % name]
    return "\r\n".join(lines) + "\r\n"


class QuietRunTest(WineTestCase):
    def setUp(self):
        super().setUp()
        self.served = self.path("served")
        os.makedirs(self.served)
        self.program = read(PROGRAM)
        self.size = len(self.program)
        for name in ("two.exe", "three.exe"):
            shutil.copy(PROGRAM, os.path.join(self.served, name))
        self.log = self.path("ran.log")
        self.product = "KorveltQuiet%d%s" % (os.getpid(), self._testMethodName[5:13])
        self.package = build_msi(self.folder, self.product, file_name="App.msi")
        self.addCleanup(uninstall, self.package)
        # The setup lies in a folder of its own, which is where it downloads.
        self.setup_folder = self.path("setup")
        os.makedirs(self.setup_folder)

    def run_setup(self, prerequisites, extra=None):
        config = self.path("App.ini")
        with open(config, "w") as out:
            out.write(configuration(prerequisites, self.log, extra))
        payload = []
        for name, key, value, _ in prerequisites:
            if key == "SetupFile":
                payload += ["--on-demand", "%s=%s" % (value, PROGRAM)]
        setup = pack(os.path.join(self.setup_folder, "setup.exe"), "--prerequisites", "--main", self.package,
                     "--config", config, *payload)
        before = os.path.getsize(self.log) if os.path.exists(self.log) else 0
        code, output = run_windows('"%s"' % windows_path(setup), timeout=300)
        # A program of this run that asked for a restart (3010) makes the
        # setup end with 3010 after the main package's 0.
        restart = os.path.exists(self.log) and b"/exit:3010" in read(self.log)[before:]
        self.assertEqual(code, 3010 if restart else 0, output)
        self.assertTrue(os.path.exists(installed_marker(self.product)), "the main package is installed")
        self.assertIsNone(registry_value(RUN_KEY, windows_path(setup)), "no Run value is left")
        return setup

    def ran(self):
        """(name, program path, command tail) of each program that ran, in order."""
        if not os.path.exists(self.log):
            return []
        with open(self.log, encoding="latin-1") as lines:
            return [tuple(line.rstrip("\r\n").split("|", 2)) for line in lines if line.strip()]

    def downloaded(self, name):
        return os.path.join(self.setup_folder, name)

    # One prerequisite from the payload and two downloaded ones run in the
    # configuration's order with their command lines; the downloads lie in
    # the setup's folder at their exact size.
    def test_installs_all_in_order_then_the_package(self):
        with Nginx(self.served) as nginx:
            self.run_setup([("one", "SetupFile", "one.exe", None),
                            ("two", "Url", nginx.url("two.exe"), self.size),
                            ("three", "Url", nginx.url("three.exe"), self.size)])
        ran = self.ran()
        self.assertEqual([r[0] for r in ran], ["one", "two", "three"])
        # The installer gives its files their packaged times; the change
        # time is when the file was written.
        self.assertLessEqual(os.path.getmtime(self.log), os.stat(installed_marker(self.product)).st_ctime,
                             "the prerequisites ran before the main package")
        self.assertEqual(ran[1][2], "/log:%s /name:two /exit:3010" % windows_path(self.log))
        self.assertIn("\\korvelt-", ran[0][1], "the payload's program runs from the run's own folder")
        for name in ("two.exe", "three.exe"):
            self.assertEqual(ran[["two.exe", "three.exe"].index(name) + 1][1].lower(),
                             windows_path(self.downloaded(name)).lower())
            self.assertEqual(read(self.downloaded(name)), self.program, name)

    # A file already there at its exact size is not fetched, and is run.
    def test_file_of_exact_size_is_not_fetched(self):
        shutil.copy(PROGRAM, self.downloaded("two.exe"))
        with Nginx(self.served) as nginx:
            self.run_setup([("two", "Url", nginx.url("two.exe"), self.size)])
            requests = nginx.requests()
        self.assertEqual(requests, [])
        self.assertEqual([r[0] for r in self.ran()], ["two"])

    # A partial file is continued with a range request: only the missing
    # bytes cross the wire, and the result is the whole file.
    def test_partial_file_is_continued(self):
        half = self.size // 2
        with open(self.downloaded("two.exe"), "wb") as out:
            out.write(self.program[:half])
        with Nginx(self.served) as nginx:
            self.run_setup([("two", "Url", nginx.url("two.exe"), self.size)])
            requests = nginx.requests()
        self.assertEqual([(r.status, r.sent, r.range) for r in requests], [(206, self.size - half, "bytes=%d-" % half)])
        self.assertEqual(read(self.downloaded("two.exe")), self.program)
        self.assertEqual([r[0] for r in self.ran()], ["two"])

    # With nothing listening, every download ends NotFound; the payload's
    # program still runs, and so does the main package.
    def test_without_network_only_the_payload_program_runs(self):
        port = free_port()
        self.run_setup([("one", "SetupFile", "one.exe", None),
                        ("two", "Url", "http://127.0.0.1:%d/two.exe" % port, self.size),
                        ("three", "Url", "http://127.0.0.1:%d/three.exe" % port, self.size)])
        self.assertEqual([r[0] for r in self.ran()], ["one"])
        self.assertFalse(os.path.exists(self.downloaded("two.exe")))


class ServerFaultTest(QuietRunTest):
    """What the setup makes of servers that misbehave: whether the program is
    run, and what is left in the download folder. Each case is one quiet
    run with a single downloaded prerequisite."""

    # mode, what lies in the folder before, whether it runs, what is left
    CASES = [
        ("nolength", None, True, "whole"),
        ("redirect", None, True, "whole"),
        ("slow", None, True, "whole"),
        ("wronglength", None, False, "nothing"),
        ("404", None, False, "nothing"),
        ("404nolength", None, False, "nothing"),
        ("500", None, False, "nothing"),
        ("500nolength", None, False, "nothing"),
        # The server ignores the range: the file is written anew, whole.
        ("norange", "junk-half", True, "whole"),
        # A longer file than the server's is written anew and shortened.
        ("ok", "junk-longer", True, "whole"),
        # A body cut short is no finished file: not run, kept for next time.
        ("short", None, False, "half"),
    ]

    def test_cases(self):
        for mode, before, runs, left in self.CASES:
            with self.subTest(mode=mode, before=before):
                target = self.downloaded("two.exe")
                for stale in (target, self.log):
                    if os.path.exists(stale):
                        os.remove(stale)
                if before == "junk-half":
                    with open(target, "wb") as out:
                        out.write(b"\xAA" * (self.size // 2))
                elif before == "junk-longer":
                    with open(target, "wb") as out:
                        out.write(b"\xAA" * (self.size + 100))
                with FaultServer(self.served) as server:
                    self.run_setup([("two", "Url", server.url(mode, "two.exe"), self.size)])
                uninstall(self.package)
                self.assertEqual([r[0] for r in self.ran()], ["two"] if runs else [])
                if left == "whole":
                    self.assertEqual(read(target), self.program)
                elif left == "half":
                    self.assertEqual(read(target), self.program[:self.size // 2])
                else:
                    self.assertFalse(os.path.exists(target))

    # The plain cases of QuietRunTest are not repeated here.
    test_installs_all_in_order_then_the_package = None
    test_file_of_exact_size_is_not_fetched = None
    test_partial_file_is_continued = None
    test_without_network_only_the_payload_program_runs = None


class DigestTest(QuietRunTest):
    """Downloads with a Sha256: only a file of that content is run."""

    def setUp(self):
        super().setUp()
        self.sha256 = {"two": ["Sha256=" + hashlib.sha256(self.program).hexdigest().upper()]}
        # The same size, one byte other.
        self.other = bytearray(self.program)
        self.other[len(self.other) // 2] ^= 0x55
        self.other = bytes(self.other)

    # The right file is fetched, kept and run.
    def test_right_file_runs(self):
        with Nginx(self.served) as nginx:
            self.run_setup([("two", "Url", nginx.url("two.exe"), self.size)], self.sha256)
        self.assertEqual([r[0] for r in self.ran()], ["two"])
        self.assertEqual(read(self.downloaded("two.exe")), self.program)

    # A server that sends other bytes of the right size: refused, never
    # run, and the file is left empty for the next attempt to fetch whole.
    def test_other_content_is_refused_and_emptied(self):
        with open(os.path.join(self.served, "two.exe"), "wb") as out:
            out.write(self.other)
        with Nginx(self.served) as nginx:
            self.run_setup([("two", "Url", nginx.url("two.exe"), self.size)], self.sha256)
            requests = nginx.requests()
        self.assertEqual([(r.status, r.sent) for r in requests], [(200, self.size)])
        self.assertEqual(self.ran(), [])
        self.assertEqual(read(self.downloaded("two.exe")), b"")

    # A file of the right size but other content in the folder is not run:
    # it is fetched again, whole, and the right one runs.
    def test_wrong_file_in_the_folder_is_fetched_again(self):
        with open(self.downloaded("two.exe"), "wb") as out:
            out.write(self.other)
        with Nginx(self.served) as nginx:
            self.run_setup([("two", "Url", nginx.url("two.exe"), self.size)], self.sha256)
            requests = nginx.requests()
        self.assertEqual([(r.status, r.sent, r.range) for r in requests], [(200, self.size, None)])
        self.assertEqual([r[0] for r in self.ran()], ["two"])
        self.assertEqual(read(self.downloaded("two.exe")), self.program)

    test_installs_all_in_order_then_the_package = None
    test_file_of_exact_size_is_not_fetched = None
    test_partial_file_is_continued = None
    test_without_network_only_the_payload_program_runs = None


if __name__ == "__main__":
    unittest.main()
