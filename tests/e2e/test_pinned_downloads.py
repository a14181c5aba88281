"""Quiet runs under Wine in which a download must be the file its author
pinned with ExactSize, Sha256 and its name, whatever the server sends: a
body without a length is held to ExactSize, two downloads under one name
never take each other's file nor the setup's own, an address with a query
or ending in / is saved under a name Windows stores, an error status fails
only its own download, a verified file is kept, and a second start of a
setup that is running changes nothing."""
import contextlib
import hashlib
import os
import re
import shutil
import subprocess
import time
import unittest

import control_ids as ids
import driver
from harness import (ARTIFACTS, TOOLS, WineTestCase, build_msi, finish, installed_marker, pack, read, run_folders,
                     run_windows, screenshot, start_windows, uninstall, windows_path, wine_env)
from servers import PORTAL_PAGE, FaultServer, free_port

PROGRAM = os.path.join(TOOLS, "fake_prereq.exe")
NEXT, CANCEL, HINT, LIST = ids.kNextButton, ids.IDCANCEL, ids.IDC_STEP_HINT, ids.IDC_PREREQ_LIST
WRONG_CONTENT = ("The file downloaded for Web Runtime is not the one this setup expects. It may have been changed "
                 "on the server or on its way, and it will not be used.")
# The setup's own name, unless a case is about that name.
SETUP = "product-setup.exe"


def configuration(prerequisites, log):
    """A quiet configuration; each prerequisite is (name, url, size, further
    lines of its section). Nothing is ever found, so every address is
    downloaded."""
    lines = ["[GeneralOptions]", "MainAppCmdLine=/qn", "Options=q", "", "[PREREQUISITES]"]
    lines += ["App%d=Prerequisite %s" % (i + 1, p[0]) for i, p in enumerate(prerequisites)]
    for i, (name, url, size, extra) in enumerate(prerequisites):
        lines += ["", "[App%d]" % (i + 1), "Url=" + url, "ExactSize=%d" % size, *extra,
                  "CommandLine=/log:%s /name:%s" % (windows_path(log), name),
                  "SearchType=1", "SearchString=HKCU\\Software\\KorveltNeverThere\\%s" % name]
    return "\r\n".join(lines) + "\r\n"


def stand_in(config):
    """The configuration with every address and file name replaced by a
    plain one of the same length, which the packer takes whatever it makes
    of the real ones."""
    count = iter(range(1000))

    def address(match):
        name = "p%d" % next(count)
        return "Url=http://h/" + name.ljust(len(match.group(1)) - len("http://h/.exe"), "x") + ".exe"
    config = re.sub(r"(?m)^Url=(.*)$", address, config.replace("\r\n", "\n")).replace("\n", "\r\n")
    return config.replace("FileName=", "FileNam_=")


def pack_as_given(out, work, config, *arguments):
    """A setup whose configuration holds `config` as it is written. Several
    cases here configure what the packer refuses; a setup may still be given
    such a configuration (by an older packer, or edited by hand), so the
    packer is handed a stand-in of the same length whose bytes are then
    replaced in the setup."""
    standing = stand_in(config).encode("latin-1")
    real = config.encode("latin-1")
    assert len(standing) == len(real)
    written = os.path.join(work, "App.ini")
    with open(written, "wb") as file:
        file.write(standing)
    pack(out, "--prerequisites", "--config", written, *arguments)
    os.remove(written)
    data = read(out)
    if data.count(standing) != 1:
        raise AssertionError("the configuration is not stored once, as written, in " + out)
    with open(out, "wb") as file:
        file.write(data.replace(standing, real))
    return out


