"""The wizard driven by the keyboard alone, under Wine and Xvfb: key events
through xdotool, no click anywhere, the windows read back through the
dialog probe. Enter is Next while Next has work to do; the chooser opens
from the keys on the selected row and its choice counts before any sheet
button acts; the focus stays where the keys can reach it."""
import os
import time
import unittest

import control_ids as ids
import driver
from harness import (TOOLS, WineTestCase, build_msi, finish, installed_marker, pack, read, start_windows, stop_run,
                     uninstall, windows_path)
from servers import Nginx

PROGRAM = os.path.join(TOOLS, "fake_prereq.exe")
NEXT, FINISH, LIST, HINT = ids.kNextButton, ids.kFinishButton, ids.IDC_PREREQ_LIST, ids.IDC_STEP_HINT
TEXT = ids.IDC_INFORMATION_TEXT
DOWNLOAD_HINT = "Please press the Next button to start downloading the prerequisites."
INSTALL_HINT = "Please press the Next button to install the prerequisites."
FINISH_HINT = "Please press the Finish button to install the main application."
NAMES = ["Payload Runtime", "Web Runtime", "Old Windows Runtime", "Payload Extras"]


def configuration(url, size, log):
    """Two programs from the payload to install, one to download, one for
    another system; each writes its name into `log` when it runs."""
    # The programs take a moment, as real ones do, so that the installation
    # window lasts long enough to be seen.
    lines = ["[PREREQUISITES]"] + ["App%d=%s" % (i + 1, name) for i, name in enumerate(NAMES)]
    sections = [("App1", "SetupFile=one.exe"), ("App2", "Url=%s\r\nExactSize=%d" % (url, size)),
                ("App3", "TargetOS=0\r\nSetupFile=one.exe"), ("App4", "SetupFile=one.exe")]
    for name, source in sections:
        lines += ["", "[%s]" % name, source, "CommandLine=/log:%s /name:%s /wait:1500" % (windows_path(log), name),
                  "SearchType=0", "SearchString=%s" % windows_path(log)]
    return "\r\n".join(lines) + "\r\n"


