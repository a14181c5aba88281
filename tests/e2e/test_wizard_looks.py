"""How the wizard looks where users found it wanting, under Wine and Xvfb:
a list of twelve prerequisites with long names, whose columns must fit the
list with no cell of Status or Action cut and no horizontal scroll bar; and
the wizard at 96, 144 and 192 dots per inch (the prefix's LogPixels,
restored afterwards), per-monitor aware and laid out at each density. Wine
takes the density from the user's LogPixels under Control Panel\Desktop,
else from the machine's under Hardware Profiles, and each process reads it
when it starts. The
screenshots under build/e2e are for a person to look at."""
import os
import subprocess
import time
import unittest

import control_ids as ids
import driver
from harness import (WINE, TOOLS, WineTestCase, build_msi, finish, pack, screenshot, start_windows, stop_run,
                     uninstall, wine_env, windows_path)

PROGRAM = os.path.join(TOOLS, "fake_prereq.exe")
NEXT, LIST, HINT = ids.kNextButton, ids.IDC_PREREQ_LIST, ids.IDC_STEP_HINT
# The room a list view leaves beside a cell's text, as its own auto-sizing
# adds it: a cell narrower than its text and this is drawn cut.
CELL_PADDING = 12
DESKTOP = "HKCU\\Control Panel\\Desktop"
# Per-monitor awareness, as GetAwarenessFromDpiAwarenessContext tells it.
PER_MONITOR = 2


def long_name(i):
    """60 characters that differ only at their end, as names of one
    vendor's components do."""
    name = "Fjord Schriftarten Laufzeitumgebung fuer Anwendungen, Teil %02d" % i
    return name[:57] + " %02d" % i


def configuration(count, log):
    lines = ["[PREREQUISITES]"] + ["App%d=%s" % (i + 1, long_name(i + 1)) for i in range(count)]
    for i in range(count):
        lines += ["", "[App%d]" % (i + 1), "SetupFile=one.exe", "CommandLine=/log:%s" % windows_path(log),
                  "SearchType=0", "SearchString=%s" % windows_path(log), "VerMin=2.0.0.0"]
    return "\r\n".join(lines) + "\r\n"


def dword(key, name):
    """A REG_DWORD value of the prefix, or None."""
    output = subprocess.run([*WINE, "reg", "query", key, "/v", name], env=wine_env(), stdout=subprocess.PIPE,
                            stderr=subprocess.DEVNULL, timeout=60).stdout.decode("latin-1")
    for line in output.splitlines():
        if "REG_DWORD" in line:
            return int(line.split("REG_DWORD", 1)[1].strip(), 16)
    return None


def set_dword(key, name, value):
    if value is None:
        command = ["reg", "delete", key, "/v", name, "/f"]
    else:
        command = ["reg", "add", key, "/v", name, "/t", "REG_DWORD", "/d", str(value), "/f"]
    subprocess.run([*WINE, *command], env=wine_env(), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                   timeout=60)


