"""Normal runs of the real bootstrapper under Wine, installing real .msi
packages through the shell and Wine's msiexec."""
import os
import re
import shutil
import struct
import time
import unittest

from harness import (RUN_KEY, STUB, TOOLS, WineTestCase, build_msi, finish, installed_marker, leave_state, pack, probe_dialogs,
                     random_file, registry_value, run_folders, run_windows, screenshot, set_registry_value,
                     start_windows, uninstall, wait_for_status_window, windows_path, PREFIX_C)


class NormalRunTest(WineTestCase):
    def setUp(self):
        super().setUp()
        self.name = "KorveltE2E%d%s" % (os.getpid(), self._testMethodName[-12:])
        self.packages = []

    def tearDown(self):
        for package in self.packages:
            uninstall(package)
        super().tearDown()

    def package(self, **options):
        package = build_msi(self.folder, self.name, **options)
        self.packages.append(package)
        return package

    # The setup installs its package with the command tail passed through
    # unchanged, and leaves nothing in the temporary folder.
    def test_installs_the_package_with_the_command_tail(self):
        before = run_folders()
        setup = pack(self.path("setup.exe"), "--main", self.package())
        target = "C:\\korvelt e2e\\" + self.name
        code, _ = run_windows('"%s" /qn INSTALLDIR="%s"' % (windows_path(setup), target))
        self.assertEqual(code, 0)
        marker = os.path.join(PREFIX_C, "korvelt e2e", self.name, "marker.txt")
        self.assertTrue(os.path.exists(marker), "the tail reached msiexec unchanged")
        self.assertFalse(os.path.exists(installed_marker(self.name)))
        self.assertEqual(run_folders(), before, "nothing extracted stays behind")
        shutil.rmtree(os.path.join(PREFIX_C, "korvelt e2e"), ignore_errors=True)

    # The package's own exit code is the setup's: an installation into a
    # drive that does not exist fails with 1603.
    def test_passes_the_package_exit_code_through(self):
        setup = pack(self.path("setup.exe"), "--main", self.package())
        code, _ = run_windows('"%s" /qn INSTALLDIR=Q:\\nowhere' % windows_path(setup))
        self.assertEqual(code, 1603)
        self.assertFalse(os.path.exists(installed_marker(self.name)))

    # A Run value left for this setup by an interrupted run is gone at the end.
    def test_stale_run_value_is_removed(self):
        setup = pack(self.path("setup.exe"), "--main", self.package())
        set_registry_value(RUN_KEY, windows_path(setup), windows_path(setup))
        set_registry_value(RUN_KEY, "KorveltOther", "C:\\other.exe")
        code, _ = run_windows('"%s" /qn' % windows_path(setup))
        self.assertEqual(code, 0)
        self.assertIsNone(registry_value(RUN_KEY, windows_path(setup)))
        self.assertEqual(registry_value(RUN_KEY, "KorveltOther"), "C:\\other.exe", "other values stay")
        self.assertTrue(os.path.exists(installed_marker(self.name)))

    # ExternalFiles: N.exe opens N.msi beside it and deletes nothing.
    def test_external_files_open_the_package_beside_the_setup(self):
        package = self.package()
        shutil.copy(package, self.path("N.msi"))
        self.packages.append(self.path("N.msi"))
        setup = pack(self.path("N.exe"), "--external-files")
        before = sorted(os.listdir(self.folder))
        code, _ = run_windows('"%s" /qn' % windows_path(setup))
        self.assertEqual(code, 0)
        self.assertTrue(os.path.exists(installed_marker(self.name)))
        self.assertEqual(sorted(os.listdir(self.folder)), before)

    def shown(self, run, text, seconds=30):
        """What the probe saw of the dialogs of `run` until one showed `text`
        (or `seconds` passed: the state is then left behind)."""
        probe = probe_dialogs(seconds, run)
        seen = ""
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline and text not in seen:
            line = probe.readline(deadline - time.monotonic())
            if not line:
                break
            seen += line
        if text not in seen:
            leave_state("error-box-%d" % run.pid, run=run, probe=probe)
        probe.kill()
        return seen

    def close_box(self, run):
        """Closes the error box of `run`; returns the run's exit code."""
        closer = probe_dialogs(20, run, close=True, until=1)
        closer.wait(timeout=60)
        return finish(run, probe=closer)

    def error_box(self, setup, text, shot_name=None):
        """Runs the setup until its error box shows `text` (or 30 seconds
        pass), closes the box; returns what the probe saw, the exit code,
        the screenshot taken while the box showed and the setup's Windows
        process id."""
        run = start_windows('"%s" /qn' % windows_path(setup))
        seen = self.shown(run, text)
        shot = None
        if text in seen and shot_name:
            time.sleep(0.5)
            shot = screenshot(shot_name)
        code = self.close_box(run)
        print(seen)
        return seen, code, shot, run.windows_pid

    # A payload of version 101: exactly one error box with the text, nothing
    # installed, nothing extracted. Another program of the prefix shows the
    # same box meanwhile, as on a busy machine: only the setup's own counts.
    def test_bad_version_shows_one_error_box(self):
        setup = pack(self.path("setup.exe"), "--main", self.package())
        with open(setup, "r+b") as file:
            file.seek(-32, os.SEEK_END)
            file.write(struct.pack("<I", 101))
        other = shutil.copy(setup, self.path("other.exe"))
        before = run_folders()
        beside = start_windows('"%s" /qn' % windows_path(other))
        try:
            self.assertIn("unsuported", self.shown(beside, "unsuported"), "the other program's box shows")
            seen, code, shot, process = self.error_box(setup, "unsuported", "payload-error-box")
        finally:
            self.assertEqual(self.close_box(beside), 1619)
        self.assertIn('control 65535 Static "This archive has an an unsuported version."', seen)
        boxes = set(re.findall(r"^dialog (\S+) .* process (\d+) ", seen, re.M))
        self.assertEqual(len(boxes), 1, "one box: " + seen)
        self.assertEqual(boxes.pop()[1], str(process), "the setup's own box: " + seen)
        self.assertIn('"Error" at', seen, "the system's default caption")
        self.assertIn("owner 00000000", seen)
        self.assertEqual(code, 1619)
        self.assertFalse(os.path.exists(installed_marker(self.name)))
        self.assertEqual(run_folders(), before)
        self.assertIsNotNone(shot)

    # The bootstrapper holds no marker of its own: a bare one, or a setup cut
    # off within its table (a download cut short), has no footer to find and
    # shows the read error, never the version error.
    def test_cut_off_setup_shows_the_read_error(self):
        bare = self.path("bare.exe")
        shutil.copy(STUB, bare)
        setup = pack(self.path("setup.exe"), "--main", random_file(self.path("app.msi"), 100000, 1))
        with open(setup, "r+b") as file:
            file.truncate(os.path.getsize(setup) - 36 - 5)
        for path in (bare, setup):
            with self.subTest(os.path.basename(path)):
                seen, code, _, _ = self.error_box(path, "An error occured while reading the file.")
                self.assertIn('control 65535 Static "An error occured while reading the file."', seen)
                self.assertNotIn("unsuported", seen)
                self.assertEqual(code, 1619)

    # The status window shows the product's title and the extraction text;
    # without a version resource the title is the setup's own path.
    def test_status_window_title(self):
        for stub, expected in [(STUB, "Korvelt Setup"), (os.path.join(TOOLS, "korvelt_noversion.exe"), None)]:
            with self.subTest(stub=os.path.basename(stub)):
                package = self.package()
                big = os.path.join(self.folder, "big.cab")
                with open(big, "wb") as out:
                    out.write(os.urandom(1 << 20) * 150)
                setup = self.path("setup-%s.exe" % os.path.basename(stub)[:-4])
                from harness import PACK
                import subprocess
                subprocess.run([PACK, "create", "--stub", stub, "--out", setup, "--main", package, "--support", big],
                               check=True, stdout=subprocess.DEVNULL)
                probe = probe_dialogs(60)
                time.sleep(1)
                run = start_windows('"%s" /qn' % windows_path(setup))
                probe.watch(run)
                title = expected or windows_path(setup) + " Setup"
                report, seen = wait_for_status_window(probe, title)
                if report:
                    screenshot("status-window-" + os.path.basename(stub)[:-4])
                else:
                    leave_state("status-window-%d" % run.pid, run=run, probe=probe)
                probe.kill()
                self.assertEqual(finish(run, probe=probe), 0)
                self.assertIsNotNone(report, "no status window titled %r saying it extracts in:\n%s" % (title, seen))
                uninstall(package)
                os.remove(big)


if __name__ == "__main__":
    unittest.main()
