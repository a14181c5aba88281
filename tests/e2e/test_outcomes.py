"""What the setup makes of its prerequisites' exit codes under Wine: a
program that fails shows as Failed and leaves the setup's exit code to the
main package; 3010 asks for a restart in the setup's own exit code; 1641
stops everything and leaves the Run value for the run after the restart;
SuccessCodes lets a program succeed with a code of its own; detection after
a program decides whether it did its work. And the log, written only when
asked for."""
import os
import subprocess
import unittest

import control_ids as ids
import driver
from harness import (PREFIX_C, RUN_KEY, TOOLS, WineTestCase, build_msi, finish, installed_marker, pack,
                     registry_value, run_windows, screenshot, start_windows, stop_run, temp_folder, uninstall, windows_path,
                     wine_env, WINE)
from servers import Nginx

PROGRAM = os.path.join(TOOLS, "fake_prereq.exe")
NEXT, FINISH, LIST, HINT = ids.kNextButton, ids.kFinishButton, ids.IDC_PREREQ_LIST, ids.IDC_STEP_HINT


def delete_run_value(name):
    subprocess.run([*WINE, "reg", "delete", RUN_KEY, "/v", name, "/f"], env=wine_env(), stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=60)


class OutcomeCase(WineTestCase):
    """A setup of fake prerequisite programs that exit as told, and a real
    main package."""

    def setUp(self):
        super().setUp()
        self.ran_log = self.path("ran.log")
        self.product = "KorveltOutcome%d%s" % (os.getpid(), "".join(w[:4] for w in self._testMethodName.split("_")[1:]))
        self.package = build_msi(self.folder, self.product, file_name="App.msi")
        self.setup_folder = self.path("setup")
        os.makedirs(self.setup_folder)

    def tearDown(self):
        # While the package is still there to name the product.
        uninstall(self.package)
        super().tearDown()

    def make_setup(self, prerequisites, general="Options=q", name="setup.exe"):
        """A setup whose prerequisites are (section name, keys) pairs, each run
        from one.exe (the fake program) with /name: and its /exit: code."""
        lines = ["[GeneralOptions]", general, "", "[PREREQUISITES]"]
        lines += ["%s=Runtime %s" % (app, app) for app, _ in prerequisites]
        for app, keys in prerequisites:
            lines += ["", "[%s]" % app] + ([] if "Url" in keys else ["SetupFile=one.exe"])
            lines += ["%s=%s" % (key, value) for key, value in keys.items()]
        config = self.path("App.ini")
        with open(config, "w") as out:
            out.write("\r\n".join(lines) + "\r\n")
        setup = os.path.join(self.setup_folder, name)
        self.addCleanup(delete_run_value, windows_path(setup))
        return pack(setup, "--prerequisites", "--main", self.package, "--config", config,
                    "--on-demand", "one.exe=" + PROGRAM)

    def program(self, app, code, search=None, wait=0, **more):
        """A prerequisite whose program exits with `code` after `wait` ms; it
        counts as present once `search` (a file, by default one never made)
        exists."""
        keys = {"CommandLine": "/log:%s /name:%s /exit:%d /wait:%d" % (windows_path(self.ran_log), app, code, wait),
                "SearchType": "0", "SearchString": windows_path(search or self.path("never-there.dll"))}
        keys.update(more)
        return app, keys

    def ran(self):
        if not os.path.exists(self.ran_log):
            return []
        with open(self.ran_log, encoding="latin-1") as lines:
            return [line.split("|", 1)[0] for line in lines if line.strip()]

    def run_setup(self, setup, log=None, timeout=300):
        env = {"KORVELT_LOG": windows_path(log)} if log else None
        code, output = run_windows('"%s"' % windows_path(setup), cwd=self.setup_folder, timeout=timeout, env=env)
        return code

    def log_lines(self, log):
        with open(log, encoding="latin-1") as lines:
            return [line.rstrip("\r\n").split("] ", 1)[1] for line in lines]

    def line(self, lines, start):
        found = [line for line in lines if line.startswith(start)]
        self.assertTrue(found, "no line begins with %r in:\n%s" % (start, "\n".join(lines)))
        return found[0]


