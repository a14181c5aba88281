"""What the end-to-end tests share: the built programs, Wine, payloads."""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import unittest

import control_ids

SOURCE = os.environ.get("KORVELT_SOURCE", os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))))
sys.path.insert(0, os.path.join(SOURCE, "testing"))
import wine_settings  # noqa: E402

BIN = os.environ.get("KORVELT_BIN", os.path.join(SOURCE, "build", "bin"))
# The architecture under test: x86 (the i686 bootstrapper under 32-bit
# Wine) or x64 (the x86_64 one under 64-bit Wine). The tests are written
# once and run for each.
ARCH = os.environ.get("KORVELT_ARCH", "x86")
X64 = ARCH == "x64"
# Its loader, prefix, Win32 build and bootstrapper (testing/wine-ARCH.env).
WINE_SETTINGS = wine_settings.settings(ARCH)
WIN_BUILD = os.environ.get("KORVELT_WIN_BUILD", os.path.join(SOURCE, "build", WINE_SETTINGS.win_build))
STUB = os.path.join(BIN, WINE_SETTINGS.stub)
WINE = [WINE_SETTINGS.loader]
PACK = os.path.join(BIN, "korvelt-pack")
EXIT_CODE = os.path.join(WIN_BUILD, "e2e-tools", "exit_code.exe")
ARTIFACTS = os.path.join(SOURCE, "build", "e2e")


def wine_env(extra=None):
    env = wine_settings.environment(WINE_SETTINGS, os.path.join(SOURCE, "build"))
    if extra:
        env.update(extra)
    return env


def windows_path(path):
    """The path as a Windows program under Wine sees it (drive Z: is /)."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def run_windows(command_line, cwd=None, timeout=120, env=None):
    """Runs a Windows command line under Wine; returns (exit code, output).
    A run that does not end within `timeout` seconds leaves its state
    behind (see leave_state) and fails."""
    run = start_windows(command_line, cwd=cwd, env=env)
    code = finish(run, timeout)
    return code, run.output()


def pack(out, *arguments):
    """Builds a setup with the native packer."""
    subprocess.run([PACK, "create", "--stub", STUB, "--out", out, *arguments], check=True,
                   stdout=subprocess.DEVNULL)
    return out


def random_file(path, size, seed):
    data = bytes((seed * 131 + i * 7 + (i >> 8)) & 0xFF for i in range(min(size, 65536)))
    with open(path, "wb") as out:
        left = size
        while left > 0:
            out.write(data[:left])
            left -= len(data)
    return path


def read(path):
    with open(path, "rb") as source:
        return source.read()


class WineTestCase(unittest.TestCase):
    """A fresh folder per test, removed afterwards."""

    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="korvelt-e2e-")
        # Cleanups run last first, so the folder goes after every cleanup
        # the test adds (an uninstall still finds its package in it).
        self.addCleanup(shutil.rmtree, self.folder, True)

    def path(self, *parts):
        return os.path.join(self.folder, *parts)


TOOLS = os.path.join(WIN_BUILD, "e2e-tools")
PREFIX_C = os.path.join(wine_env()["WINEPREFIX"], "drive_c")

WXS = """<?xml version="1.0" encoding="utf-8"?>
<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">
  <Product Id="*" Name="{name}" Language="1033" Version="1.0.0" Manufacturer="Korvelt tests" UpgradeCode="{upgrade}">
    <Package InstallerVersion="200" Compressed="yes" InstallScope="perMachine"/>
    <Media Id="1" Cabinet="{name}.cab" EmbedCab="{embed}"/>
    <Directory Id="TARGETDIR" Name="SourceDir">
      <Directory Id="{program_files}">
        <Directory Id="INSTALLDIR" Name="{name}">
          <Component Id="Marker" Guid="{component}">
            <File Id="MarkerFile" Name="marker.txt" Source="{marker}" KeyPath="yes"/>
          </Component>
        </Directory>
      </Directory>
    </Directory>
    <Feature Id="Main" Level="1"><ComponentRef Id="Marker"/></Feature>
  </Product>