class KeyboardTest(WineTestCase):
    def setUp(self):
        super().setUp()
        self.served = self.path("served")
        os.makedirs(self.served)
        # A megabyte behind the program, served slowly, so that the download
        # window lasts long enough to be seen.
        self.program = read(PROGRAM) + b"\0" * (1 << 20)
        with open(os.path.join(self.served, "two.exe"), "wb") as out:
            out.write(self.program)
        self.log = self.path("ran.log")
        self.product = "KorveltKeys%d%s" % (os.getpid(), self._testMethodName[5:13])
        self.package = build_msi(self.folder, self.product, file_name="App.msi")
        self.addCleanup(uninstall, self.package)
        self.setup_folder = self.path("setup")
        os.makedirs(self.setup_folder)

    def start(self, url, watcher):
        config = self.path("App.ini")
        with open(config, "w") as out:
            out.write(configuration(url, len(self.program), self.log))
        setup = pack(os.path.join(self.setup_folder, "setup.exe"), "--prerequisites", "--main", self.package,
                     "--config", config, "--on-demand", "one.exe=" + PROGRAM)
        run = watcher.watch(start_windows('"%s"' % windows_path(setup), cwd=self.setup_folder))
        self.addCleanup(stop_run, run)
        return run

    def ran(self):
        if not os.path.exists(self.log):
            return []
        with open(self.log, encoding="latin-1") as lines:
            return [line.split("|", 1)[0] for line in lines if line.strip()]

    def information_page(self, watcher):
        page = watcher.wait_for(lambda d: d.caption == "Korvelt Setup" and d.control(kind="RICHEDIT") is not None and
                                d.control(id=NEXT) is not None and d.control(id=NEXT).enabled and
                                d.focused() is not None and d.focused().id == NEXT,
                                what="the Information page, the focus on Next")
        self.assertTrue(page.control(id=NEXT).default, "Enter is Next on the Information page")
        self.assertFalse(page.control(id=FINISH).default)
        return page

    @staticmethod
    def page(watcher, actions, hint, focus=None, chooser=None, what="the PreRequisites page"):
        """The PreRequisites page once its rows' actions, its hint line, the
        control with the focus (an id) and the chooser's text (None: no
        chooser) are as given."""
        def test(d):
            listed = d.control(id=LIST)
            if listed is None or [r[-1] for r in listed.rows] != actions or d.control(id=HINT).text != hint:
                return False
            box = d.control(kind="ComboBox")
            if (box.text if box else None) != chooser:
                return False
            focused = d.focused()
            return focus is None or (focused is not None and focused.id == focus)
        return watcher.wait_for(test, what="%s: %s, %s, focus on %s, chooser %s" % (what, actions, hint, focus, chooser))

    def tab_to(self, watcher, dialog, control):
        """Presses Tab until `control` (an id) of `dialog` has the focus, as
        a user watching the focus ring would, once round the dialog at most."""
        def focused(d):
            return d.handle == dialog.handle and d.focused() is not None and d.focused().id == control
        for presses in range(len(dialog.controls)):
            driver.keys("Tab", into=dialog)
            deadline = time.monotonic() + 3
            while time.monotonic() < deadline and not watcher.holds(focused):
                time.sleep(0.1)
            if watcher.holds(focused):
                break
        return watcher.wait_for(focused, what="the focus on control %d" % control)

    # Tab reaches the information text, and Enter there is Next: it shows
    # the list with the focus on it;
    # Down and Space open the chooser on a row, Home and Enter take "Don't
    # Install" without pressing Next; then Enter downloads, Enter installs
    # and Enter finishes, the focus on the default button after each window.
    def test_keys_alone_from_information_to_finish(self):
        with Nginx(self.served, rate="512k") as nginx:
            watcher = driver.Watcher()
            try:
                run = self.start(nginx.url("two.exe"), watcher)
                info = self.information_page(watcher)
                self.tab_to(watcher, info, TEXT)
                driver.keys("Next", "Return", into=info)
                page = self.page(watcher, ["Install", "Download", "Don't Install", "Install"], DOWNLOAD_HINT, focus=LIST)
                self.assertEqual([r[0] for r in page.control(id=LIST).rows], NAMES)
                self.assertTrue(page.control(id=NEXT).default)

                driver.keys("Down", "Down", "Down", "space", into=page)
                self.page(watcher, ["Install", "Download", "Don't Install", "Install"], DOWNLOAD_HINT, chooser="Install",
                          what="the chooser on the fourth row")
                driver.keys("Home", into=info)
                self.page(watcher, ["Install", "Download", "Don't Install", "Install"], DOWNLOAD_HINT,
                          chooser="Don't Install", what="Don't Install picked, not yet applied")
                driver.keys("Return", into=info)
                page = self.page(watcher, ["Install", "Download", "Don't Install", "Don't Install"], DOWNLOAD_HINT,
                                 focus=LIST, what="the choice applied, the page where it was")
                self.assertFalse(watcher.seen(lambda d: d.caption == "Downloading..."), "Enter pressed no Next")

                driver.keys("Return", into=info)
                page = self.page(watcher, ["Install", "Install", "Don't Install", "Don't Install"], INSTALL_HINT,
                                 focus=NEXT, what="the download done, the focus back on Next")
                self.assertTrue(page.control(id=NEXT).default)
                driver.keys("Return", into=info)
                page = self.page(watcher, ["Installed", "Installed", "Don't Install", "Don't Install"], FINISH_HINT,
                                 focus=FINISH, what="the programs run, the focus on Finish")
                self.assertTrue(watcher.seen(lambda d: d.caption == "Launching PreRequisites"))
                self.assertTrue(watcher.seen(lambda d: d.caption == "Downloading..."))
                self.assertTrue(page.control(id=FINISH).default)
                self.assertFalse(page.control(id=NEXT).enabled)
                driver.keys("Return", into=info)
                code = finish(run, timeout=300, probe=watcher.probe)
                requests = nginx.requests()
            finally:
                watcher.stop()
        self.assertEqual(code, 0)
        self.assertEqual(self.ran(), ["App1", "App2"])
        self.assertEqual(len(requests), 1)
        self.assertTrue(os.path.exists(installed_marker(self.product)))

    # The chooser's choice counts before anything acts: Enter in a dropped
    # chooser (F4) applies "Don't Install" to the download, which is never
    # fetched; Escape (after Alt+Down) leaves a row as it was and the
    # wizard open; Alt+N with a chooser open applies its choice before Next
    # builds the list of programs to run.
    def test_choice_counts_before_the_sheet_acts(self):
        with Nginx(self.served) as nginx:
            watcher = driver.Watcher()
            try:
                run = self.start(nginx.url("two.exe"), watcher)
                info = self.information_page(watcher)
                driver.keys("Return", into=info)
                page = self.page(watcher, ["Install", "Download", "Don't Install", "Install"], DOWNLOAD_HINT, focus=LIST)

                driver.keys("Down", "F4", into=page)
                self.page(watcher, ["Install", "Download", "Don't Install", "Install"], DOWNLOAD_HINT, chooser="Download",
                          what="the chooser dropped on the download")
                driver.keys("Home", "Return", into=info)
                page = self.page(watcher, ["Install", "Don't Install", "Don't Install", "Install"], INSTALL_HINT,
                                 focus=LIST, what="the download left out by Enter")

                driver.keys("Up", "alt+Down", into=info)
                self.page(watcher, ["Install", "Don't Install", "Don't Install", "Install"], INSTALL_HINT,
                          chooser="Install", what="the chooser dropped on the first row")
                driver.keys("Home", "Escape", into=info)
                page = self.page(watcher, ["Install", "Don't Install", "Don't Install", "Install"], INSTALL_HINT,
                                 focus=LIST, what="Escape: the row as it was, the wizard open")

                driver.keys("space", into=info)
                self.page(watcher, ["Install", "Don't Install", "Don't Install", "Install"], INSTALL_HINT,
                          chooser="Install", what="the chooser on the first row")
                driver.keys("Home", "alt+n", into=info)
                page = self.page(watcher, ["Don't Install", "Don't Install", "Don't Install", "Installed"], FINISH_HINT,
                                 focus=FINISH, what="Alt+N: the first row left out, the fourth installed")
                driver.keys("Return", into=info)
                code = finish(run, timeout=300, probe=watcher.probe)
                requests = nginx.requests()
            finally:
                watcher.stop()
        self.assertEqual(code, 0)
        self.assertFalse(watcher.seen(lambda d: d.caption == "Downloading..."))
        self.assertEqual(requests, [], "nothing was downloaded")
        self.assertEqual(self.ran(), ["App4"])
        self.assertTrue(os.path.exists(installed_marker(self.product)))


if __name__ == "__main__":
    unittest.main()
