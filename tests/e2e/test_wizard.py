"""The wizard driven as a user would, under Wine and Xvfb: clicks through
xdotool, the windows read back through the dialog probe, a download from
nginx on 127.0.0.1 with its progress, pause and resume, the installation
step, and the main package; a second run cancelled."""
import os
import time
import unittest

import control_ids as ids
import driver
from harness import (RUN_KEY, TOOLS, WineTestCase, build_msi, finish, installed_marker, pack, read,
                     registry_value, run_folders, screenshot, start_windows, stop_run, uninstall, windows_path)
from servers import Nginx

PROGRAM = os.path.join(TOOLS, "fake_prereq.exe")
NEXT, FINISH, CANCEL, BACK = ids.kNextButton, ids.kFinishButton, ids.IDCANCEL, ids.kBackButton
HINT, LIST, FOLDER, BROWSE = ids.IDC_STEP_HINT, ids.IDC_PREREQ_LIST, ids.IDC_DOWNLOAD_FOLDER, ids.IDC_BROWSE
PAUSE, SPEED = ids.IDC_PAUSE_RESUME, ids.IDC_DOWNLOAD_SPEED
CURRENT_BAR, GLOBAL_BAR = ids.IDC_CURRENT_PROGRESS, ids.IDC_TOTAL_PROGRESS


def configuration(url, size, log):
    lines = ["[PREREQUISITES]", "App1=Payload Runtime", "App2=Web Runtime", "App3=Old Windows Runtime"]
    sections = [("App1", "SetupFile=one.exe"), ("App2", "Url=%s\r\nExactSize=%d" % (url, size)),
                ("App3", "TargetOS=0\r\nSetupFile=one.exe")]
    for name, source in sections:
        # Found once a program has run: the log the programs write, which the
        # search after each program finds.
        lines += ["", "[%s]" % name, source, "CommandLine=/log:%s /name:%s /wait:1500" % (windows_path(log), name),
                  "SearchType=0", "SearchString=%s" % windows_path(log)]
    return "\r\n".join(lines) + "\r\n"


