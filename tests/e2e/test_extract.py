"""Extract mode of the real bootstrapper under Wine."""
import os
import shutil
import unittest

from harness import WineTestCase, pack, random_file, read, run_windows, windows_path


class ExtractModeTest(WineTestCase):
    def make_setup(self, name="setup.exe", folder=None):
        folder = folder or self.folder
        os.makedirs(folder, exist_ok=True)
        self.msi = random_file(self.path("app.msi"), 300000, 1)
        self.cab = random_file(self.path("app.cab"), 3 * 65536 + 1, 2)
        self.ini = self.path("app.ini")
        with open(self.ini, "w") as config:
            config.write("[GeneralOptions]\nMainAppCmdLine=/qb\n")
        self.tool = random_file(self.path("tool.exe"), 0, 3)
        return pack(os.path.join(folder, name), "--prerequisites", "--main", self.msi, "--support", self.cab,
                    "--config", self.ini, "--on-demand", self.tool)

    def assert_extracted(self, folder):
        self.assertEqual(sorted(os.listdir(folder)), ["app.cab", "app.ini", "app.msi", "tool.exe"])
        for name, original in [("app.msi", self.msi), ("app.cab", self.cab), ("app.ini", self.ini),
                               ("tool.exe", self.tool)]:
            self.assertEqual(read(os.path.join(folder, name)), read(original), name)

    # Every entry, whatever its kind, lands in the folder; the exit code is 0.
    def test_extracts_every_entry(self):
        setup = self.make_setup()
        out = self.path("out")
        os.mkdir(out)
        code, _ = run_windows('"%s" /extract:%s' % (windows_path(setup), windows_path(out)))
        self.assertEqual(code, 0)
        self.assert_extracted(out)

    # A quoted program path with blanks and a quoted folder with blanks.
    def test_quoted_paths_with_blanks(self):
        setup = self.make_setup("my setup.exe", self.path("program folder"))
        out = self.path("out folder with blanks")
        os.mkdir(out)
        code, _ = run_windows('"%s"  /extract:"%s\\" /qn' % (windows_path(setup), windows_path(out)))
        self.assertEqual(code, 0)
        self.assert_extracted(out)

    # A relative folder is taken from the current folder.
    def test_relative_folder(self):
        setup = self.make_setup()
        os.mkdir(self.path("rel"))
        code, _ = run_windows('"%s" /extract:rel' % windows_path(setup), cwd=self.folder)
        self.assertEqual(code, 0)
        self.assert_extracted(self.path("rel"))

    # A folder that does not exist: nothing is written, and the exit code says so.
    def test_missing_folder(self):
        setup = self.make_setup()
        before = sorted(os.listdir(self.folder))
        code, _ = run_windows('"%s" /extract:%s' % (windows_path(setup), windows_path(self.path("missing"))))
        self.assertEqual(code, 82)
        self.assertFalse(os.path.exists(self.path("missing")))
        self.assertEqual(sorted(os.listdir(self.folder)), before)

    # The bootstrapper without a payload cannot be opened: 1619.
    def test_no_payload(self):
        from harness import STUB
        bare = self.path("bare.exe")
        shutil.copy(STUB, bare)
        os.mkdir(self.path("out"))
        code, _ = run_windows('"%s" /extract:%s' % (windows_path(bare), windows_path(self.path("out"))))
        self.assertEqual(code, 1619)
        self.assertEqual(os.listdir(self.path("out")), [])

    # Bytes appended behind the footer (a signature, say) change nothing; a
    # file already in the folder is replaced.
    def test_appended_bytes_and_replaced_files(self):
        setup = self.make_setup()
        with open(setup, "ab") as out:
            out.write(b"\0" * 2050)
        out = self.path("out")
        os.mkdir(out)
        with open(os.path.join(out, "app.msi"), "wb") as stale:
            stale.write(b"stale" * 100000)
        code, _ = run_windows('"%s" /extract:%s' % (windows_path(setup), windows_path(out)))
        self.assertEqual(code, 0)
        self.assert_extracted(out)


if __name__ == "__main__":
    unittest.main()
