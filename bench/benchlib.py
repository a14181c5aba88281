"""What the benchmarks share: where the architecture's programs and Wine
prefix are, Wine held warm while they time, Windows programs timed without
reading their output through a pipe, and the baselines' helpers.

A module: run as a script (as `./build.sh bench` does with every bench/*.py),
it does nothing.
"""
import collections
import ctypes
import os
import select
import shutil
import struct
import subprocess
import sys
import tempfile
import threading
import time

SOURCE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(SOURCE, "testing"))
import wine_settings  # noqa: E402

Architecture = collections.namedtuple("Architecture", "name stub win_build prefix loader settings")
Result = collections.namedtuple("Result", "code seconds output cpu")


def architecture(build):
    """The bootstrapper, Win32 build, Wine prefix and loader of the
    architecture KORVELT_ARCH names: "x86" (the default) or "x64".
    WINEPREFIX and KORVELT_WIN_BUILD, when set, take precedence; the
    settings are testing/wine-ARCH.env's."""
    settings = wine_settings.settings(os.environ.get("KORVELT_ARCH", "x86"))
    return Architecture(settings.arch, os.path.join(build, "bin", settings.stub),
                        os.environ.get("KORVELT_WIN_BUILD") or os.path.join(build, settings.win_build),
                        os.environ.get("WINEPREFIX") or os.path.join(build, settings.prefix), settings.loader, settings)


# Both bootstrappers and the size they aim at, whichever architecture runs.
STUBS = (("korvelt.exe", "i686"), ("korvelt-x64.exe", "x86_64"))
STUB_GOAL = 77824


def build_folder():
    """The build folder the benchmark was given, or the source's build/."""
    return os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(SOURCE, "build"))


def windows_path(path):
    """The path as a Windows program under Wine sees it (drive Z: is /)."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def pack(build, stub, setup, *arguments):
    """Builds `setup` from `stub` and the packer's file arguments."""
    subprocess.run([os.path.join(build, "bin", "korvelt-pack"), "create", "--stub", stub, "--out", setup, *arguments],
                   check=True, stdout=subprocess.DEVNULL)
    return setup


def payload_entries(setup):
    """The entries of a setup as written by the packer (nothing appended):
    a list of (name, offset, size) in table order."""
    with open(setup, "rb") as source:
        source.seek(-36, os.SEEK_END)
        count, _, _, table_offset, _, _ = struct.unpack("<6I", source.read(24))
        source.seek(table_offset)
        entries = []
        for _ in range(count):
            _, size, offset, name_length = struct.unpack("<4I", source.read(16))
            entries.append((source.read(name_length).decode("latin-1"), offset, size))
    return entries


def copy_ranges_arguments(setup, folder):
    """The arguments that make copy_ranges.exe write what extracting the
    setup into `folder` writes."""
    arguments = [windows_path(setup)]
    for name, offset, size in payload_entries(setup):
        arguments += [str(offset), str(size), windows_path(os.path.join(folder, name))]
    return arguments


def fresh_folder(path):
    """An empty folder at `path`, with every earlier write on disk, so that
    no run pays for the one before."""
    shutil.rmtree(path, ignore_errors=True)
    os.mkdir(path)
    subprocess.run(["sync"], check=True)


def cp_sync(sources, folder):
    """Seconds that `cp` of the sources into `folder` and `sync` take."""
    fresh_folder(folder)
    started = time.perf_counter()
    subprocess.run(["cp", *sources, folder], check=True)
    subprocess.run(["sync"], check=True)
    return time.perf_counter() - started


def best_of(rounds, **actions):
    """Runs each action once per round, in turn, so that a slow spell of the
    shared machine falls on all of them; returns each action's least result.
    An action returns a number, or a tuple of numbers, each of which is
    taken at its least."""
    results = {name: [] for name in actions}
    for _ in range(rounds):
        for name, action in actions.items():
            results[name].append(action())
    return {name: tuple(map(min, zip(*values))) if isinstance(values[0], tuple) else min(values)
            for name, values in results.items()}


