"""The configuration reference's examples, packed and run as written: each
block of docs/configuration.md marked as an example becomes the
configuration of a real setup under Wine, whose prerequisites are found,
installed or left alone as the text beside it says. Only what names this
machine's files is replaced: the download server's address, and the served
file's ExactSize and Sha256."""
import hashlib
import os
import re
import shutil
import subprocess
import unittest

import control_ids as ids
import driver
import pki
from harness import (PACK, PREFIX_C, SOURCE, STUB, TOOLS, WineTestCase, build_msi, delete_registry_key, finish,
                     installed_marker, pack, read, run_windows, screenshot, set_registry_value, start_windows, stop_run,
                     temp_folder, uninstall, windows_path)
from servers import Nginx

DOCS = os.path.join(SOURCE, "docs", "configuration.md")
PROGRAM = os.path.join(TOOLS, "fake_prereq.exe")
SERVER = "https://downloads.contoso.com/"
RUNTIME_KEY = "HKLM\\Software\\Contoso\\Runtime"
NEXT, FINISH, LIST, HINT = ids.kNextButton, ids.kFinishButton, ids.IDC_PREREQ_LIST, ids.IDC_STEP_HINT


def examples():
    """Each example's configuration text by name, and each rows table."""
    with open(DOCS, encoding="utf-8") as source:
        text = source.read()
    blocks = dict(re.findall(r"<!-- example: (\S+) -->\n```ini\n(.*?)```", text, re.S))
    rows = {}
    for name, table in re.findall(r"<!-- rows: (\S+) -->\n((?:\|.*\n)+)", text):
        lines = [line.strip().strip("|").split("|") for line in table.strip().splitlines()[2:]]
        rows[name] = [[cell.strip() for cell in line] for line in lines]
    return blocks, rows