class WizardLooksTest(WineTestCase):
    def setUp(self):
        super().setUp()
        self.log = self.path("ran.log")
        self.product = "KorveltLooks%d%s" % (os.getpid(), self._testMethodName[5:13])
        self.package = build_msi(self.folder, self.product, file_name="App.msi")
        self.addCleanup(uninstall, self.package)
        self.setup_folder = self.path("setup")
        os.makedirs(self.setup_folder)

    def start(self, count, watcher):
        config = self.path("App.ini")
        with open(config, "w") as out:
            out.write(configuration(count, self.log))
        setup = pack(os.path.join(self.setup_folder, "setup.exe"), "--prerequisites", "--main", self.package,
                     "--config", config, "--on-demand", "one.exe=" + PROGRAM)
        run = watcher.watch(start_windows('"%s"' % windows_path(setup), cwd=self.setup_folder))
        self.addCleanup(stop_run, run)
        return run

    def prerequisites_page(self, watcher, count):
        info = watcher.wait_for(lambda d: d.control(kind="RICHEDIT") is not None and d.control(id=NEXT) is not None and
                                d.control(id=NEXT).enabled, what="the Information page")
        driver.keys("Return", into=info)
        return info, watcher.wait_for(lambda d: d.control(id=LIST) is not None and len(d.control(id=LIST).rows) == count
                                      and d.control(id=LIST).columns is not None and d.focused() is not None and
                                      d.focused().id == LIST, what="the PreRequisites page with %d rows" % count)

    def assert_fits(self, listed):
        """Status and Action whole in every row, the columns filling the
        client area, and no horizontal scroll bar."""
        name, status, action = listed.columns
        self.assertFalse(listed.scroll_bars[0], "no horizontal scroll bar")
        self.assertEqual(name + status + action, listed.client_width, "the columns fill the list")
        for row, needs in zip(listed.rows, listed.needs):
            self.assertLessEqual(needs[1] + CELL_PADDING, status, "Status whole: %s" % row)
            self.assertLessEqual(needs[2] + CELL_PADDING, action, "Action whole: %s" % row)
        return name, status, action

    # Twelve rows of 60-character names: the vertical scroll bar shows, no
    # horizontal one; Status and Action whole; Name takes the rest. The
    # chooser opened on the last row covers its cell whole; a name that is
    # cut shows whole in a tip when the pointer rests on it.
    def test_twelve_long_names(self):
        watcher = driver.Watcher()
        try:
            run = self.start(12, watcher)
            _, page = self.prerequisites_page(watcher, 12)
            listed = page.control(id=LIST)
            self.assertEqual([r[0] for r in listed.rows], [long_name(i + 1) for i in range(12)])
            self.assertEqual([r[-1] for r in listed.rows], ["Install"] * 12)
            self.assertTrue(listed.scroll_bars[1], "twelve rows need the vertical scroll bar")
            name, _, action = self.assert_fits(listed)
            self.assertGreater(listed.needs[0][0] + CELL_PADDING, name, "the long names are cut, for the tip")
            screenshot("wizard-twelve-rows")

            driver.keys("End", "space", into=page)
            chooser = watcher.wait_for(lambda d: d.control(kind="ComboBox") is not None, what="the chooser")
            box = chooser.control(kind="ComboBox")
            self.assertEqual(box.text, "Install")
            # The chooser lies over the Action cell of a row of the list, as
            # wide as the column, which the list fitted to its entries.
            self.assertEqual(box.width, action)
            self.assertGreaterEqual(box.x, listed.x)
            self.assertLessEqual(box.x + box.width, listed.x + listed.width)
            driver.keys("F4")
            time.sleep(1.0)  # the dropped list is drawn
            screenshot("wizard-twelve-rows-chooser")
            driver.keys("Escape")
            watcher.wait_for(lambda d: d.control(id=LIST) is not None and d.control(kind="ComboBox") is None,
                             what="the chooser closed")

            # The pointer on the first row's name, which is cut: its tip.
            subprocess.run(["xdotool", "mousemove", "--sync", str(listed.x + 40), str(listed.y + 30)], check=True,
                           timeout=30)
            time.sleep(2.0)  # the tip shows after the pointer rests
            screenshot("wizard-twelve-rows-tip")
            driver.keys("Escape", into=page)
            code = finish(run, timeout=120, probe=watcher.probe)
        finally:
            watcher.stop()
        self.assertEqual(code, 1602)

    # At 96, 144 and 192 dots per inch the wizard is per-monitor aware and
    # drawn at the screen's density: the sheet grows with it, the list's
    # columns still fit. Screenshots of both pages at each density.
    def test_each_density(self):
        before = dword(DESKTOP, "LogPixels")
        self.addCleanup(set_dword, DESKTOP, "LogPixels", before)
        widths = {}
        for dpi in (96, 144, 192):
            set_dword(DESKTOP, "LogPixels", dpi)
            watcher = driver.Watcher()
            try:
                run = self.start(3, watcher)
                info, page = self.prerequisites_page(watcher, 3)
                # Wine answers another process's GetDpiForWindow with 96 at any
                # density; the awareness and the sizes below tell the truth.
                self.assertEqual((info.awareness, page.awareness), (PER_MONITOR, PER_MONITOR), "aware at %d" % dpi)
                self.assert_fits(page.control(id=LIST))
                widths[dpi] = page.width
                screenshot("wizard-%d-dpi-prerequisites" % dpi)
                driver.keys("alt+b", into=page)
                watcher.wait_for(lambda d: d.control(kind="RICHEDIT") is not None and d.focused() is not None and
                                 d.focused().id == NEXT, what="the Information page again at %d" % dpi)
                screenshot("wizard-%d-dpi-information" % dpi)
                driver.keys("Escape")
                code = finish(run, timeout=120, probe=watcher.probe)
            finally:
                watcher.stop()
            self.assertEqual(code, 1602)
        # The dialog units follow the density: twice the dots, twice as wide,
        # give or take the rounding of the font's size.
        self.assertAlmostEqual(widths[144] / widths[96], 1.5, delta=0.12)
        self.assertAlmostEqual(widths[192] / widths[96], 2.0, delta=0.15)


if __name__ == "__main__":
    unittest.main()