class QuietOutcomesTest(OutcomeCase):
    # Quiet runs, one setup each: how the program's exit code and what is
    # found after it make the row, the main package and the exit code.
    def test_exit_codes_in_the_quiet_run(self):
        # A program "installs" its prerequisite by writing its line into
        # ran.log: a search for that file finds it afterwards.
        cases = [
            # (what, prerequisites, exit code, ran, verdicts, main package installed)
            ("1603 fails", [self.program("App1", 1603, search=self.ran_log)], 0, ["App1"],
             ["exit code 1603", "a failure code, present: Failed"], True),
            ("0 but still missing", [self.program("App1", 0)], 0, ["App1"],
             ["exit code 0", "a success code, not present: Failed"], True),
            ("3010 asks for a restart", [self.program("App1", 3010, search=self.ran_log)], 3010, ["App1"],
             ["exit code 3010", "a success code, present: Installed"], True),
            ("SuccessCodes accepts 5100",
             [self.program("App1", 5100, search=self.ran_log, SuccessCodes="0,3010,5100")], 0, ["App1"],
             ["exit code 5100", "a success code, present: Installed"], True),
            ("5100 without SuccessCodes fails", [self.program("App1", 5100, search=self.ran_log)], 0, ["App1"],
             ["exit code 5100", "a failure code, present: Failed"], True),
        ]
        for what, prerequisites, exit_code, ran, verdict, installed in cases:
            with self.subTest(what):
                for stale in (self.ran_log, self.path("setup.log")):
                    if os.path.exists(stale):
                        os.remove(stale)
                setup = self.make_setup(prerequisites)
                log = self.path("setup.log")
                self.assertEqual(self.run_setup(setup, log), exit_code)
                self.assertEqual(self.ran(), ran)
                lines = self.log_lines(log)
                program = self.line(lines, "program App1 ")
                for part in verdict:
                    self.assertIn(part, program)
                self.assertEqual(os.path.exists(installed_marker(self.product)), installed)
                self.assertEqual(lines[-1], "exit code %d" % exit_code)
                self.assertIsNone(registry_value(RUN_KEY, windows_path(setup)))
                uninstall(self.package)

    # 1641: the program has started a restart. Nothing after it runs, not
    # even the main package; the Run value stays, so that the setup goes on
    # after the restart; the exit code is 1641. That next run finds the
    # prerequisite present and installs the main package.
    def test_restart_started_stops_everything(self):
        marker = self.path("first-done")
        setup = self.make_setup([self.program("App1", 1641, search=self.ran_log),
                                 self.program("App2", 0, search=marker)])
        self.assertEqual(self.run_setup(setup), 1641)
        self.assertEqual(self.ran(), ["App1"])
        self.assertFalse(os.path.exists(installed_marker(self.product)))
        self.assertEqual(registry_value(RUN_KEY, windows_path(setup)), windows_path(setup))
        # The run the Run value starts after the restart.
        with open(marker, "w") as out:
            out.write("App2 is there now\n")
        self.assertEqual(self.run_setup(setup), 0)
        self.assertEqual(self.ran(), ["App1"], "nothing left to install")
        self.assertTrue(os.path.exists(installed_marker(self.product)))
        self.assertIsNone(registry_value(RUN_KEY, windows_path(setup)))

    # A log on request holds a line for each kind of event, read back here;
    # the author's LogFile is used when KORVELT_LOG is not set; without
    # either nothing is written beside the setup (the only folder this test
    # lists).
    def test_log_on_request(self):
        served = self.path("served")
        os.makedirs(served)
        with open(PROGRAM, "rb") as source, open(os.path.join(served, "two.exe"), "wb") as out:
            two = source.read()
            out.write(two)
        log = self.path("logs", "setup.log")
        os.makedirs(os.path.dirname(log))
        with Nginx(served) as nginx:
            url = nginx.url("two.exe").replace("http://", "http://ann:secret@", 1)
            web = ("App2", {"Url": url, "ExactSize": str(len(two)), "CommandLine": "/log:%s /name:App2 /exit:1603" %
                            windows_path(self.ran_log), "SearchType": "1",
                            "SearchString": "HKCU\\Software\\KorveltNeverThere\\App2"})
            setup = self.make_setup([self.program("App1", 3010, search=self.ran_log), web])
            before = self.listing()
            self.assertEqual(self.run_setup(setup), 3010)
            # The download is all that is new.
            self.assertEqual(self.listing(), before | {os.path.join(self.setup_folder, "two.exe")},
                             "no log without asking")
            uninstall(self.package)
            # The second run downloads again.
            for done in (self.ran_log, os.path.join(self.setup_folder, "two.exe")):
                os.remove(done)
            self.assertEqual(self.run_setup(setup, log), 3010)
        with open(log, "rb") as raw:
            text = raw.read()
        if os.environ.get("KORVELT_SHOW_LOG"):
            print(text.decode("latin-1"))
        self.assertNotIn(b"secret", text)
        self.assertTrue(text.endswith(b"\r\n"))
        lines = self.log_lines(log)
        self.assertRegex(lines[0], r"^Korvelt \d+\.\d+\.\d+ x(86|64)$")
        self.assertRegex(self.line(lines, "Windows "), r"^Windows \d+\.\d+\.\d+")
        self.assertEqual(self.line(lines, "command tail "), 'command tail ""')
        self.line(lines, 'payload entry "App.msi": kind 0')
        self.line(lines, 'payload entry "one.exe": kind 4')
        self.assertIn("found nothing", self.line(lines, 'App1 "Runtime App1": search 0 '))
        self.assertIn("action Download", self.line(lines, 'App2 "Runtime App2": search 1 '))
        download = self.line(lines, 'download App2 "Runtime App2": "%s"' % nginx.url("two.exe"))
        self.assertIn("outcome complete", download)
        size = os.path.getsize(PROGRAM)
        self.assertIn(' -> "%s"; status 200; length %d; from byte 0; %d bytes in ' % (nginx.url("two.exe"), size, size),
                      download)
        self.assertIn("; retries 0; ", download)
        self.assertRegex(download, r" in \d+\.\d{3} s, (\d+\.\d\d|\?) KB/s")
        self.assertIn("exit code 3010 after ", self.line(lines, 'program App1 "Runtime App1": '))
        self.assertIn("a failure code, not present: Failed", self.line(lines, 'program App2 "Runtime App2": '))
        self.assertIn("App.msi", self.line(lines, "main package "))
        self.line(lines, "main package exit code 0 after ")
        self.line(lines, "restart: required")
        self.line(lines, "clean-up: ")
        self.assertEqual(lines[-1], "exit code 3010")
        # The author's LogFile, with a folder keyword, when nobody asks.
        uninstall(self.package)
        authored = os.path.join(temp_folder(), "%s.log" % self.product)
        self.addCleanup(lambda: os.path.exists(authored) and os.remove(authored))
        setup = self.make_setup([self.program("App1", 0, search=self.ran_log)],
                                general="Options=q\r\nLogFile=[TempFolder]%s.log" % self.product, name="authored.exe")
        self.assertEqual(self.run_setup(setup), 0)
        lines = self.log_lines(authored)
        self.assertRegex(lines[0], r"^Korvelt ")
        self.assertEqual(lines[-1], "exit code 0")

    def listing(self):
        """Every file of the test's own folder, the setup's among them."""
        found = set()
        for root, _, names in os.walk(self.folder):
            found.update(os.path.join(root, name) for name in names)
        found.discard(self.ran_log)
        return found


