"""Layouts under Wine: `setup.exe /layout:folder` makes a folder that holds
the setup and every prerequisite it downloads, checked by size and Sha256,
and nothing of its payload; a second layout of a complete folder asks for
nothing; and the setup run from the folder installs every prerequisite and
the main package with no server at all."""
import hashlib
import os
import shutil
import time
import unittest

import control_ids as ids
import driver
from harness import (RUN_KEY, TOOLS, WineTestCase, build_msi, finish, installed_marker, pack, read, registry_value,
                     run_folders, run_windows, start_windows, stop_run, uninstall, windows_path)
from servers import FaultServer, Nginx

PROGRAM = os.path.join(TOOLS, "fake_prereq.exe")
NEXT, FINISH, HINT, LIST = ids.kNextButton, ids.kFinishButton, ids.IDC_STEP_HINT, ids.IDC_PREREQ_LIST


class LayoutTest(WineTestCase):
    def setUp(self):
        super().setUp()
        self.served = self.path("served")
        os.makedirs(self.served)
        self.program = read(PROGRAM)
        shutil.copy(PROGRAM, os.path.join(self.served, "two.exe"))
        self.log = self.path("ran.log")
        self.product = "KorveltLayout%d%s" % (os.getpid(), self._testMethodName[5:13])
        self.package = build_msi(self.folder, self.product, file_name="App.msi")
        self.addCleanup(uninstall, self.package)
        self.setup_folder = self.path("setup")
        os.makedirs(self.setup_folder)
        # Two levels that do not exist yet, one with a blank.
        self.layout = self.path("new folder", "layout")

    def make_setup(self, url, quiet):
        """A setup with one prerequisite in its payload and two to download
        from `url`(name), the first pinned by its Sha256. Nothing is ever
        found, so a normal run installs all three."""
        lines = ["[GeneralOptions]", "MainAppCmdLine=/qn", "Options=q" if quiet else "Options=", "",
                 "[PREREQUISITES]", "App1=Prerequisite one", "App2=Prerequisite two", "App3=Prerequisite three"]
        sections = {"one": ["SetupFile=one.exe"],
                    "two": ["Url=" + url("two.exe"), "ExactSize=%d" % len(self.program),
                            "Sha256=" + hashlib.sha256(self.program).hexdigest()],
                    "three": ["Url=" + url("three.exe"), "ExactSize=%d" % len(self.program)]}
        for i, name in enumerate(("one", "two", "three")):
            lines += ["", "[App%d]" % (i + 1), *sections[name],
                      "CommandLine=/log:%s /name:%s" % (windows_path(self.log), name),
                      "SearchType=1", "SearchString=HKCU\\Software\\KorveltNeverThere\\%s" % name]
        config = self.path("App.ini")
        with open(config, "w") as out:
            out.write("\r\n".join(lines) + "\r\n")
        return pack(os.path.join(self.setup_folder, "setup.exe"), "--prerequisites", "--main", self.package,
                    "--config", config, "--on-demand", "one.exe=" + PROGRAM)

    def layout_command(self, setup):
        # What follows the folder is not used.
        return '"%s" /layout:"%s" /qn /extract:%s' % (windows_path(setup), windows_path(self.layout),
                                                     windows_path(self.path("nowhere")))

    def make_layout(self, setup, env=None):
        code, output = run_windows(self.layout_command(setup), cwd=self.setup_folder, timeout=300, env=env)
        return code

    def assert_layout(self, setup, names=("setup.exe", "two.exe", "three.exe")):
        """The layout holds the setup and the downloads named, byte for
        byte, and nothing else; nothing was installed or registered, and no
        run folder is left."""
        self.assertEqual(sorted(os.listdir(self.layout)), sorted(names))
        self.assertEqual(read(os.path.join(self.layout, "setup.exe")), read(setup))
        for name in names:
            if name != "setup.exe":
                self.assertEqual(read(os.path.join(self.layout, name)), self.program, name)
        self.assertFalse(os.path.exists(installed_marker(self.product)))
        self.assertFalse(os.path.exists(self.log), "no prerequisite ran")
        self.assertIsNone(registry_value(RUN_KEY, windows_path(setup)))
        self.assertIsNone(registry_value(RUN_KEY, windows_path(os.path.join(self.layout, "setup.exe"))))
        self.assertEqual(run_folders(), self.folders_before)
        self.assertFalse(os.path.exists(self.path("nowhere")))

    @staticmethod
    def box_text(probe, seconds=60):
        """The text of the latest box that says a layout is incomplete, once
        the probe has reported it whole."""
        deadline = time.monotonic() + seconds
        while True:
            report = probe.output()
            start = report.rfind('Static "The layout in ')
            end = report.find('" enabled at', start)
            if start >= 0 and end >= 0:
                return report[start + len('Static "'):end].replace("\r\n", "\n")
            if time.monotonic() > deadline:
                raise AssertionError("no box of an incomplete layout: " + report[-2000:])
            time.sleep(0.2)

    def ran(self):
        """(name, program path) of each program that ran, in order."""
        with open(self.log, encoding="latin-1") as lines:
            return [tuple(line.split("|", 2)[:2]) for line in lines if line.strip()]

    def assert_installed_from_layout(self):
        ran = self.ran()
        self.assertEqual([r[0] for r in ran], ["one", "two", "three"])
        for name, path in ran[1:]:
            self.assertEqual(path.lower(), windows_path(os.path.join(self.layout, name + ".exe")).lower())
        self.assertTrue(os.path.exists(installed_marker(self.product)), "the main package is installed")
        self.assertIsNone(registry_value(RUN_KEY, windows_path(os.path.join(self.layout, "setup.exe"))))

    # With windows: the download window shows both files while one is held
    # back; the dead address is named in a box and the exit code says the
    # layout is incomplete, with the other file complete. A second layout
    # fetches the missing file alone, a third with the server gone asks for
    # nothing, and the wizard run from the layout installs without a
    # server.
    def test_layout_with_windows(self):
        self.folders_before = run_folders()
        watcher = driver.Watcher()
        try:
            with FaultServer(self.served) as server:
                server.script = ["held", "404", "ok"]
                setup = self.make_setup(lambda name: server.url("scripted", name), quiet=False)
                shutil.copy(PROGRAM, os.path.join(self.served, "three.exe"))
                run = watcher.watch(start_windows(self.layout_command(setup), cwd=self.setup_folder))
                self.addCleanup(stop_run, run)
                window = watcher.wait_for(
                    lambda d: d.caption == "Downloading..." and d.control(id=ids.IDC_DOWNLOAD_LIST) is not None and
                    len(d.control(id=ids.IDC_DOWNLOAD_LIST).rows) == 2, what="the download window")
                self.assertEqual([r[0] for r in window.control(id=ids.IDC_DOWNLOAD_LIST).rows],
                                 [server.url("scripted", "two.exe"), server.url("scripted", "three.exe")])
                self.assertTrue(window.control(id=ids.IDC_PAUSE_RESUME, text="Pause").enabled)
                server.release()
                box = watcher.wait_for(lambda d: d.caption == "Korvelt Setup" and d.control(text="OK") is not None,
                                       what="the box that names what is missing")
                # The box's text runs over several lines, which the watcher
                # does not parse: the probe's own report holds it whole.
                text = self.box_text(watcher.probe)
                self.assertTrue(text.startswith("The layout in %s\\ is incomplete." % windows_path(self.layout)), text)
                self.assertTrue(text.endswith("could not be downloaded:\n\nPrerequisite three\n"), text)
                driver.click(box.control(text="OK"))
                self.assertEqual(finish(run, timeout=300, probe=watcher.probe), 1612)
                self.assert_layout(setup, ("setup.exe", "two.exe"))
                # Again: only the missing file is asked for.
                asked = len(server.requests())
                self.assertEqual(self.make_layout(setup), 0)
                self.assertEqual([r.path for r in server.requests()[asked:]], ["/scripted/three.exe"])
            self.assert_layout(setup)
            self.assertEqual(self.make_layout(setup), 0, "a complete layout needs no server")
            self.assert_layout(setup)

            run = watcher.watch(start_windows('"%s"' % windows_path(os.path.join(self.layout, "setup.exe")),
                                              cwd=self.layout))
            info = watcher.wait_for(lambda d: d.control(id=NEXT) is not None and d.control(id=NEXT).enabled and
                                    d.control(id=LIST) is None, what="the Information page")
            driver.click(info.control(id=NEXT))
            page = watcher.wait_for(lambda d: d.control(id=LIST) is not None and
                                    [r[-1] for r in d.control(id=LIST).rows] == ["Install"] * 3,
                                    what="every prerequisite to install from the layout")
            driver.click(page.control(id=NEXT))
            page = watcher.wait_for(
                lambda d: d.control(id=HINT) is not None and
                d.control(id=HINT).text == "Please press the Finish button to install the main application.",
                what="the end of the installs")
            driver.click(page.control(id=FINISH))
            self.assertEqual(finish(run, timeout=300, probe=watcher.probe), 0)
        finally:
            watcher.stop()
        self.assert_installed_from_layout()

    # Quietly: no window at all; a dead address ends in 1612 with the other
    # file complete; the layout is completed by a second run, checked by a
    # third without a server, and installs quietly without one.
    def test_quiet_layout(self):
        self.folders_before = run_folders()
        log = self.path("layout.log")
        with Nginx(self.served) as nginx:
            setup = self.make_setup(nginx.url, quiet=True)
            self.assertEqual(self.make_layout(setup, env={"KORVELT_LOG": windows_path(log)}), 1612,
                             "three.exe is not served")
            self.assert_layout(setup, ("setup.exe", "two.exe"))
            # The log tells the layout as it tells a normal run.
            with open(log, encoding="latin-1") as lines:
                texts = [line.rstrip("\r\n").split("] ", 1)[1] for line in lines]
            self.assertIn('layout into "%s\\"' % windows_path(self.layout), texts)
            self.assertIn("layout: 1 downloads missing", texts)
            self.assertEqual(texts[-1], "exit code 1612")
            shutil.copy(PROGRAM, os.path.join(self.served, "three.exe"))
            asked = len(nginx.requests())
            self.assertEqual(self.make_layout(setup), 0)
            self.assertEqual([(r.path, r.status) for r in nginx.requests()[asked:]], [("/three.exe", 200)])
        self.assert_layout(setup)
        self.assertEqual(self.make_layout(setup), 0, "a complete layout needs no server")
        self.assert_layout(setup)

        code, output = run_windows('"%s"' % windows_path(os.path.join(self.layout, "setup.exe")), cwd=self.layout,
                                   timeout=300)
        self.assertEqual(code, 0, output)
        self.assert_installed_from_layout()

    # Cancel in the download window ends the layout with 1602, as a
    # cancelled wizard does, without a box; what came is kept.
    def test_cancelled_layout(self):
        self.folders_before = run_folders()
        watcher = driver.Watcher()
        try:
            with FaultServer(self.served) as server:
                server.script = ["held"]
                setup = self.make_setup(lambda name: server.url("scripted", name), quiet=False)
                run = watcher.watch(start_windows(self.layout_command(setup), cwd=self.setup_folder))
                self.addCleanup(stop_run, run)
                window = watcher.wait_for(
                    lambda d: d.caption == "Downloading..." and d.control(id=ids.IDCANCEL) is not None,
                    what="the download window")
                driver.click(window.control(id=ids.IDCANCEL))
                self.assertEqual(finish(run, timeout=300, probe=watcher.probe), 1602)
            self.assertFalse(watcher.seen(lambda d: d.caption == "Korvelt Setup"), "no box")
        finally:
            watcher.stop()
        self.assertEqual(sorted(os.listdir(self.layout)), ["setup.exe", "two.exe"])
        self.assertLess(os.path.getsize(os.path.join(self.layout, "two.exe")), len(self.program))
        self.assertFalse(os.path.exists(installed_marker(self.product)))
        self.assertIsNone(registry_value(RUN_KEY, windows_path(setup)))


if __name__ == "__main__":
    unittest.main()
