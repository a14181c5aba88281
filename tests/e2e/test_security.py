"""The two well-known attacks on bootstrappers run from a Downloads folder:
DLLs planted beside the setup, and a shared extraction folder."""
import glob
import os
import shutil
import subprocess
import unittest

import harness

from harness import (STUB, TOOLS, WineTestCase, build_msi, installed_marker, pack, run_windows, uninstall,
                     windows_path)

# DLLs the system always takes from its own folder, and common controls,
# which the manifest binds side by side.
ALLOWED_IMPORTS = {"kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "shell32.dll", "ole32.dll",
                   "msvcrt.dll", "comctl32.dll"}

PLANTED = ["riched32.dll", "wininet.dll"]
# As on Windows, a DLL in the program's folder would win over the system's;
# the other overrides stay as they are.
NATIVE_FIRST = {"WINEDLLOVERRIDES": "riched32,wininet=n,b;" + harness.WINE_SETTINGS.winedlloverrides}


def imports(program):
    objdump = "x86_64-w64-mingw32-objdump" if harness.X64 else "i686-w64-mingw32-objdump"
    output = subprocess.run([objdump, "-p", program], check=True, stdout=subprocess.PIPE).stdout
    return {line.split(":", 1)[1].strip().lower() for line in output.decode().splitlines() if "DLL Name:" in line}


class DllPlantingTest(WineTestCase):
    # The bootstrapper imports nothing the loader would look for beside it.
    def test_imports_only_known_dlls(self):
        found = imports(STUB)
        self.assertTrue(found, "objdump read the import table")
        self.assertLessEqual(found, ALLOWED_IMPORTS)

    def plant(self):
        for name in PLANTED:
            shutil.copy(os.path.join(TOOLS, "planted", name), self.path(name))

    def loaded(self):
        return sorted(os.path.basename(path) for path in glob.glob(self.path("*.was-loaded")))

    # A program that loads by bare name takes the planted DLLs; the setup,
    # run from the same folder, loads neither and still installs.
    def test_planted_dlls_are_never_loaded(self):
        self.plant()
        shutil.copy(os.path.join(TOOLS, "naive_loader.exe"), self.path("naive_loader.exe"))
        code, _ = run_windows('"%s" %s' % (windows_path(self.path("naive_loader.exe")), " ".join(PLANTED)),
                              env=NATIVE_FIRST)
        self.assertEqual(code, 0)
        self.assertEqual(self.loaded(), [name + ".was-loaded" for name in PLANTED], "the control sees the plant")
        for marker in glob.glob(self.path("*.was-loaded")):
            os.remove(marker)

        name = "KorveltPlant%d" % os.getpid()
        package = build_msi(self.folder, name)
        try:
            setup = pack(self.path("setup.exe"), "--main", package)
            code, output = run_windows('"%s" /qn' % windows_path(setup), cwd=self.folder,
                                       env=dict(NATIVE_FIRST, WINEDEBUG="+loaddll"))
            self.assertEqual(code, 0)
            # Wine's trace doubles each backslash.
            self.assertRegex(output.lower(), r"system32\\+riched32\.dll", "the system rich edit was loaded")
            self.assertTrue(os.path.exists(installed_marker(name)))
            self.assertEqual(self.loaded(), [])
        finally:
            uninstall(package)


if __name__ == "__main__":
    unittest.main()