class WizardTest(WineTestCase):
    def setUp(self):
        super().setUp()
        self.served = self.path("served")
        os.makedirs(self.served)
        # A setup program of 4 MiB, so that the download can be watched:
        # the bytes behind the image do not stop it from running.
        self.program = read(PROGRAM) + b"\0" * (4 << 20)
        with open(os.path.join(self.served, "two.exe"), "wb") as out:
            out.write(self.program)
        self.log = self.path("ran.log")
        self.product = "KorveltWizard%d%s" % (os.getpid(), self._testMethodName[5:13])
        self.package = build_msi(self.folder, self.product, file_name="App.msi")
        self.addCleanup(uninstall, self.package)
        self.setup_folder = self.path("setup")
        os.makedirs(self.setup_folder)

    def make_setup(self, url):
        config = self.path("App.ini")
        with open(config, "w") as out:
            out.write(configuration(url, len(self.program), self.log))
        return pack(os.path.join(self.setup_folder, "setup.exe"), "--prerequisites", "--main", self.package,
                    "--config", config, "--on-demand", "one.exe=" + PROGRAM)

    def start(self, setup, watcher):
        """Starts the setup, whose windows `watcher` reads; a test that fails
        half way does not leave it (or a window of it) running: Wine's
        processes of the prefix are ended."""
        run = watcher.watch(start_windows('"%s"' % windows_path(setup), cwd=self.setup_folder))

        self.addCleanup(stop_run, run)
        return run

    def ran(self):
        if not os.path.exists(self.log):
            return []
        with open(self.log, encoding="latin-1") as lines:
            return [line.split("|", 1)[0] for line in lines if line.strip()]

    def page(self, watcher, test, what):
        return watcher.wait_for(lambda d: d.caption == "Korvelt Setup" and test(d), what=what)

    # Next, the list, a download with pause and resume, the installation
    # step, Finish, and the main package installed after the prerequisites.
    def test_download_install_and_finish(self):
        with Nginx(self.served, rate="512k") as nginx:
            setup = self.make_setup(nginx.url("two.exe"))
            watcher = driver.Watcher()
            try:
                run = self.start(setup, watcher)
                info = self.page(watcher, lambda d: d.control(id=NEXT) and d.control(id=NEXT).enabled and
                                 d.control(kind="RICHEDIT") is not None, "the Information page")
                self.assertFalse(info.control(id=BACK).enabled)
                self.assertTrue(info.control(id=FINISH).enabled)
                screenshot("wizard-information")
                driver.click(info.control(id=NEXT))

                page = self.page(watcher, lambda d: d.control(id=LIST) is not None and
                                 len(d.control(id=LIST).rows) == 3, "the PreRequisites page")
                rows = page.control(id=LIST).rows
                self.assertEqual([r[0] for r in rows], ["Payload Runtime", "Web Runtime", "Old Windows Runtime"])
                self.assertEqual([r[-1] for r in rows], ["Install", "Download", "Don't Install"])
                self.assertEqual(rows[2][1], "Not required for this operating system.")
                self.assertEqual(page.control(id=HINT).text,
                                 "Please press the Next button to start downloading the prerequisites.")
                self.assertEqual(page.control(id=FOLDER).text.lower(), windows_path(self.setup_folder).lower() + "\\")
                screenshot("wizard-prerequisites")
                driver.click(page.control(id=NEXT))

                downloading = watcher.wait_for(lambda d: d.control(id=PAUSE) is not None and
                                               d.control(id=CURRENT_BAR).position[0] > 0, what="download progress")
                driver.click(downloading.control(id=PAUSE))
                paused = watcher.wait_for(lambda d: d.control(id=PAUSE) is not None and
                                          d.control(id=PAUSE).text == "Resume", what="Resume")
                # Paused, the worker reads nothing more (once a read under way
                # is written): the bar stands still.
                def latest():
                    return watcher.wait_for(lambda d: d.handle == paused.handle and d.control(id=CANCEL) is not None,
                                            what="the paused dialog").control(id=CURRENT_BAR).position
                time.sleep(1.0)
                settled = latest()
                time.sleep(1.5)
                still = latest()
                self.assertEqual(still, settled)
                self.assertLess(still[0], still[1], "paused before the end")
                screenshot("download-paused")
                # Resumed, it goes on to the end (the page's next step shows it).
                driver.click(paused.control(id=PAUSE))
                page = watcher.wait_for(
                    lambda d: d.control(id=HINT) is not None and
                    d.control(id=HINT).text == "Please press the Next button to install the prerequisites." and
                    [r[-1] for r in d.control(id=LIST).rows] == ["Install", "Install", "Don't Install"],
                    timeout=120, what="the install step with the download done")
                driver.click(page.control(id=NEXT))
                # The probe reads the list before the hint line, so one report
                # may catch the page between the two: the test waits for both.
                page = watcher.wait_for(
                    lambda d: d.control(id=HINT) is not None and
                    d.control(id=HINT).text == "Please press the Finish button to install the main application." and
                    [r[-1] for r in d.control(id=LIST).rows] == ["Installed", "Installed", "Don't Install"],
                    what="the finish step with every row installed")
                self.assertTrue(watcher.seen(lambda d: d.caption == "Launching PreRequisites"))
                self.assertFalse(page.control(id=NEXT).enabled)
                screenshot("wizard-finish")
                driver.click(page.control(id=FINISH))
                code = finish(run, timeout=300, probe=watcher.probe)
            finally:
                watcher.stop()
        self.assertEqual(code, 0)
        self.assertEqual(self.ran(), ["App1", "App2"])
        self.assertEqual(read(os.path.join(self.setup_folder, "two.exe")), self.program)
        self.assertTrue(os.path.exists(installed_marker(self.product)))
        self.assertIsNone(registry_value(RUN_KEY, windows_path(setup)))

    # A folder picked with Browse that already holds a file of the exact
    # size turns the download into an installation of that file; a row
    # overridden with the chooser is not installed.
    def test_chooser_override_and_browsed_folder(self):
        elsewhere = self.path("elsewhere")
        os.makedirs(elsewhere)
        with open(os.path.join(elsewhere, "two.exe"), "wb") as out:
            out.write(self.program)
        with Nginx(self.served) as nginx:
            setup = self.make_setup(nginx.url("two.exe"))
            watcher = driver.Watcher()
            try:
                run = self.start(setup, watcher)
                info = self.page(watcher, lambda d: d.control(id=NEXT) and d.control(id=NEXT).enabled,
                                 "the Information page")
                driver.click(info.control(id=NEXT))
                page = self.page(watcher, lambda d: d.control(id=LIST) is not None and
                                 len(d.control(id=LIST).rows) == 3, "the PreRequisites page")
                self.assertEqual([r[-1] for r in page.control(id=LIST).rows], ["Install", "Download", "Don't Install"])
                driver.click(page.control(id=BROWSE))
                picker = watcher.wait_for(lambda d: d.caption == "Browse for Folder" and
                                          d.control(kind="SysTreeView32") is not None, what="the folder picker")
                self.assertIn("Select the download folder.", picker.texts())
                screenshot("wizard-browse")
                driver.browse_to(picker, elsewhere)
                page = self.page(watcher, lambda d: d.control(id=FOLDER) is not None and
                                 d.control(id=FOLDER).text.lower() == windows_path(elsewhere).lower() + "\\" and
                                 [r[-1] for r in d.control(id=LIST).rows] == ["Install", "Install", "Don't Install"],
                                 "the browsed folder with its file counted")
                self.assertEqual(page.control(id=HINT).text,
                                 "Please press the Next button to install the prerequisites.")
                # The Action cell of the first row: the right end of the row.
                listed = page.control(id=LIST)
                row_height = 14
                driver.click_at(listed.x + listed.width - 30, listed.y + 24 + row_height // 2)
                chooser = watcher.wait_for(lambda d: d.control(kind="ComboBox") is not None, what="the chooser")
                self.assertEqual(chooser.control(kind="ComboBox").text, "Install")
                screenshot("wizard-chooser")
                # Opened, "Don't Install" (the first entry) taken, then a click
                # elsewhere: the chooser loses the focus and commits.
                driver.click(chooser.control(kind="ComboBox"))
                driver.keys("Home", "Return", into=chooser)
                driver.click_at(listed.x + 20, listed.y + listed.height - 10)
                page = self.page(watcher, lambda d: d.control(id=LIST) is not None and
                                 [r[-1] for r in d.control(id=LIST).rows][:1] == ["Don't Install"],
                                 "the overridden row")
                driver.click(page.control(id=NEXT))
                page = watcher.wait_for(
                    lambda d: d.control(id=HINT) is not None and
                    d.control(id=HINT).text == "Please press the Finish button to install the main application." and
                    [r[-1] for r in d.control(id=LIST).rows] == ["Don't Install", "Installed", "Don't Install"],
                    what="the finish step with the one row installed")
                driver.click(page.control(id=FINISH))
                code = finish(run, timeout=300, probe=watcher.probe)
                requests = nginx.requests()
            finally:
                watcher.stop()
        self.assertEqual(code, 0)
        self.assertEqual(requests, [], "nothing was downloaded")
        self.assertEqual(self.ran(), ["App2"])
        with open(self.log, encoding="latin-1") as log:
            ran_from = log.read().split("|")[1]
        self.assertEqual(ran_from.lower(), windows_path(os.path.join(elsewhere, "two.exe")).lower())
        self.assertFalse(os.path.exists(os.path.join(self.setup_folder, "two.exe")))
        self.assertTrue(os.path.exists(installed_marker(self.product)))

    # Cancel on the PreRequisites page: 1602, nothing installed, no Run
    # value, nothing extracted left behind.
    def test_cancel_installs_nothing(self):
        setup = self.make_setup("http://127.0.0.1:9/two.exe")
        folders_before = run_folders()
        watcher = driver.Watcher()
        try:
            run = self.start(setup, watcher)
            info = self.page(watcher, lambda d: d.control(id=NEXT) and d.control(id=NEXT).enabled,
                             "the Information page")
            driver.click(info.control(id=NEXT))
            page = self.page(watcher, lambda d: d.control(id=LIST) is not None and
                             len(d.control(id=LIST).rows) == 3, "the PreRequisites page")
            driver.click(page.control(id=CANCEL))
            code = finish(run, timeout=120, probe=watcher.probe)
        finally:
            watcher.stop()
        self.assertEqual(code, 1602)
        self.assertEqual(self.ran(), [])
        self.assertFalse(os.path.exists(installed_marker(self.product)))
        self.assertIsNone(registry_value(RUN_KEY, windows_path(setup)))
        self.assertEqual(run_folders(), folders_before, "the run's own folder is gone")


if __name__ == "__main__":
    unittest.main()
