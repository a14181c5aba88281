"""How long a normal run of a setup with a 100 MiB payload takes under warm
Wine, from the process's start to its status window and to the launch of
msiexec. A run extracts the main files before it launches the package, so
the baseline is the minimal program that copies the same bytes under the
same rules (copy_ranges.exe), started the same way and timed from its start
to the end of its copy; cp + sync of the same bytes is shown for readers."""
import math
import os
import re
import subprocess
import sys
import time

import benchlib

sys.path.insert(0, os.path.join(benchlib.SOURCE, "tests", "e2e"))
import harness  # noqa: E402

ROUNDS = 5
# Every module a process loads is noted with the tick it was loaded at.
TRACE = {"WINEDEBUG": "+timestamp,+loaddll"}


def started_tick(output):
    match = re.search(r"started \d+ at tick (\d+)", output)
    if not match:
        sys.exit("the program was not started: " + output)
    return int(match.group(1))


def exit_code(output):
    match = re.search(r"exit code (-?\d+)", output)
    return int(match.group(1)) if match else None


def main():
    benchlib.measure_under_warm_wine(measure)


def measure(build, work, wine):
    if not os.path.exists(wine.arch.stub):
        sys.exit("no %s; build it first" % wine.arch.stub)
    package = harness.build_msi(work, "KorveltBench")
    media = os.path.join(work, "media.cab")
    with open(media, "wb") as out:
        block = os.urandom(1 << 20)
        for _ in range(100):
            out.write(block)
    setup = benchlib.pack(build, wine.arch.stub, os.path.join(work, "setup.exe"), "--main", package, "--support",
                          media)

    copy_ranges = wine.program("copy_ranges.exe")
    probe_program = wine.program(os.path.join("e2e-tools", "dialog_probe.exe"))
    out = os.path.join(work, "copy")

    def run():
        """Seconds from the setup's start to msiexec's start and to its
        status window (infinite when the probe missed it)."""
        subprocess.run(["sync"], check=True)
        probe = wine.start([probe_program, "120", "program", "setup.exe"], "dialog_probe")
        time.sleep(1)  # the probe is watching before the setup starts
        output = wine.run_command_line('"%s" /qn' % benchlib.windows_path(setup), "run", TRACE)
        probe.kill()
        probe.wait()
        with open(probe.log, "rb") as log:
            seen = log.read().decode("latin-1")
        wine.run(["msiexec", "/x", benchlib.windows_path(package), "/qn"], "uninstall")
        if exit_code(output) != 0:
            sys.exit("the setup ended with exit code %s: %s" % (exit_code(output), output[-2000:]))
        started = started_tick(output)
        launched = re.search(r"^(\d+)\.(\d+):\S+ Loaded L\"[^\"]*\\\\msiexec\.exe\"", output, re.M)
        if not launched:
            sys.exit("msiexec was not seen starting: " + output[-2000:])
        window = re.search(r"tick (\d+)\r?\ndialog \S+ \"[^\"]* Setup\"", seen)
        to_launch = (int(launched.group(1)) * 1000 + int(launched.group(2)) - started) / 1000.0
        to_window = (int(window.group(1)) - started) / 1000.0 if window else math.inf
        return to_launch, to_window

    def baseline():
        """Seconds from the baseline's start to its first instruction and to
        the end of its copy."""
        benchlib.fresh_folder(out)
        command_line = " ".join('"%s"' % argument for argument in
                                [benchlib.windows_path(copy_ranges), *benchlib.copy_ranges_arguments(setup, out)])
        output = wine.run_command_line(command_line, "copy_ranges", TRACE)
        if exit_code(output) != 0:
            sys.exit("copy_ranges.exe failed: " + output[-2000:])
        started = started_tick(output)
        entered = int(re.search(r"^started at tick (\d+)", output, re.M).group(1))
        copied = int(re.search(r"^copied at tick (\d+)", output, re.M).group(1))
        return (copied - started) / 1000.0, (entered - started) / 1000.0

    def copy():
        return benchlib.cp_sync([package, media], out)

    # Once each untimed, so that every round reads the setup from memory.
    run()
    baseline()
    best = benchlib.best_of(ROUNDS, run=run, baseline=baseline, copy=copy)
    to_launch, to_window = best["run"]
    copied, entered = best["baseline"]
    cp = best["copy"]

    name = os.path.basename(wine.arch.stub)
    print("normal run of %s /qn, 100 MiB payload, under warm Wine (best of %d; seconds from the process's start):"
          % (name, ROUNDS))
    if math.isinf(to_window):
        print("  status window shown:        not seen")
    else:
        print("  status window shown:        %6.3f s (polled every 20 ms)" % to_window)
    print("  msiexec started:            %6.3f s" % to_launch)
    print("  baseline, the minimal copy program of the same bytes: copy done %.3f s (its own start-up %.3f s)"
          % (copied, entered))
    print("  cp + sync of the same bytes (for readers): %.3f s" % cp)
    print("  msiexec started, ratio to the baseline's copy: %s, to cp + sync: %s"
          % (benchlib.ratio(to_launch, copied), benchlib.ratio(to_launch, cp)))
    if not math.isinf(to_window):
        print("  status window, ratio to the baseline's copy:   %s (the window comes before the extraction)"
              % benchlib.ratio(to_window, copied))
        print("  status window to msiexec (extraction and launch) %.3f s, ratio to the baseline's copy after its "
              "start-up: %s" % (to_launch - to_window, benchlib.ratio(to_launch - to_window, copied - entered)))


if __name__ == "__main__":
    main()