class PinnedDownloadTest(WineTestCase):
    """One quiet run per case: a setup in a folder of its own, which is
    where it downloads, and a main package that must install whatever the
    downloads come to."""

    def setUp(self):
        super().setUp()
        self.served = self.path("served")
        os.makedirs(self.served)
        self.program = read(PROGRAM)
        self.size = len(self.program)
        self.log = self.path("ran.log")
        self.product = "KorveltPinned%d%s" % (os.getpid(), self._testMethodName[5:13])
        self.package = build_msi(self.folder, self.product, file_name="App.msi")
        self.addCleanup(uninstall, self.package)
        self.servers = []

    def serve(self, name, data, root=None):
        with open(os.path.join(root or self.served, name), "wb") as out:
            out.write(data)

    def fresh_folder(self):
        """An empty folder for the setup, and no log of programs run."""
        self.setup_folder = self.path("setup")
        shutil.rmtree(self.setup_folder, ignore_errors=True)
        os.makedirs(self.setup_folder)
        if os.path.exists(self.log):
            os.remove(self.log)

    def make_setup(self, prerequisites, name=SETUP):
        main = os.path.join(self.folder, "App.msi")
        return pack_as_given(os.path.join(self.setup_folder, name), self.folder,
                             configuration(prerequisites, self.log), "--main", main)

    def run_setup(self, setup, timeout=300):
        """Runs the setup quietly; returns how long it took. Whatever its
        downloads came to, it ends with the main package installed."""
        started = time.monotonic()
        code, output = run_windows('"%s"' % windows_path(setup), cwd=self.setup_folder, timeout=timeout)
        seconds = time.monotonic() - started
        self.assertEqual(code, 0, output)
        self.assertTrue(os.path.exists(installed_marker(self.product)), "the main package is installed")
        uninstall(self.package)
        return seconds

    def ran(self):
        """The name of each program that ran, in order."""
        if not os.path.exists(self.log):
            return []
        with open(self.log, encoding="latin-1") as lines:
            return [line.split("|", 1)[0] for line in lines if line.strip()]

    def left(self, name=SETUP):
        """What the setup's folder holds beside the setup, by name."""
        return {entry: read(os.path.join(self.setup_folder, entry))
                for entry in os.listdir(self.setup_folder) if entry != name}

    @contextlib.contextmanager
    def kept_on_failure(self, label):
        """Keeps the setup's folder, the programs run and the servers'
        requests under build/e2e when the case fails."""
        try:
            yield
        except BaseException:
            kept = os.path.join(ARTIFACTS, "%s-%s" % (self.id().rsplit(".", 1)[-1], re.sub(r"\W+", "-", label)))
            shutil.rmtree(kept, ignore_errors=True)
            shutil.copytree(self.setup_folder, os.path.join(kept, "setup"))
            with open(os.path.join(kept, "requests.txt"), "w") as out:
                for server in self.servers:
                    out.write("".join("%r\n" % r for r in server.requests()))
            if os.path.exists(self.log):
                shutil.copy(self.log, kept)
            raise

    def server(self, root=None):
        server = FaultServer(root or self.served)
        self.servers.append(server)
        return server


class ExactSizeTest(PinnedDownloadTest):
    """A body without a length is held to ExactSize like one with a length."""

    # mode, whether the program runs, what the file holds afterwards
    CASES = [
        ("chunked", True, "whole"),
        ("chunkedlonger", False, "nothing"),
        ("nolengthlonger", False, "nothing"),
        ("nolengthshort", False, "nothing"),
        ("portal", False, "nothing"),
        ("portalcut", False, "nothing"),
    ]

    # A body of another size is refused and the file left empty, so that it
    # is neither run nor continued; one of the right size runs.
    def test_bodies_without_a_length(self):
        self.serve("two.exe", self.program)
        for mode, runs, left in self.CASES:
            with self.subTest(mode=mode):
                self.fresh_folder()
                with self.server() as server, self.kept_on_failure(mode):
                    self.run_setup(self.make_setup([("two", server.url(mode, "two.exe"), self.size, [])]))
                    self.assertEqual([r.path for r in server.log], ["/%s/two.exe" % mode])
                    self.assertEqual(self.ran(), ["two"] if runs else [])
                    self.assertEqual(self.left(), {"two.exe": self.program if left == "whole" else b""})

    # A stream of 200 MiB against a file of 44 KiB: never written past
    # ExactSize, refused, and the run ends soon after the file's size.
    def test_endless_stream_stops_at_exact_size(self):
        self.serve("two.exe", self.program)
        self.fresh_folder()
        with self.server() as server, self.kept_on_failure("endless"):
            seconds = self.run_setup(self.make_setup([("two", server.url("endless", "two.exe"), self.size, [])]))
            self.assertEqual(self.ran(), [])
            self.assertEqual(self.left(), {"two.exe": b""})
            self.assertEqual(len(server.log), 1)
            self.assertLess(seconds, 120, "the run ends once the stream passes ExactSize")

    # mode of the first run's answer; the second run's server is a good one
    FIRST_ANSWERS = ["portal", "portalcut", "nolengthshort", "chunkedlonger"]

    # What a first run refused is not continued by the next: on a good
    # network the whole file is fetched from its first byte and runs.
    def test_next_run_fetches_the_whole_file(self):
        self.serve("two.exe", self.program)
        for first in self.FIRST_ANSWERS:
            with self.subTest(first=first):
                self.fresh_folder()
                with self.server() as server, self.kept_on_failure(first):
                    server.script = [first, "ok"]
                    setup = self.make_setup([("two", server.url("scripted", "two.exe"), self.size, [])])
                    self.run_setup(setup)
                    self.assertEqual(self.ran(), [])
                    self.run_setup(setup)
                    self.assertEqual([(r.status, r.range) for r in server.log[1:]], [(200, None)])
                    self.assertEqual(self.ran(), ["two"])
                    saved = self.left()["two.exe"]
                    self.assertFalse(saved.startswith(PORTAL_PAGE[:6]), "no sign-in page in front")
                    self.assertEqual(saved, self.program)


