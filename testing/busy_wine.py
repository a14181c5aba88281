#!/usr/bin/env python3
"""Keeps a Wine prefix of its own busy beside the test suite, on the same
display: quiet setups that download from a server on 127.0.0.1 and install
a package, windows and message boxes opened and left open a while, short
programs, and now and then the prefix's wineserver stopped so that the next
program starts it again. With --cpu, stress-ng loads the processor too.
The suite must pass with this running: it is the load a shared machine puts
beside it.

usage: testing/busy_wine.py [--arch x64|x86] [--seconds N] [--workers N] [--cpu N] [--own-display]

Built programs are taken from build/ as the tests take them; the prefix is
build/wine-busy-ARCH, made on first use. It runs until N seconds have passed
(an hour unless told) or it is interrupted, and ends what it started. With
--own-display its windows go to an Xvfb of its own instead: a window of
another prefix that takes the keyboard also takes the keys that the wizard
tests type into the folder picker."""
import argparse
import os
import random
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time

SOURCE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def parse():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--arch", default=os.environ.get("KORVELT_ARCH", "x64"), choices=["x86", "x64"])
    parser.add_argument("--seconds", type=float, default=3600)
    parser.add_argument("--workers", type=int, default=2)
    parser.add_argument("--cpu", type=int, default=0, help="stress-ng CPU workers beside the Wine work")
    parser.add_argument("--own-display", action="store_true", help="an Xvfb of its own for its windows")
    return parser.parse_args()


ARGUMENTS = parse()
# The harness reads these as it is imported: the busy prefix is not the suite's.
os.environ["KORVELT_ARCH"] = ARGUMENTS.arch
os.environ["KORVELT_WIN_BUILD"] = os.path.join(SOURCE, "build", "win64" if ARGUMENTS.arch == "x64" else "win32")
os.environ["WINEPREFIX"] = os.path.join(SOURCE, "build", "wine-busy-" + ARGUMENTS.arch)
sys.path.insert(0, os.path.join(SOURCE, "tests", "e2e"))
import harness  # noqa: E402
from servers import FaultServer  # noqa: E402

PROGRAM = os.path.join(harness.TOOLS, "fake_prereq.exe")
stopping = threading.Event()


def say(text):
    print("busy: " + text, flush=True)


