"""The harness itself, under what a busy machine does to a Wine prefix."""
import os
import subprocess
import time
import unittest

from harness import TOOLS, WINE, WineTestCase, finish, start_windows, wine_env, windows_path


class HarnessTest(WineTestCase):
    # A run that starts the prefix, which another program then keeps alive:
    # the prefix's own processes hold whatever output the run was given,
    # yet the run is over when exit_code.exe is, not when the prefix is.
    def test_run_ends_while_the_prefix_lives_on(self):
        subprocess.run(["wineserver", "-k"], env=wine_env(), timeout=60)
        subprocess.run(["wineserver", "-w"], env=wine_env(), timeout=60)
        # The probe, told of no process, shows nothing and ends after its time.
        probe = os.path.join(TOOLS, "dialog_probe.exe")
        run = start_windows('"%s" 3' % windows_path(probe))
        deadline = time.monotonic() + 60
        while run.windows_pid is None and time.monotonic() < deadline:
            time.sleep(0.05)
        self.assertIsNotNone(run.windows_pid, "the run started: " + run.output())
        other = subprocess.Popen([*WINE, probe, "120"], env=wine_env(), stdin=subprocess.DEVNULL,
                                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.addCleanup(other.wait)
        self.addCleanup(other.kill)
        self.assertEqual(finish(run, timeout=60), 0)
        self.assertIsNone(other.poll(), "the other program kept the prefix alive all along")


if __name__ == "__main__":
    unittest.main()