class SameNameTest(PinnedDownloadTest):
    """Two downloads whose addresses end in the same name, and a download
    named like the setup: no program runs another's bytes, no good file is
    written over."""

    def setUp(self):
        super().setUp()
        # Programs of two sizes and two contents, each of which runs.
        self.files = {"short": self.program, "long0": self.program + b"\0" * 7000,
                      "long1": self.program + b"\x11" * 7000}
        self.other_root = self.path("other")
        os.makedirs(self.other_root)

    # label, the first file, the second's server, name and file, whether it runs
    CASES = [
        ("a shorter file, then a longer", "short", "other", "vcredist_x86.exe", "long0", False),
        ("a longer file, then a shorter", "long0", "other", "vcredist_x86.exe", "short", False),
        ("the same size from another server", "long0", "other", "VCREDIST_X86.EXE", "long1", False),
        ("the same address and size", "long0", "one", "vcredist_x86.exe", "long0", True),
    ]

    # The first is fetched and run; a second of another address or size
    # fails without a request and without touching the first's file.
    def test_two_downloads_under_one_name(self):
        for label, first, where, second_name, second, runs in self.CASES:
            with self.subTest(label):
                self.fresh_folder()
                self.serve("vcredist_x86.exe", self.files[first])
                self.serve(second_name, self.files[second], self.other_root)
                with self.server() as one, self.server(self.other_root) as other, self.kept_on_failure(label):
                    second_server = one if where == "one" else other
                    first_url = one.url("ok", "vcredist_x86.exe")
                    second_url = first_url if where == "one" else other.url("ok", second_name)
                    self.run_setup(self.make_setup([("A", first_url, len(self.files[first]), []),
                                                    ("B", second_url, len(self.files[second]), [])]))
                    self.assertEqual(self.ran(), ["A", "B"] if runs else ["A"])
                    self.assertEqual(self.left(), {"vcredist_x86.exe": self.files[first]})
                    if second_server is other:
                        self.assertEqual(other.log, [], "the second is not fetched")

    # label, the address's path, its FileName
    SELF_NAMES = [
        ("the address's name", "SETUP.EXE", None),
        ("FileName", "runtime.exe", "Setup.exe"),
    ]

    # A download named like the setup, in the setup's own folder, fails and
    # leaves the setup as it was.
    def test_download_named_like_the_setup(self):
        for label, path, file_name in self.SELF_NAMES:
            with self.subTest(label):
                self.fresh_folder()
                self.serve(path, self.program)
                with self.server() as server, self.kept_on_failure(label):
                    extra = ["FileName=" + file_name] if file_name else []
                    setup = self.make_setup([("A", server.url("ok", path), self.size, extra)], name="setup.exe")
                    before = read(setup)
                    self.run_setup(setup)
                    self.assertEqual(read(setup), before)
                    self.assertEqual(server.log, [])
                    self.assertEqual(self.ran(), [])
                    self.assertEqual(self.left("setup.exe"), {})


class DownloadNameTest(PinnedDownloadTest):
    """The local name of an address with a query, a fragment or a closing
    slash, and the FileName that names it outright."""

    # label, the address's path, its FileName, the name it is saved as
    # (None: it fails, with no request and nothing written)
    CASES = [
        ("a query", "setup.exe?token=abc", None, "setup.exe"),
        ("a fragment", "two.exe#part", None, "two.exe"),
        ("a closing slash and FileName", "fwlink/?linkid=1", "vc.exe", "vc.exe"),
        ("a closing slash without FileName", "fwlink/?linkid=1", None, None),
        ("a folder", "dir/", None, None),
        ("a device name as FileName", "two.exe", "aux.exe", None),
    ]

    def test_local_names(self):
        for name in ("setup.exe", "two.exe", "fwlink", "dir"):
            self.serve(name, self.program)
        for label, path, file_name, saved in self.CASES:
            with self.subTest(label):
                self.fresh_folder()
                with self.server() as server, self.kept_on_failure(label):
                    extra = ["FileName=" + file_name] if file_name else []
                    self.run_setup(self.make_setup([("A", server.url("ok", path), self.size, extra)]))
                    if saved:
                        # Wine's WinINet sends a fragment on, Windows' does not.
                        self.assertEqual([r.path.split("#")[0] for r in server.log], ["/ok/" + path.split("#")[0]])
                        self.assertEqual(self.ran(), ["A"])
                        self.assertEqual(self.left(), {saved: self.program})
                    else:
                        self.assertEqual(server.log, [])
                        self.assertEqual(self.ran(), [])
                        self.assertEqual(self.left(), {})