def make_prefix():
    prefix = os.environ["WINEPREFIX"]
    if os.path.exists(os.path.join(prefix, ".korvelt-ready")):
        return
    say("making the prefix " + prefix)
    os.makedirs(prefix, exist_ok=True)
    env = harness.wine_env()
    subprocess.run([*harness.WINE, "wineboot", "-i"], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    subprocess.run([*harness.WINE, "reg", "add", "HKCU\\Software\\Wine\\X11 Driver", "/v", "Managed", "/d", "N", "/f"],
                   env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    subprocess.run(["wineserver", "-w"], env=env)
    open(os.path.join(prefix, ".korvelt-ready"), "w").close()


def quiet_setup(folder, number):
    """A quiet setup that downloads a prerequisite slowly and installs a package."""
    served = os.path.join(folder, "served")
    os.makedirs(served, exist_ok=True)
    shutil.copy(PROGRAM, os.path.join(served, "two.exe"))
    name = "KorveltBusy%d" % number
    package = harness.build_msi(folder, name, file_name="App.msi")
    setup_folder = os.path.join(folder, "setup")
    shutil.rmtree(setup_folder, ignore_errors=True)
    os.makedirs(setup_folder)
    with FaultServer(served) as server:
        config = os.path.join(folder, "App.ini")
        with open(config, "w") as out:
            out.write("\r\n".join([
                "[GeneralOptions]", "MainAppCmdLine=/qn", "Options=q", "", "[PREREQUISITES]", "App1=Busy", "",
                "[App1]", "Url=" + server.url("slow", "two.exe"), "ExactSize=%d" % os.path.getsize(PROGRAM),
                "CommandLine=/log:%s /name:busy" % harness.windows_path(os.path.join(folder, "ran.log")),
                "SearchType=1", "SearchString=HKCU\\Software\\KorveltNeverThere\\Busy"]) + "\r\n")
        setup = harness.pack(os.path.join(setup_folder, "setup.exe"), "--prerequisites", "--main", package,
                             "--config", config)
        run = harness.start_windows('"%s"' % harness.windows_path(setup))
        wait(run.process, 300)
    harness.uninstall(package)


def window_for_a_while(program, seconds):
    """A program with a window, ended after a while."""
    process = subprocess.Popen([*harness.WINE, program], env=harness.wine_env(), stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    stopping.wait(seconds)
    process.kill()
    process.wait()


def error_box(folder):
    """A setup whose payload is of an unknown version shows an error box and
    waits for it to be closed; it is left showing a while, then ended."""
    package = harness.random_file(os.path.join(folder, "Broken.msi"), 4096, 1)
    setup = harness.pack(os.path.join(folder, "broken.exe"), "--main", package)
    with open(setup, "r+b") as file:
        file.seek(-32, os.SEEK_END)
        file.write(b"\x65\0\0\0")
    run = harness.start_windows('"%s" /qn' % harness.windows_path(setup))
    stopping.wait(random.uniform(2, 8))
    run.process.kill()
    run.process.wait()


def short_programs():
    for command in (["cmd", "/c", "echo", "busy"], ["reg", "query", "HKCU\\Software"], ["hostname"]):
        subprocess.run([*harness.WINE, *command], env=harness.wine_env(), stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=120)


def restart_server():
    """Ends every program of the busy prefix; the next one starts its
    wineserver and system processes anew."""
    subprocess.run(["wineserver", "-k"], env=harness.wine_env(), timeout=60)


def wait(process, seconds):
    deadline = time.monotonic() + seconds
    while process.poll() is None and time.monotonic() < deadline and not stopping.is_set():
        time.sleep(0.2)
    if process.poll() is None:
        process.kill()
        process.wait()


def worker(number):
    jobs = [lambda folder: quiet_setup(folder, number),
            lambda folder: window_for_a_while("notepad", random.uniform(2, 10)),
            error_box,
            lambda folder: window_for_a_while("winemine", random.uniform(1, 5)),
            lambda folder: short_programs(),
            lambda folder: quiet_setup(folder, number),
            lambda folder: restart_server()]
    folder = tempfile.mkdtemp(prefix="korvelt-busy-")
    count = 0
    try:
        while not stopping.is_set():
            job = jobs[count % len(jobs)]
            count += 1
            try:
                job(folder)
            except Exception as error:  # the load goes on whatever one job came to
                say("worker %d: %s" % (number, error))
    finally:
        shutil.rmtree(folder, ignore_errors=True)
        say("worker %d ran %d jobs" % (number, count))


def own_display():
    """Starts an Xvfb on a free display number and makes it this process's."""
    for number in range(121, 160):
        if os.path.exists("/tmp/.X11-unix/X%d" % number) or os.path.exists("/tmp/.X%d-lock" % number):
            continue
        server = subprocess.Popen(["Xvfb", ":%d" % number, "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.environ["DISPLAY"] = ":%d" % number
        for _ in range(50):
            if os.path.exists("/tmp/.X11-unix/X%d" % number):
                return server
            time.sleep(0.1)
        return server
    sys.exit("busy_wine.py: no free display number")


def main():
    display = own_display() if ARGUMENTS.own_display else None
    if not os.environ.get("DISPLAY"):
        sys.exit("busy_wine.py: no DISPLAY; run it on the display the suite uses, or with --own-display")
    signal.signal(signal.SIGTERM, lambda *_: stopping.set())
    make_prefix()
    stress = None
    if ARGUMENTS.cpu:
        stress = subprocess.Popen(["stress-ng", "--cpu", str(ARGUMENTS.cpu), "--timeout", "%ds" % ARGUMENTS.seconds,
                                   "--quiet"])
    threads = [threading.Thread(target=worker, args=(n,)) for n in range(ARGUMENTS.workers)]
    for thread in threads:
        thread.start()
    say("running in %s for %d s" % (os.environ["WINEPREFIX"], ARGUMENTS.seconds))
    try:
        stopping.wait(ARGUMENTS.seconds)
    except KeyboardInterrupt:
        pass
    stopping.set()
    for thread in threads:
        thread.join(timeout=360)
    if stress:
        stress.terminate()
        stress.wait()
    restart_server()
    if display:
        display.terminate()
        display.wait()


if __name__ == "__main__":
    main()
