"""What the end-to-end tests share: the built programs, Wine, payloads."""
import os
import re
import shutil
import subprocess
import sys
import tempfile
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
    """Runs a Windows command line under Wine; returns (exit code, output)."""
    environment = wine_env(env)
    environment["KORVELT_COMMAND_LINE"] = command_line
    result = subprocess.run([*WINE, EXIT_CODE], cwd=cwd, env=environment,
                            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=timeout)
    output = result.stdout.decode("latin-1")
    match = re.search(r"exit code (-?\d+)", output)
    if not match:
        raise AssertionError("no exit code reported: " + output)
    return int(match.group(1)), output


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

    def tearDown(self):
        shutil.rmtree(self.folder, ignore_errors=True)

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
    result = subprocess.run([*WINE, "reg", "query", key, "/v", name], env=wine_env(), stdout=subprocess.PIPE,
                            stderr=subprocess.DEVNULL, timeout=60)
    if result.returncode != 0:
        return None
    for line in result.stdout.decode("latin-1").splitlines():
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


def start_windows(command_line, cwd=None, env=None):
    """Starts a Windows command line under Wine in the background."""
    environment = wine_env(env)
    environment["KORVELT_COMMAND_LINE"] = command_line
    return subprocess.Popen([*WINE, EXIT_CODE], cwd=cwd, env=environment, stdout=subprocess.PIPE,
                            stderr=subprocess.STDOUT)


def finish(process, timeout=120):
    try:
        output = process.communicate(timeout=timeout)[0].decode("latin-1")
    except subprocess.TimeoutExpired:
        # What the screen showed when the setup did not end tells why.
        shot = screenshot("timeout-%d" % process.pid) if os.environ.get("DISPLAY") else "no display"
        raise AssertionError("the setup did not end within %d s; the screen then: %s" % (timeout, shot))
    match = re.search(r"exit code (-?\d+)", output)
    if not match:
        raise AssertionError("no exit code reported: " + output)
    return int(match.group(1))


def probe_dialogs(seconds, close=False, until=0):
    """Watches for dialogs of other processes; returns what it printed."""
    arguments = [*WINE, os.path.join(TOOLS, "dialog_probe.exe"), str(seconds)]
    if close:
        arguments += ["close", "until-closed", str(until)]
    return subprocess.Popen(arguments, env=wine_env(), stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)


EXTRACTING = 'control %d Static "Extracting the main application files..."' % control_ids.IDC_STATUS_TEXT


def wait_for_status_window(probe, title, seconds=60):
    """Reads a probe's reports until one shows the status window titled
    `title` and saying that it extracts; returns that report (None if none
    came) and all that was read. The probe reads a window's caption before
    its controls, so a report taken while the run retitles the window can
    show the old caption beside the new text: only a report that holds both
    counts."""
    seen = ""
    deadline = time.time() + seconds
    while time.time() < deadline:
        line = probe.stdout.readline().decode("latin-1")
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