class ErrorStatusTest(PinnedDownloadTest):
    """An error status fails its own download only; a server that cannot be
    reached ends the downloads."""

    # label, each download's mode ("refused": nothing listens)
    CASES = [
        ("404 third", ["ok", "ok", "404", "ok", "ok", "ok"]),
        ("500 third", ["ok", "ok", "500", "ok", "ok", "ok"]),
        ("first 404, last 500", ["404", "ok", "ok", "500"]),
        ("refused second", ["ok", "refused", "ok"]),
    ]

    def test_statuses(self):
        for label, modes in self.CASES:
            with self.subTest(label):
                self.fresh_folder()
                with self.server() as server, self.kept_on_failure(label):
                    prerequisites = []
                    for i, mode in enumerate(modes):
                        name = "p%d.exe" % (i + 1)
                        self.serve(name, self.program)
                        url = "http://127.0.0.1:%d/ok/%s" % (free_port(), name) if mode == "refused" else \
                            server.url(mode, name)
                        prerequisites.append(("p%d" % (i + 1), url, self.size, []))
                    self.run_setup(self.make_setup(prerequisites))
                    # Downloads after one that found no server are not tried.
                    reached = modes.index("refused") if "refused" in modes else len(modes)
                    self.assertEqual([r.path for r in server.log],
                                     ["/%s/p%d.exe" % (mode, i + 1) for i, mode in enumerate(modes[:reached])])
                    good = [i for i, mode in enumerate(modes[:reached]) if mode == "ok"]
                    self.assertEqual(self.ran(), ["p%d" % (i + 1) for i in good])
                    self.assertEqual({name for name, data in self.left().items() if data},
                                     {"p%d.exe" % (i + 1) for i in good})


class VerifiedFileTest(PinnedDownloadTest):
    """With Sha256, a file of the full size and the pinned content is the
    file, whether it lay there before or another download of the same
    address brought it."""

    # label, whether the right file lies there before, how many downloads
    # of the address, what the server answers in turn, requests expected
    CASES = [
        ("right file there before", True, 1, ["ok"], 0),
        ("the same address twice", False, 2, ["ok"], 1),
        ("the same address twice, the server gone after one answer", False, 2, ["ok", "500"], 1),
    ]

    def test_verified_file_is_kept(self):
        self.serve("two.exe", self.program)
        digest = ["Sha256=" + hashlib.sha256(self.program).hexdigest().upper()]
        for label, there, count, script, requests in self.CASES:
            with self.subTest(label):
                self.fresh_folder()
                if there:
                    self.serve("two.exe", self.program, self.setup_folder)
                with self.server() as server, self.kept_on_failure(label):
                    server.script = list(script)
                    url = server.url("scripted", "two.exe")
                    names = ["two%d" % (i + 1) for i in range(count)]
                    self.run_setup(self.make_setup([(name, url, self.size, digest) for name in names]))
                    self.assertEqual(len(server.log), requests, server.log)
                    self.assertEqual(self.ran(), names)
                    self.assertEqual(self.left(), {"two.exe": self.program})