</Wix>
"""


def build_msi(folder, name, marker_text="installed by Korvelt\n", file_name=None, embed=True):
    """A real Windows Installer package that installs marker.txt into
    Program Files\\<name>; returns its path."""
    import uuid
    marker = os.path.join(folder, name + "-marker.txt")
    with open(marker, "w") as out:
        out.write(marker_text)
    source = os.path.join(folder, name + ".wxs")
    with open(source, "w") as out:
        out.write(WXS.format(name=name, upgrade=uuid.uuid4(), component=uuid.uuid4(), marker=os.path.basename(marker),
                             program_files="ProgramFiles64Folder" if X64 else "ProgramFilesFolder", embed="yes" if embed else "no"))
    package = os.path.join(folder, file_name or name + ".msi")
    # The package matches the bootstrapper's architecture, so that both
    # install into the Program Files folder of their own kind.
    subprocess.run(["wixl", "-a", "x64" if X64 else "x86", "-o", package, os.path.basename(source)], check=True, cwd=folder,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return package


def installed_marker(name):
    return os.path.join(PREFIX_C, "Program Files", name, "marker.txt")


def uninstall(package):
    subprocess.run([*WINE, "msiexec", "/x", package, "/qn"], env=wine_env(), stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=120)


RUN_KEY = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run"


def registry_value(key, name):
    """The data of a REG_SZ value, or None."""
    status, output = wine_output(["reg", "query", key, "/v", name])
    if status != 0:
        return None
    for line in output.splitlines():
        if "REG_SZ" in line:
            return line.split("REG_SZ", 1)[1].strip()
    return ""


def set_registry_value(key, name, data):
    subprocess.run([*WINE, "reg", "add", key, "/v", name, "/t", "REG_SZ", "/d", data, "/f"], env=wine_env(),
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)


def delete_registry_key(key):
    subprocess.run([*WINE, "reg", "delete", key, "/f"], env=wine_env(), stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=60)


def temp_folder():
    return os.path.join(PREFIX_C, "users", os.environ.get("USER", "root"), "Temp")


def run_folders():
    """The bootstrapper's own folders left in the user's temporary folder."""
    base = temp_folder()
    return sorted(name for name in os.listdir(base) if name.startswith("korvelt-")) if os.path.isdir(base) else []


class OutputFile:
    """The output of a Wine program, written to a file and read as it grows.

    Not a pipe: the programs that Wine starts for the prefix (wineserver,
    its services, its desktop) inherit the output of the program that made
    the prefix start, and hold it open for as long as the prefix lives, so
    a pipe's end can come minutes after the program's own end, or never
    while anything else runs in the prefix."""

    def __init__(self):
        self.file = tempfile.TemporaryFile()

    def __del__(self):
        self.file.close()

    def text(self, start=0):
        """What was written from byte `start` on."""
        return os.pread(self.file.fileno(), 1 << 24, start).decode("latin-1")


def wine_output(arguments, timeout=60, env=None):
    """Runs a Wine program to its end; returns (its exit status, its output)."""
    output = OutputFile()
    process = subprocess.Popen([*WINE, *arguments], env=wine_env(env), stdin=subprocess.DEVNULL, stdout=output.file,
                               stderr=subprocess.STDOUT)
    try:
        process.wait(timeout=timeout)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()
        raise
    return process.returncode, output.text()


class WindowsRun:
    """A Windows command line started under Wine through exit_code.exe: its
    output, and the Windows process id of the program it started, which the
    dialog probe watches."""

    def __init__(self, command_line, cwd=None, env=None):
        environment = wine_env(env)
        environment["KORVELT_COMMAND_LINE"] = command_line
        self.command_line = command_line
        self.out = OutputFile()
        self.process = subprocess.Popen([*WINE, EXIT_CODE], cwd=cwd, env=environment, stdin=subprocess.DEVNULL,
                                        stdout=self.out.file, stderr=subprocess.STDOUT)

    def output(self):
        return self.out.text()

    @property
    def windows_pid(self):
        """The started program's Windows process id, once it was reported."""
        match = re.search(r"^started (\d+) at tick", self.output(), re.M)
        return int(match.group(1)) if match else None

    def code(self):
        """The program's exit code once exit_code.exe reported it, else None."""
        match = re.search(r"exit code (-?\d+)", self.output())
        return int(match.group(1)) if match else None

    @property
    def pid(self):
        return self.process.pid

    def poll(self):
        return self.process.poll()

    def kill(self):
        self.process.kill()

    def wait(self, timeout=None):
        return self.process.wait(timeout=timeout)


def stop_run(run):
    """Ends a run that a test gave up on half way, and Wine's processes of the
    prefix with it, so that no window of it is left for the next test."""
    if run.poll() is None:
        run.kill()
        run.wait()
        subprocess.run(["wineserver", "-k"], env=wine_env(), timeout=60)


def start_windows(command_line, cwd=None, env=None):
    """Starts a Windows command line under Wine in the background."""
    return WindowsRun(command_line, cwd=cwd, env=env)


def finish(run, timeout=120, probe=None):
    """The exit code of a started run, once exit_code.exe ended. A run that
    has not ended within `timeout` seconds leaves its state behind (with
    what `probe` saw of its windows) and fails."""
    try:
        run.wait(timeout=timeout)
    except subprocess.TimeoutExpired:
        where = leave_state("timeout-%d" % run.pid, run=run, probe=probe)
        raise AssertionError("the setup did not end within %d s; its state is in %s" % (timeout, where))
    code = run.code()
    if code is None:
        raise AssertionError("no exit code reported: " + run.output())
    return code


