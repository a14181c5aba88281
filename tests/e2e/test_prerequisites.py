"""A payload with prerequisites under Wine: the configuration read, every
search run against the real registry and file system, and the package
installed with the configuration's command line."""
import os
import shutil
import unittest

from harness import (PREFIX_C, RUN_KEY, WineTestCase, build_msi, delete_registry_key, pack, registry_value,
                     run_windows, set_registry_value, uninstall, windows_path)

CONFIG = """[GeneralOptions]
MainAppCmdLine=/qn INSTALLDIR="C:\\korvelt e2e\\{name}"

[PREREQUISITES]
App1=Vendor Runtime
App2=Windows itself
App3=A runtime for Windows 95 only

[App1]
SetupFile=runtime.exe
SearchType=2
VerMin=1.2
SearchString=HKCU\\Software\\{name}\\Runtime\\Version

[App2]
SetupFile=runtime.exe
SearchType=0
SearchString=[SystemFolder]kernel32.dll

[App3]
TargetOS=0
Url=http://127.0.0.1:1/never.exe
SearchType=1
SearchString=HKLM\\Software\\{name}\\Missing
"""


class PrerequisitesPresentTest(WineTestCase):
    # Everything present or not meant for this system: no wizard, no Run
    # value, and the package installed with MainAppCmdLine.
    def test_installs_with_the_configuration_command_line(self):
        name = "KorveltPrereq%d" % os.getpid()
        package = build_msi(self.folder, name, file_name="App.msi")
        config = self.path("App.ini")
        with open(config, "w") as out:
            out.write(CONFIG.format(name=name).replace("\n", "\r\n"))
        runtime = self.path("runtime.exe")
        with open(runtime, "wb") as out:
            out.write(b"MZ")
        set_registry_value("HKCU\\Software\\%s\\Runtime" % name, "Version", "1.10.0")
        setup = pack(self.path("setup.exe"), "--prerequisites", "--main", package, "--config", config,
                     "--on-demand", runtime)
        try:
            code, _ = run_windows('"%s"' % windows_path(setup))
            self.assertEqual(code, 0)
            marker = os.path.join(PREFIX_C, "korvelt e2e", name, "marker.txt")
            self.assertTrue(os.path.exists(marker), "installed where MainAppCmdLine said")
            self.assertIsNone(registry_value(RUN_KEY, windows_path(setup)))
        finally:
            delete_registry_key("HKCU\\Software\\%s" % name)
            uninstall(package)
            shutil.rmtree(os.path.join(PREFIX_C, "korvelt e2e"), ignore_errors=True)


if __name__ == "__main__":
    unittest.main()