class WizardWrongContentTest(PinnedDownloadTest):
    """The wizard's word for a download of the right size and other content."""

    # The box names the prerequisite and says the file is not the expected
    # one; no box speaks of a wrong size; the file is neither run nor kept.
    def test_box_names_the_prerequisite(self):
        other = bytearray(self.program)
        other[len(other) // 2] ^= 0x55
        self.serve("two.exe", bytes(other))
        self.fresh_folder()
        digest = "Sha256=" + hashlib.sha256(self.program).hexdigest().upper()
        with self.server() as server, self.kept_on_failure("wizard"):
            lines = ["[PREREQUISITES]", "App1=Web Runtime", "", "[App1]", "Url=" + server.url("ok", "two.exe"),
                     "ExactSize=%d" % self.size, digest, "CommandLine=/log:%s /name:App1" % windows_path(self.log),
                     "SearchType=1", "SearchString=HKCU\\Software\\KorveltNeverThere\\App1"]
            setup = pack_as_given(os.path.join(self.setup_folder, SETUP), self.folder, "\r\n".join(lines) + "\r\n",
                                  "--main", os.path.join(self.folder, "App.msi"))
            watcher = driver.Watcher()
            run = watcher.watch(start_windows('"%s"' % windows_path(setup), cwd=self.setup_folder))
            try:
                def wizard(test, what):
                    return watcher.wait_for(lambda d: d.caption == "Korvelt Setup" and test(d), what=what)
                info = wizard(lambda d: d.control(id=NEXT) is not None and d.control(id=NEXT).enabled,
                              "the Information page")
                driver.click(info.control(id=NEXT))
                page = wizard(lambda d: d.control(id=LIST) is not None and len(d.control(id=LIST).rows) == 1,
                              "the PreRequisites page")
                self.assertEqual([r[-1] for r in page.control(id=LIST).rows], ["Download"])
                driver.click(page.control(id=NEXT))
                box = watcher.wait_for(lambda d: any(WRONG_CONTENT in t for t in d.texts()), what="the box")
                screenshot("pinned-wrong-content-box")
                self.assertIn(WRONG_CONTENT, box.texts())
                driver.click(box.control(text="OK"))
                # A failed download is not found afterwards.
                page = wizard(lambda d: d.control(id=LIST) is not None and
                              [r[-1] for r in d.control(id=LIST).rows] == ["Not Found"],
                              "the PreRequisites page with the row not found")
                self.assertFalse(watcher.seen(lambda d: any("Wrong file size" in t for t in d.texts())))
                driver.click(page.control(id=CANCEL))
                code = finish(run, timeout=120)
            except BaseException:
                screenshot("pinned-wrong-content-failed")
                if run.poll() is None:
                    run.kill()
                    run.wait()
                    subprocess.run(["wineserver", "-k"], env=wine_env(), timeout=60)
                raise
            finally:
                watcher.stop()
            self.assertEqual(code, 1602)
            self.assertEqual(len(server.log), 1)
            self.assertEqual(self.ran(), [])
            self.assertEqual(self.left(), {"two.exe": b""})


class SingleRunTest(PinnedDownloadTest):
    """One run of a setup at a time."""

    # A second start of a quiet setup while the first is downloading ends at
    # once with 1618 and changes nothing: no request, no box, no folder
    # left; the first then completes as if alone.
    def test_second_start_changes_nothing(self):
        self.serve("two.exe", self.program)
        self.fresh_folder()
        with self.server() as server, self.kept_on_failure("second start"):
            setup = self.make_setup([("two", server.url("held", "two.exe"), self.size, [])])
            first = start_windows('"%s"' % windows_path(setup), cwd=self.setup_folder)
            try:
                self.assertTrue(server.arrived.wait(120), "the first run asks for its download")
                # The server holds the second half back: once the first run
                # has written what it could read of the first half (whole
                # reads only), the folder stands still.
                left, deadline = None, time.monotonic() + 60
                while time.monotonic() < deadline:
                    time.sleep(1.5)
                    now = self.left()
                    if now == left and now.get("two.exe") and self.program.startswith(now["two.exe"]):
                        break
                    left = now
                self.assertTrue(left.get("two.exe") and self.program.startswith(left["two.exe"]),
                                "the first run writes part of the file")
                folders = run_folders()
                watcher = driver.Watcher()
                try:
                    started = time.monotonic()
                    second = watcher.watch(start_windows('"%s"' % windows_path(setup), cwd=self.setup_folder))
                    code = finish(second, timeout=120)
                    output = second.output()
                    seconds = time.monotonic() - started
                    self.assertFalse(watcher.seen(lambda d: any("already running" in t for t in d.texts())))
                finally:
                    watcher.stop()
                self.assertEqual(code, 1618, output)
                self.assertLess(seconds, 30, "the second start does not wait for the first")
                self.assertEqual(run_folders(), folders)
                self.assertEqual(self.left(), left)
                self.assertEqual(self.ran(), [])
                self.assertFalse(os.path.exists(installed_marker(self.product)))
                server.release()
                self.assertEqual(finish(first, timeout=300), 0)
            except BaseException:
                if first.poll() is None:
                    first.kill()
                    first.wait()
                    subprocess.run(["wineserver", "-k"], env=wine_env(), timeout=60)
                raise
            self.assertEqual(len(server.log), 1, server.log)
            self.assertEqual(self.ran(), ["two"])
            self.assertEqual(self.left(), {"two.exe": self.program})
            self.assertTrue(os.path.exists(installed_marker(self.product)))


if __name__ == "__main__":
    unittest.main()
