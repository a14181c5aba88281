"""What the end-to-end tests share: the built programs, Wine, payloads."""
import os
import re
import shutil
import subprocess
import tempfile
import unittest

SOURCE = os.environ.get("KORVELT_SOURCE", os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))))
BIN = os.environ.get("KORVELT_BIN", os.path.join(SOURCE, "build", "bin"))
WIN_BUILD = os.environ.get("KORVELT_WIN_BUILD", os.path.join(SOURCE, "build", "win32"))
STUB = os.path.join(BIN, "korvelt.exe")
PACK = os.path.join(BIN, "korvelt-pack")
EXIT_CODE = os.path.join(WIN_BUILD, "e2e-tools", "exit_code.exe")
ARTIFACTS = os.path.join(SOURCE, "build", "e2e")


def wine_env(extra=None):
    env = dict(os.environ)
    env.setdefault("WINEPREFIX", os.path.join(SOURCE, "build", "wine"))
    env.setdefault("WINEDEBUG", "-all")
    env.setdefault("WINEDLLOVERRIDES", "mscoree,mshtml=")
    env.setdefault("WINEARCH", "win32")
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
    result = subprocess.run(["wine", EXIT_CODE], cwd=cwd, env=environment,
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
