"""How long a normal run takes, from process start to its status window and
to the launch of msiexec, for a 100 MiB payload, against cp + sync of the
same bytes measured in this run."""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "tests", "e2e"))
import harness  # noqa: E402


def one_run(setup, package):
    probe = harness.probe_dialogs(60)
    time.sleep(1.5)  # the probe is watching before the setup starts
    run = harness.start_windows('"%s" /qn' % harness.windows_path(setup), env={"WINEDEBUG": "+timestamp,+loaddll"})
    output = run.communicate(timeout=300)[0].decode("latin-1")
    probe.kill()
    seen = probe.communicate()[0].decode("latin-1")
    harness.uninstall(package)
    started = int(re.search(r"started \d+ at tick (\d+)", output).group(1))
    launched = re.search(r"^(\d+)\.(\d+):\S+ Loaded L\"C:\\\\windows\\\\system32\\\\msiexec.exe\"", output, re.M)
    window = re.search(r"tick (\d+)\r?\ndialog \S+ \"Korvelt Setup\"", seen)
    to_launch = (int(launched.group(1)) * 1000 + int(launched.group(2)) - started) / 1000.0
    to_window = (int(window.group(1)) - started) / 1000.0 if window else None
    return to_window, to_launch


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else os.path.join(harness.SOURCE, "build")
    work = tempfile.mkdtemp(prefix="korvelt-bench-", dir=build)
    try:
        package = harness.build_msi(work, "KorveltBench")
        media = os.path.join(work, "media.cab")
        with open(media, "wb") as out:
            block = os.urandom(1 << 20)
            for _ in range(100):
                out.write(block)
        setup = harness.pack(os.path.join(work, "setup.exe"), "--main", package, "--support", media)

        out = os.path.join(work, "copy")

        def copy():
            shutil.rmtree(out, ignore_errors=True)
            os.mkdir(out)
            start = time.perf_counter()
            subprocess.run(["cp", package, media, out], check=True)
            subprocess.run(["sync"], check=True)
            return time.perf_counter() - start

        copy()
        baseline = min(copy() for _ in range(3))
        runs = [one_run(setup, package) for _ in range(3)]
        windows = [w for w, _ in runs if w is not None]
        launch = min(l for _, l in runs)
        print("cp + sync of the 100 MiB payload: %.3f s" % baseline)
        if windows:
            print("process start to status window: %.3f s (polled every 20 ms), ratio to cp %.2f"
                  % (min(windows), min(windows) / baseline))
        else:
            print("process start to status window: not seen")
        print("process start to msiexec launch: %.3f s, ratio to cp %.2f" % (launch, launch / baseline))
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