class DocsTest(WineTestCase):
    @classmethod
    def setUpClass(cls):
        cls.blocks, cls.rows = examples()

    def setUp(self):
        super().setUp()
        self.log = self.path("ran.log")
        self.product = "KorveltDocs%d%s" % (os.getpid(), self._testMethodName[5:14])
        self.package = build_msi(self.folder, self.product, file_name="Contoso.msi")
        self.addCleanup(uninstall, self.package)
        self.addCleanup(delete_registry_key, "HKLM\\Software\\Contoso")
        self.setup_folder = self.path("setup")
        os.makedirs(self.setup_folder)

    def make_setup(self, name, served=None, url=None):
        """The example packed with the main package and, for every SetupFile
        it names, the fake setup program under that name; `served`, when
        given, is the downloaded file whose size and hash replace the
        example's."""
        text = self.blocks[name]
        if served is not None:
            text = text.replace(SERVER, url)
            text = re.sub(r"(?m)^ExactSize=\d+$", "ExactSize=%d" % len(served), text)
            text = re.sub(r"(?m)^Sha256=\w+$", "Sha256=" + hashlib.sha256(served).hexdigest(), text)
        config = self.path("Contoso.ini")
        with open(config, "w", newline="\r\n") as out:
            out.write(text)
        files = sorted(set(re.findall(r"(?m)^SetupFile=(.+)$", text)))
        arguments = ["--prerequisites", "--main", self.package, "--config", config]
        for setup_file in files:
            arguments += ["--on-demand", "%s=%s" % (setup_file, PROGRAM)]
        # The packer's own check finds nothing to warn of in an example.
        check = subprocess.run([PACK, "check", config, *files], stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        self.assertEqual(check.returncode, 0, check.stdout.decode())
        return pack(os.path.join(self.setup_folder, "ContosoSetup.exe"), *arguments)

    def ran(self):
        """The setup programs run so far: (file name, command tail)."""
        if not os.path.exists(self.log):
            return []
        with open(self.log, encoding="latin-1") as lines:
            return [(line.split("|")[1].split("\\")[-1], line.split("|")[2].strip()) for line in lines if line.strip()]

    def run_quietly(self, setup):
        """Runs the quiet setup; returns what its prerequisites ran."""
        if os.path.exists(self.log):
            os.remove(self.log)
        code, output = run_windows('"%s"' % windows_path(setup), cwd=self.setup_folder, timeout=300,
                                   env={"KORVELT_PREREQ_LOG": windows_path(self.log)})
        self.assertEqual(code, 0, output)
        self.assertTrue(os.path.exists(installed_marker(self.product)))
        return self.ran()

    # A file search one level deep with a lower bound: no file, or one
    # without a version, installs; the file in version 1.0 does not.
    def test_file_search(self):
        setup = self.make_setup("file-search")
        folder = os.path.join(PREFIX_C, "Program Files", "Contoso")
        self.addCleanup(shutil.rmtree, folder, True)
        shutil.rmtree(folder, ignore_errors=True)
        engine = [("ContosoEngine.exe", "/quiet /norestart")]
        self.assertEqual(self.run_quietly(setup), engine)
        os.makedirs(os.path.join(folder, "bin"))
        shutil.copy(PROGRAM, os.path.join(folder, "bin", "contoso.dll"))  # no version resource: 0.0.0.0
        self.assertEqual(self.run_quietly(setup), engine)
        shutil.copy(STUB, os.path.join(folder, "bin", "contoso.dll"))  # version 1.0.0.0
        self.assertEqual(self.run_quietly(setup), [])

    # Subkeys named for versions: 1.1.432 alone installs; with 2.0.507 the
    # runtime is present.
    def test_registry_keys(self):
        setup = self.make_setup("registry-keys")
        delete_registry_key(RUNTIME_KEY)
        set_registry_value(RUNTIME_KEY + "\\1.1.432", "Path", "C:\\Contoso")
        self.assertEqual(self.run_quietly(setup), [("ContosoRuntime.exe", "/quiet /norestart")])
        set_registry_value(RUNTIME_KEY + "\\2.0.507", "Path", "C:\\Contoso")
        self.assertEqual(self.run_quietly(setup), [])

    # A value between two bounds: absent or above the range installs, inside
    # it does not.
    def test_registry_value(self):
        setup = self.make_setup("registry-value")
        delete_registry_key(RUNTIME_KEY)
        runtime = [("ContosoRuntime.exe", "/quiet /norestart")]
        for value, expected in ((None, runtime), ("2.1.8", []), ("3.0", runtime), ("1.9", runtime)):
            if value is not None:
                set_registry_value(RUNTIME_KEY, "Version", value)
            self.assertEqual(self.run_quietly(setup), expected, value)

    # The complete example through the wizard: the list the reference shows,
    # no Finish on the first page for the mandatory runtime, the download,
    # both setup programs with their command lines, and the main package.
    def test_complete_example_in_the_wizard(self):
        served_folder = self.path("served", "runtime")
        os.makedirs(served_folder)
        served = read(PROGRAM)
        with open(os.path.join(served_folder, "ContosoRuntime.exe"), "wb") as out:
            out.write(served)
        delete_registry_key(RUNTIME_KEY)
        with Nginx(self.path("served")) as nginx:
            setup = self.make_setup("complete", served, nginx.url(""))
            watcher = driver.Watcher()
            try:
                run = watcher.watch(start_windows('"%s"' % windows_path(setup), cwd=self.setup_folder,
                                                  env={"KORVELT_PREREQ_LOG": windows_path(self.log)}))
                self.addCleanup(stop_run, run)
                info = watcher.wait_for(lambda d: d.control(id=NEXT) is not None and d.control(id=NEXT).enabled,
                                        what="the Information page")
                self.assertFalse(info.control(id=FINISH).enabled, "the runtime is mandatory")
                driver.click(info.control(id=NEXT))
                page = watcher.wait_for(lambda d: d.control(id=LIST) is not None and
                                        len(d.control(id=LIST).rows) == 3, what="the PreRequisites page")
                self.assertEqual(page.control(id=LIST).rows, self.rows["complete"])
                driver.click(page.control(id=NEXT))
                page = watcher.wait_for(
                    lambda d: d.control(id=HINT) is not None and
                    d.control(id=HINT).text == "Please press the Next button to install the prerequisites.",
                    timeout=120, what="the download done")
                # What the two setup programs would install, which the search
                # after each finds: the fake programs install nothing.
                set_registry_value(RUNTIME_KEY, "Version", "2.0.507")
                font = os.path.join(PREFIX_C, "windows", "Fonts", "contoso-sans.ttf")
                self.addCleanup(lambda: os.path.exists(font) and os.remove(font))
                with open(font, "wb") as out:
                    out.write(b"font")
                driver.click(page.control(id=NEXT))
                # The probe reads the list before the hint line, so one report
                # may catch the page between the two: the test waits for both.
                page = watcher.wait_for(
                    lambda d: d.control(id=HINT) is not None and
                    d.control(id=HINT).text == "Please press the Finish button to install the main application." and
                    d.control(id=FINISH).enabled and not d.control(id=NEXT).enabled and
                    [row[-1] for row in d.control(id=LIST).rows] == ["Installed", "Installed", "Don't Install"],
                    what="the finish step with both prerequisites installed")
                screenshot("docs-complete-finish")
                driver.click(page.control(id=FINISH))
                code = finish(run, timeout=300, probe=watcher.probe)
            finally:
                watcher.stop()
        self.assertEqual(code, 0)
        self.assertEqual(self.ran(), [("ContosoRuntime.exe", "/quiet /norestart"), ("ContosoFonts.exe", "/silent")])
        self.assertTrue(os.path.exists(installed_marker(self.product)))

    # A redirecting link without a file name: the download is saved under
    # its FileName and run from there; a second run finds it complete and
    # asks the server nothing.
    def test_file_name_example(self):
        served_folder = self.path("served", "fwlink")
        os.makedirs(served_folder)
        served = read(PROGRAM)
        # nginx answers "/fwlink/?linkid=..." with the folder's index.
        with open(os.path.join(served_folder, "index.html"), "wb") as out:
            out.write(served)
        delete_registry_key(RUNTIME_KEY)
        with Nginx(self.path("served")) as nginx:
            setup = self.make_setup("file-name", served, nginx.url(""))
            self.assertEqual(self.run_quietly(setup), [("ContosoRuntime.exe", "/quiet /norestart")])
            self.assertEqual(read(os.path.join(self.setup_folder, "ContosoRuntime.exe")), served)
            uninstall(self.package)
            asked = len(nginx.requests())
            self.assertEqual(self.run_quietly(setup), [("ContosoRuntime.exe", "/quiet /norestart")])
            self.assertEqual(len(nginx.requests()), asked)

    # The HTTPS example, from nginx over TLS with a CA the prefix trusts:
    # the download is verified by its size and content, and installs.
    def test_https_example(self):
        served_folder = self.path("served", "runtime")
        os.makedirs(served_folder)
        served = read(PROGRAM)
        with open(os.path.join(served_folder, "ContosoRuntime.exe"), "wb") as out:
            out.write(served)
        delete_registry_key(RUNTIME_KEY)
        authority = pki.TestPki()
        self.addCleanup(authority.remove)
        with pki.trusted(authority.ca), Nginx(self.path("served"), tls=authority.good) as nginx:
            setup = self.make_setup("https", served, nginx.url(""))
            self.assertEqual(self.run_quietly(setup), [("ContosoRuntime.exe", "/quiet /norestart")])
            self.assertEqual(read(os.path.join(self.setup_folder, "ContosoRuntime.exe")), served)
            self.assertEqual([(r.path, r.status) for r in nginx.requests()], [("/runtime/ContosoRuntime.exe", 200)])

    # A layout made on a machine that has the runtime holds the setup and
    # the runtime's download, not the fonts it carries; started from there
    # with no server, the setup installs both and the main package.
    def test_layout_example(self):
        served_folder = self.path("served", "runtime")
        os.makedirs(served_folder)
        served = read(PROGRAM)
        with open(os.path.join(served_folder, "ContosoRuntime.exe"), "wb") as out:
            out.write(served)
        set_registry_value(RUNTIME_KEY, "Version", "2.0.507")
        layout = self.path("deploy", "Contoso 2.1")
        with Nginx(self.path("served")) as nginx:
            setup = self.make_setup("layout", served, nginx.url(""))
            code, output = run_windows('"%s" /layout:"%s"' % (windows_path(setup), windows_path(layout)),
                                       cwd=self.setup_folder, timeout=300)
            self.assertEqual(code, 0, output)
        self.assertEqual(sorted(os.listdir(layout)), ["ContosoRuntime.exe", "ContosoSetup.exe"])
        self.assertEqual(read(os.path.join(layout, "ContosoRuntime.exe")), served)
        self.assertFalse(os.path.exists(installed_marker(self.product)))
        delete_registry_key(RUNTIME_KEY)
        code, output = run_windows('"%s"' % windows_path(os.path.join(layout, "ContosoSetup.exe")), cwd=layout,
                                   timeout=300, env={"KORVELT_PREREQ_LOG": windows_path(self.log)})
        self.assertEqual(code, 0, output)
        self.assertEqual(self.ran(), [("ContosoRuntime.exe", "/quiet /norestart"), ("ContosoFonts.exe", "/silent")])
        self.assertTrue(os.path.exists(installed_marker(self.product)))

    # Exit codes of its own: 5100 is a success, and the engine is found
    # afterwards; 1603 is a failure though it is found; either way the main
    # package installs and the setup ends with its code. The author's log
    # tells each run, and KORVELT_LOG wins over it.
    def test_success_codes_example(self):
        setup = self.make_setup("success-codes")
        folder = os.path.join(PREFIX_C, "Program Files", "Contoso")
        self.addCleanup(shutil.rmtree, folder, True)
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(os.path.join(folder, "bin"))
        engine = os.path.join(folder, "bin", "contoso.dll")
        authored = os.path.join(temp_folder(), "ContosoSetup.log")
        asked = self.path("asked.log")
        self.addCleanup(lambda: os.path.exists(authored) and os.remove(authored))
        for code, verdict, log in ((5100, "a success code, present: Installed", authored),
                                   (1603, "a failure code, present: Failed", asked)):
            with self.subTest(code):
                for stale in (engine, authored, asked):
                    if os.path.exists(stale):
                        os.remove(stale)
                uninstall(self.package)
                # The program "installs" the engine by writing its line there.
                env = {"KORVELT_PREREQ_LOG": windows_path(engine), "KORVELT_PREREQ_EXIT": str(code)}
                if log == asked:
                    env["KORVELT_LOG"] = windows_path(asked)
                status, output = run_windows('"%s"' % windows_path(setup), cwd=self.setup_folder, timeout=300,
                                             env=env)
                self.assertEqual(status, 0, output)
                self.assertTrue(os.path.exists(installed_marker(self.product)))
                with open(log, encoding="latin-1") as lines:
                    texts = [line.rstrip("\r\n").split("] ", 1)[1] for line in lines]
                program = [text for text in texts if text.startswith('program App1 "Contoso Engine": ')]
                self.assertEqual(len(program), 1, texts)
                self.assertIn('"/quiet /norestart" exit code %d after ' % code, program[0])
                self.assertTrue(program[0].endswith(verdict), program[0])
                self.assertEqual(texts[-1], "exit code 0")
                if log == asked:
                    self.assertFalse(os.path.exists(authored), "KORVELT_LOG wins")


class ExamplesTest(unittest.TestCase):
    # Every example the reference marks is one that a test above runs.
    def test_every_example_is_run(self):
        blocks, rows = examples()
        self.assertEqual(sorted(blocks), ["complete", "file-name", "file-search", "https", "layout", "registry-keys",
                                          "registry-value", "success-codes"])
        self.assertEqual(list(rows), ["complete"])
        self.assertEqual(len(rows["complete"]), 3)


if __name__ == "__main__":
    unittest.main()