def cpu_seconds(pid):
    """The processor seconds a running process has spent, user and system;
    0 once it is gone."""
    try:
        with open("/proc/%d/stat" % pid) as stat:
            fields = stat.read().rsplit(")", 1)[1].split()
    except OSError:
        return 0.0
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def ratio(value, baseline):
    return "%.2f" % (value / baseline) if baseline else "n/a"


class FolderWatch:
    """Notes when files in a folder (or only the file `name` in it) are
    created and closed after writing, as the kernel reports it, for any
    program that writes them."""

    IN_CLOSE_WRITE = 0x008
    IN_CREATE = 0x100

    def __init__(self, folder, name=None):
        self._name = name.encode() if name else None
        self._libc = ctypes.CDLL(None, use_errno=True)
        self._fd = self._libc.inotify_init1(os.O_NONBLOCK | os.O_CLOEXEC)
        if self._fd < 0 or self._libc.inotify_add_watch(self._fd, folder.encode(),
                                                         self.IN_CREATE | self.IN_CLOSE_WRITE) < 0:
            raise OSError(ctypes.get_errno(), "cannot watch " + folder)
        self.created = []
        self.closed = []
        self._stop = False
        # A daemon, so that a watch nobody ends cannot keep the process alive.
        self._thread = threading.Thread(target=self._read, daemon=True)
        self._thread.start()

    def _read(self):
        while not self._stop:
            if select.select([self._fd], [], [], 0.05)[0]:
                self._take(time.perf_counter())

    def _take(self, now):
        """Notes every event waiting to be read; False when none was."""
        try:
            data = os.read(self._fd, 65536)
        except BlockingIOError:
            return False
        at = 0
        while at < len(data):
            _, mask, _, length = struct.unpack_from("iIII", data, at)
            name = data[at + 16:at + 16 + length].rstrip(b"\0")
            at += 16 + length
            if self._name and name != self._name:
                continue
            if mask & self.IN_CREATE:
                self.created.append(now)
            if mask & self.IN_CLOSE_WRITE:
                self.closed.append(now)
        return True

    def span(self):
        """Stops watching; seconds from the first file's creation to the last
        close of a written file."""
        self._stop = True
        self._thread.join()
        # Events the kernel queued after the thread last looked are still
        # the watched program's; they are noted as of now.
        while self._take(time.perf_counter()):
            pass
        os.close(self._fd)
        if not self.created or not self.closed:
            return None
        return max(self.closed) - min(self.created)