class WizardOutcomesTest(OutcomeCase):
    def start(self, setup, watcher):
        run = watcher.watch(start_windows('"%s"' % windows_path(setup), cwd=self.setup_folder))

        self.addCleanup(stop_run, run)
        return run

    def next_to_install(self, watcher):
        info = watcher.wait_for(lambda d: d.control(id=NEXT) is not None and d.control(id=NEXT).enabled and
                                d.control(id=LIST) is None, what="the Information page")
        driver.click(info.control(id=NEXT))
        page = watcher.wait_for(lambda d: d.control(id=LIST) is not None and d.control(id=HINT) is not None and
                                d.control(id=HINT).text.endswith("install the prerequisites."),
                                what="the PreRequisites page")
        driver.click(page.control(id=NEXT))

    # The wizard after an install step whose first program failed (1603)
    # and whose second succeeded: Failed and Installed, with what is found
    # now in the Status column; the failed row can be scheduled again; the
    # exit code is the main package's.
    def test_failed_row_in_the_wizard(self):
        # Programs that take a moment, so that the installation dialog can be
        # seen on a busy machine.
        setup = self.make_setup([self.program("App1", 1603, search=self.ran_log, wait=800),
                                 self.program("App2", 0, search=self.ran_log, wait=800)], general="Options=")
        watcher = driver.Watcher()
        try:
            run = self.start(setup, watcher)
            self.next_to_install(watcher)
            page = watcher.wait_for(
                lambda d: d.control(id=HINT) is not None and
                d.control(id=HINT).text == "Please press the Finish button to install the main application." and
                [r[-1] for r in d.control(id=LIST).rows] == ["Failed", "Installed"], what="the rows after the installs")
            rows = page.control(id=LIST).rows
            # What detection finds now: the file the programs wrote, which
            # has no version resource.
            self.assertEqual([r[1] for r in rows], ["Required: any. Found: 0.0.0.0"] * 2)
            self.assertFalse(page.control(id=NEXT).enabled)
            screenshot("outcomes-failed-install")
            # The Failed row offers "Install" again, as a Not Found one does.
            listed = page.control(id=LIST)
            driver.click_at(listed.x + listed.width - 30, listed.y + 24 + 7)
            chooser = watcher.wait_for(lambda d: d.control(kind="ComboBox") is not None, what="the chooser")
            self.assertEqual(chooser.control(kind="ComboBox").text, "Don't Install")
            driver.click(chooser.control(kind="ComboBox"))
            driver.keys("End", "Return", into=chooser)
            driver.click_at(listed.x + 20, listed.y + listed.height - 10)
            page = watcher.wait_for(
                lambda d: d.control(id=LIST) is not None and d.control(id=HINT) is not None and
                [r[-1] for r in d.control(id=LIST).rows] == ["Install", "Installed"] and
                d.control(id=HINT).text == "Please press the Next button to install the prerequisites.",
                what="the failed row scheduled again")
            driver.click(page.control(id=FINISH))
            code = finish(run, timeout=300, probe=watcher.probe)
        finally:
            watcher.stop()
        self.assertEqual(code, 0)
        self.assertEqual(self.ran(), ["App1", "App2"])
        self.assertTrue(os.path.exists(installed_marker(self.product)))

    # 1641 in the wizard: the install step ends at that program, the sheet
    # closes as finished, no main package; the Run value stays; 1641.
    def test_restart_started_in_the_wizard(self):
        setup = self.make_setup([self.program("App1", 1641, search=self.ran_log), self.program("App2", 0)],
                                general="Options=")
        watcher = driver.Watcher()
        try:
            run = self.start(setup, watcher)
            self.next_to_install(watcher)
            code = finish(run, timeout=300, probe=watcher.probe)
        finally:
            watcher.stop()
        self.assertEqual(code, 1641)
        self.assertEqual(self.ran(), ["App1"])
        self.assertFalse(os.path.exists(installed_marker(self.product)))
        self.assertEqual(registry_value(RUN_KEY, windows_path(setup)), windows_path(setup))

if __name__ == "__main__":
    unittest.main()