class Probe:
    """dialog_probe.exe watching the windows of the runs it is told of (and
    of the programs they start); its output is read as it comes."""

    def __init__(self, seconds, close=False, until=0):
        arguments = [*WINE, os.path.join(TOOLS, "dialog_probe.exe"), str(seconds)]
        if close:
            arguments += ["close", "until-closed", str(until)]
        self.out = OutputFile()
        self.process = subprocess.Popen(arguments, env=wine_env(), stdin=subprocess.PIPE, stdout=self.out.file,
                                        stderr=subprocess.DEVNULL)
        self.read = 0
        self.pending = ""

    def watch(self, run):
        """Tells the probe the run's program, once exit_code.exe has named it."""
        def tell():
            deadline = time.monotonic() + 300
            while run.windows_pid is None and run.poll() is None and time.monotonic() < deadline:
                time.sleep(0.05)
            if run.windows_pid is None:
                return
            try:
                self.process.stdin.write(b"%d\n" % run.windows_pid)
                self.process.stdin.flush()
            except (BrokenPipeError, ValueError):
                pass
        threading.Thread(target=tell, daemon=True).start()
        return self

    def readline(self, timeout):
        """The next whole line, or "" once the probe ended or `timeout` passed."""
        deadline = time.monotonic() + timeout
        while True:
            if "\n" in self.pending:
                line, self.pending = self.pending.split("\n", 1)
                return line + "\n"
            ended = self.process.poll() is not None
            text = self.out.text(self.read)
            self.pending += text
            self.read += len(text)
            if "\n" in self.pending:
                continue
            if ended or time.monotonic() >= deadline:
                return ""
            time.sleep(0.02)

    def output(self):
        return self.out.text()

    def kill(self):
        self.process.kill()

    def wait(self, timeout=None):
        return self.process.wait(timeout=timeout)


def probe_dialogs(seconds, run=None, close=False, until=0):
    """A probe of the dialogs of `run` (a WindowsRun; Probe.watch names it
    later when it starts after the probe)."""
    probe = Probe(seconds, close=close, until=until)
    if run is not None:
        probe.watch(run)
    return probe


EXTRACTING = 'control %d Static "Extracting the main application files..."' % control_ids.IDC_STATUS_TEXT


def wait_for_status_window(probe, title, seconds=60):
    """Reads a probe's reports until one shows the status window titled
    `title` and saying that it extracts; returns that report (None if none
    came) and all that was read. The probe reads a window's caption before
    its controls, so a report taken while the run retitles the window can
    show the old caption beside the new text: only a report that holds both
    counts."""
    seen = ""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        line = probe.readline(deadline - time.monotonic())
        if not line:
            break
        seen += line
        report = seen[seen.rfind("tick "):]
        if '"%s" at' % title in report and EXTRACTING in report:
            return report, seen
    return None, seen


def screenshot(name):
    """Saves the whole Xvfb screen under build/e2e; returns the path."""
    os.makedirs(ARTIFACTS, exist_ok=True)
    path = os.path.join(ARTIFACTS, name + ".png")
    subprocess.run(["import", "-window", "root", path], check=True, timeout=60)
    return path


# The servers a test has open, whose request logs its state includes.
open_servers = []


def leave_state(name, run=None, probe=None):
    """What a test that gave up on a wait leaves under build/e2e/NAME: the
    screen, the windows of the setup as its probe saw them, the processes
    of the Wine prefix, the setup's output and the requests of the test's
    servers. Returns that folder."""
    folder = os.path.join(ARTIFACTS, name)
    os.makedirs(folder, exist_ok=True)

    def write(file_name, text):
        with open(os.path.join(folder, file_name), "w") as out:
            out.write(text)
    if os.environ.get("DISPLAY"):
        try:
            subprocess.run(["import", "-window", "root", os.path.join(folder, "screen.png")], timeout=60)
        except subprocess.TimeoutExpired:
            write("screen.txt", "the screenshot did not end within 60 s\n")
    if probe is not None:
        write("windows.txt", probe.output())
    if run is not None:
        write("output.txt", "%s\nWindows process %s\n%s" % (run.command_line, run.windows_pid, run.output()))
    try:
        listing = wine_output(["winedbg", "--command", "info proc"])[1]
    except subprocess.TimeoutExpired:
        listing = "winedbg did not end within 60 s\n"
    unix = subprocess.run(["ps", "-eo", "pid,ppid,etime,stat,args"], stdout=subprocess.PIPE).stdout.decode("latin-1")
    write("processes.txt", "Windows processes of the prefix:\n%s\nUnix processes:\n%s" % (listing, unix))
    write("requests.txt", "".join("%r\n" % request for server in open_servers for request in server.requests()))
    return folder