class WarmWine:
    """Wine held warm: a running server and desktop process, started before
    anything is timed and stopped at the end, as far as it was started here.

    Windows programs run with their output sent to a log file and are waited
    for as processes: Wine's own processes (the desktop, services) inherit
    whatever the program had, so a pipe would stay open long after it ended.
    """

    def __init__(self, build, work):
        self.arch = architecture(build)
        self.work = work
        self.env = wine_settings.environment(self.arch.settings, build)
        self._started_server = False
        self._keeper = None
        self._marker = os.path.join(work, "wine-is-warm")
        self._logs = 0

    def program(self, name):
        """A program of the Win32 build; ends the benchmark when it is missing."""
        path = os.path.join(self.arch.win_build, name)
        if not os.path.exists(path):
            sys.exit("no %s; build the Win32 targets first (./build.sh build)" % path)
        return path

    def __enter__(self):
        if not os.path.isfile(os.path.join(self.arch.prefix, "system.reg")):
            sys.exit("no Wine prefix at %s; ./build.sh bench makes it" % self.arch.prefix)
        keep_warm = self.program("keep_warm.exe")
        # Exits with 0 having started a server, with 2 when one was running.
        self._started_server = subprocess.run(["wineserver", "-p"], env=self.env, stdin=subprocess.DEVNULL,
                                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode == 0
        self._keeper = self.start([keep_warm, windows_path(self._marker)], "keep_warm")
        deadline = time.monotonic() + 120
        while not os.path.exists(self._marker):
            if self._keeper.poll() is not None or time.monotonic() > deadline:
                self.__exit__(None, None, None)
                sys.exit("Wine could not be started and held warm")
            time.sleep(0.05)
        return self

    def __exit__(self, *_):
        if self._keeper:
            if os.path.exists(self._marker):
                os.remove(self._marker)
            try:
                self._keeper.wait(timeout=30)
            except subprocess.TimeoutExpired:
                self._keeper.kill()
                self._keeper.wait()
            self._keeper = None
        if self._started_server:
            subprocess.run(["wineserver", "-k"], env=self.env, stdin=subprocess.DEVNULL,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            self._started_server = False

    def start(self, arguments, name, env=None):
        """Starts a Windows program whose output goes to a log file of its
        own; the process has its path in `log`."""
        self._logs += 1
        log = os.path.join(self.work, "%02d-%s.log" % (self._logs, name))
        environment = dict(self.env)
        if env:
            environment.update(env)
        with open(log, "wb") as output:
            process = subprocess.Popen([self.arch.loader, *arguments], env=environment, stdin=subprocess.DEVNULL,
                                       stdout=output, stderr=subprocess.STDOUT)
        process.log = log
        return process

    def run(self, arguments, name, env=None, timeout=600):
        """Runs a Windows program to its end; returns its exit code, its
        wall-clock seconds, its output and the processor seconds that it
        and the server spent."""
        server = self.server_pid()
        server_before = cpu_seconds(server) if server else 0.0
        started = time.perf_counter()
        process = self.start(arguments, name, env)
        watchdog = threading.Timer(timeout, process.kill)
        watchdog.start()
        _, status, usage = os.wait4(process.pid, 0)
        seconds = time.perf_counter() - started
        watchdog.cancel()
        process.returncode = os.waitstatus_to_exitcode(status)
        cpu = usage.ru_utime + usage.ru_stime + (cpu_seconds(server) - server_before if server else 0.0)
        with open(process.log, "rb") as log:
            return Result(process.returncode, seconds, log.read().decode("latin-1"), cpu)

    def server_pid(self):
        """The process id of the prefix's wineserver, which works in a folder
        named for the prefix's device and inode; None when none runs."""
        prefix = os.stat(self.arch.prefix)
        suffix = "/server-%x-%x" % (prefix.st_dev, prefix.st_ino)
        for entry in os.listdir("/proc"):
            if not entry.isdigit():
                continue
            try:
                if (os.readlink("/proc/%s/cwd" % entry).endswith(suffix)
                        and "wineserver" in os.readlink("/proc/%s/exe" % entry)):
                    return int(entry)
            except OSError:
                continue
        return None

    def run_command_line(self, command_line, name, env=None, timeout=600):
        """Runs a Windows command line exactly as written, through the
        end-to-end tests' exit_code.exe; returns its output, which tells the
        tick the program started at and its full exit code."""
        environment = {"KORVELT_COMMAND_LINE": command_line}
        environment.update(env or {})
        exit_code = os.path.join(self.arch.win_build, "e2e-tools", "exit_code.exe")
        return self.run([exit_code], name, environment, timeout).output


def stub_sizes(build):
    """Lines telling each bootstrapper's size against the goal."""
    lines = []
    for name, machine in STUBS:
        path = os.path.join(build, "bin", name)
        if os.path.exists(path):
            size = os.path.getsize(path)
            lines.append("%s (%s): %d bytes, %.2f of the %d-byte goal" % (name, machine, size, size / STUB_GOAL,
                                                                          STUB_GOAL))
        else:
            lines.append("%s (%s): not built" % (name, machine))
    return lines


def work_folder(build):
    return tempfile.mkdtemp(prefix="korvelt-bench-", dir=build)


def measure_under_warm_wine(measure):
    """Calls measure(build, work, wine) with a work folder of its own, removed
    afterwards, and Wine held warm for the whole of it."""
    build = build_folder()
    work = work_folder(build)
    try:
        with WarmWine(build, work) as wine:
            measure(build, work, wine)
    finally:
        shutil.rmtree(work, ignore_errors=True)
