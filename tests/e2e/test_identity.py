"""A setup packed with the product's identity runs under Wine: its image,
rebuilt by the packer, loads; its windows are titled by the new product
name; its payload is found behind the larger image."""
import os
import subprocess
import time
import unittest

import control_ids as ids
import driver
from harness import (BIN, PACK, STUB, X64, TOOLS, WineTestCase, build_msi, finish, installed_marker, pack, probe_dialogs,
                     leave_state, read, run_windows, screenshot, start_windows, stop_run, uninstall, wait_for_status_window,
                     windows_path)

NEXT, CANCEL, LIST = ids.kNextButton, ids.IDCANCEL, ids.IDC_PREREQ_LIST
TITLE = "Contoso App Setup"


class IdentityRunTest(WineTestCase):
    def setUp(self):
        super().setUp()
        self.product = "KorveltIdentity%d%s" % (os.getpid(), self._testMethodName[5:13])
        self.package = build_msi(self.folder, self.product)
        self.addCleanup(uninstall, self.package)
        # A green square with a magenta disc, to be told apart from the
        # bootstrapper's own icon in a screenshot.
        self.icon = self.path("contoso.ico")
        subprocess.run(["convert", "-size", "256x256", "xc:#00c000", "-fill", "magenta", "-draw",
                        "circle 128,128 128,40", "-define", "icon:auto-resize=256,48,32,16", self.icon], check=True)

    def identity(self):
        return ["--product-name", "Contoso App", "--company", "Contoso", "--version", "2.1.0.7", "--icon", self.icon]

    # The status window is titled by the new product name and the main
    # package is installed.
    def test_status_window_and_installation(self):
        big = self.path("big.cab")
        with open(big, "wb") as out:
            out.write(os.urandom(1 << 20) * 150)
        setup = pack(self.path("ContosoSetup.exe"), *self.identity(), "--main", self.package, "--support", big)
        probe = probe_dialogs(60)
        time.sleep(1)
        run = start_windows('"%s" /qn' % windows_path(setup))
        probe.watch(run)
        report, seen = wait_for_status_window(probe, TITLE)
        if report:
            screenshot("identity-status-window")
        else:
            leave_state("identity-status-window", run=run, probe=probe)
        probe.kill()
        self.assertEqual(finish(run), 0)
        self.assertIsNotNone(report, "no status window titled %r saying it extracts in:\n%s" % (TITLE, seen))
        self.assertTrue(os.path.exists(installed_marker(self.product)))

    # The wizard's caption on both pages is the new title.
    def test_wizard_caption(self):
        config = self.path(self.product + ".ini")
        with open(config, "w") as out:
            out.write("[PREREQUISITES]\r\nApp1=Contoso Runtime\r\n\r\n[App1]\r\nSetupFile=one.exe\r\nSearchType=1\r\n"
                      "SearchString=HKCU\\Software\\KorveltNeverThere\\App1\r\n")
        setup_folder = self.path("setup")
        os.makedirs(setup_folder)
        setup = pack(os.path.join(setup_folder, "ContosoSetup.exe"), *self.identity(), "--prerequisites",
                     "--main", self.package, "--config", config,
                     "--on-demand", "one.exe=" + os.path.join(TOOLS, "fake_prereq.exe"))
        watcher = driver.Watcher()
        run = watcher.watch(start_windows('"%s"' % windows_path(setup), cwd=setup_folder))

        self.addCleanup(stop_run, run)
        try:
            info = watcher.wait_for(lambda d: d.caption == TITLE and d.control(id=NEXT) and d.control(id=NEXT).enabled,
                                    what="the Information page titled " + TITLE)
            time.sleep(1)
            screenshot("identity-wizard")
            driver.click(info.control(id=NEXT))
            page = watcher.wait_for(lambda d: d.caption == TITLE and d.control(id=LIST) is not None and
                                    len(d.control(id=LIST).rows) == 1, what="the PreRequisites page titled " + TITLE)
            driver.click(page.control(id=CANCEL))
            code = finish(run, timeout=120, probe=watcher.probe)
        finally:
            watcher.stop()
        self.assertEqual(code, 1602)
        self.assertFalse(watcher.seen(lambda d: "Korvelt" in d.caption))

    # /extract: finds the payload behind the rewritten image.
    def test_extract_gives_the_same_bytes(self):
        setup = pack(self.path("ContosoSetup.exe"), *self.identity(), "--main", self.package)
        self.assertNotEqual(read(setup)[:len(read(STUB))], read(STUB))
        out = self.path("out")
        os.mkdir(out)
        code, _ = run_windows('"%s" /extract:%s' % (windows_path(setup), windows_path(out)))
        self.assertEqual(code, 0)
        self.assertEqual(read(os.path.join(out, os.path.basename(self.package))), read(self.package))

    # The Windows packer, built from the same sources, writes the same setup
    # byte for byte. It is an i686 program, run with the i686 bootstrapper.
    @unittest.skipIf(X64, "korvelt-pack.exe is an i686 program")
    def test_windows_packer_writes_the_same_setup(self):
        for name in ("native", "windows"):
            os.mkdir(self.path(name))
        native = pack(self.path("native", "ContosoSetup.exe"), *self.identity(), "--main", self.package)
        windows = self.path("windows", "ContosoSetup.exe")
        arguments = " ".join('"%s"' % a for a in ["create", "--stub", windows_path(STUB), "--out", windows_path(windows),
                                                   *self.identity()[:-1], windows_path(self.icon),
                                                   "--main", windows_path(self.package)])
        code, output = run_windows('"%s" %s' % (windows_path(os.path.join(BIN, "korvelt-pack.exe")), arguments))
        self.assertEqual(code, 0, output)
        self.assertEqual(read(windows), read(native))

if __name__ == "__main__":
    unittest.main()
