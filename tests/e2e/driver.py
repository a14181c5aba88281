"""Driving the bootstrapper's windows as a user would: a watcher that reads
every dialog of the setup through dialog_probe.exe (texts, enabled states,
list rows, progress positions, where each control lies), and clicks and
keys sent through the X server with xdotool. Only the setup's own windows
are read, and a click or a key first raises the setup's window and gives
it the keyboard, so that no window of another program on the display (a
busy machine opens them at any time) takes what was meant for the setup."""
import os
import re
import subprocess
import threading
import time

import harness

DIALOG = re.compile(r'dialog (\S+) "(.*)" at (-?\d+),(-?\d+) size (\d+),(\d+)')
X_WINDOW = re.compile(r' xwindow (0x[0-9a-f]+)$')
DPI = re.compile(r' dpi (\d+) awareness (-?\d+) ')
CONTROL = re.compile(r'  control (-?\d+) (\S+) "(.*)" (enabled|disabled)( hidden)? at (-?\d+),(-?\d+) size (\d+),(\d+)'
                     r'( default)?( focus)?$')
ROW = re.compile(r'    row (.*)$')
NEEDS = re.compile(r'    needs((?: -?\d+)*)$')
COLUMNS = re.compile(r'    columns((?: -?\d+)*) client (-?\d+) scroll ([h-])([v-])$')
POSITION = re.compile(r'    position (-?\d+) of (-?\d+)$')


class Control:
    def __init__(self, match, dialog):
        self.dialog = dialog
        self.id = int(match.group(1))
        self.kind = match.group(2)
        self.text = match.group(3)
        self.enabled = match.group(4) == "enabled"
        self.visible = not match.group(5)
        self.x, self.y, self.width, self.height = (int(match.group(i)) for i in range(6, 10))
        self.default = bool(match.group(10))
        self.focused = bool(match.group(11))
        self.rows = []
        # A list view's: the width each cell's text needs, row by row; the
        # columns' widths, its client width and whether its horizontal and
        # vertical scroll bars show.
        self.needs = []
        self.columns = None
        self.client_width = None
        self.scroll_bars = None
        self.position = None

    def centre(self):
        return self.x + self.width // 2, self.y + self.height // 2


class Dialog:
    def __init__(self, match):
        self.handle = match.group(1)
        self.caption = match.group(2)
        self.x, self.y, self.width, self.height = (int(match.group(i)) for i in range(3, 7))
        x_window = X_WINDOW.search(match.string)
        self.x_window = x_window.group(1) if x_window else None
        dpi = DPI.search(match.string)
        # Its dots per inch and its DPI awareness (2: per monitor).
        self.dpi, self.awareness = (int(n) for n in dpi.groups()) if dpi else (None, None)
        self.controls = []

    def control(self, id=None, text=None, kind=None):
        """The first visible control with that id, text or kind, or None."""
        for control in self.controls:
            if not control.visible:
                continue
            if (id is None or control.id == id) and (text is None or control.text == text) and \
                    (kind is None or control.kind == kind):
                return control
        return None

    def texts(self):
        return [c.text for c in self.controls if c.visible and c.text]

    def focused(self):
        """The control with the keyboard focus, or None."""
        return next((c for c in self.controls if c.focused), None)


class Watcher:
    """Keeps the latest report of every dialog of the watched run."""

    def __init__(self, seconds=300):
        self.probe = harness.probe_dialogs(seconds)
        self.run = None
        self.dialogs = {}
        self.history = []
        self.lock = threading.Lock()
        self.thread = threading.Thread(target=self._read, daemon=True)
        self.thread.start()
        time.sleep(1.5)  # the probe is watching before the setup starts

    def watch(self, run):
        """Watches the windows of `run` (a harness.WindowsRun) and of the
        programs it starts; returns the run."""
        self.run = run
        self.probe.watch(run)
        return run

    def _read(self):
        current = None
        while True:
            line = self.probe.readline(3600)
            if not line:
                break
            line = line.rstrip("\r\n")
            match = DIALOG.match(line)
            if match:
                current = Dialog(match)
                with self.lock:
                    self.dialogs[current.handle] = current
                    self.history.append(current)
                continue
            if current is None:
                continue
            match = CONTROL.match(line)
            if match:
                current.controls.append(Control(match, current))
                continue
            match = ROW.match(line)
            if match and current.controls:
                current.controls[-1].rows.append([cell.strip() for cell in match.group(1).split(" | ")])
                continue
            match = NEEDS.match(line)
            if match and current.controls:
                current.controls[-1].needs.append([int(n) for n in match.group(1).split()])
                continue
            match = COLUMNS.match(line)
            if match and current.controls:
                listed = current.controls[-1]
                listed.columns = [int(n) for n in match.group(1).split()]
                listed.client_width = int(match.group(2))
                listed.scroll_bars = (match.group(3) == "h", match.group(4) == "v")
                continue
            match = POSITION.match(line)
            if match and current.controls:
                current.controls[-1].position = (int(match.group(1)), int(match.group(2)))

    def wait_for(self, test, timeout=60, what="a dialog"):
        """The newest dialog report for which `test` holds."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            time.sleep(0.1)  # a report is printed whole before it is read whole
            with self.lock:
                for dialog in reversed(self.history):
                    if self.dialogs.get(dialog.handle) is dialog and test(dialog):
                        return dialog
        where = harness.leave_state("wait-%d" % (self.run.pid if self.run else os.getpid()), run=self.run,
                                    probe=self.probe)
        raise AssertionError("waited %d s for %s; last seen: %s; the state is in %s" % (
            timeout, what, [(d.caption, d.texts()) for d in list(self.dialogs.values())[-3:]], where))

    def seen(self, test):
        """Whether any report so far, however old, passes `test`."""
        with self.lock:
            return any(test(d) for d in self.history)

    def holds(self, test):
        """Whether the newest report of some dialog passes `test`: what the
        screen shows now, not what it showed for a moment before."""
        with self.lock:
            return any(test(d) for d in self.dialogs.values())

    def stop(self):
        self.probe.kill()
        self.probe.wait()


def click(control):
    click_at(*control.centre(), over=control.dialog)


def to_front(dialog):
    """The xdotool commands that raise `dialog`'s window and give it the
    keyboard; none without a dialog."""
    if dialog is None or not dialog.x_window:
        return []
    return ["windowraise", dialog.x_window, "windowfocus", "--sync", dialog.x_window]


def click_at(x, y, over=None):
    """Clicks at a point of the screen, over the window of `over` (a Dialog)
    when it is given."""
    subprocess.run(["xdotool", *to_front(over), "mousemove", "--sync", str(x), str(y), "click", "1"], check=True,
                   timeout=30)


def keys(*names, into=None):
    """Presses keys, into the window of `into` (a Dialog) when it is given."""
    subprocess.run(["xdotool", *to_front(into), "key", *names], check=True, timeout=30)


def type_text(text, into=None):
    subprocess.run(["xdotool", *to_front(into), "type", "--delay", "20", text], check=True, timeout=60)


def browse_to(picker, path):
    """Picks the folder `path` in the shell's Browse for Folder dialog
    `picker`, given the keyboard: under Wine the tree's first item below the desktop is
    the Unix root "/". Each folder is opened (Right) and its child selected
    by typing its name, which the tree searches for from the selected item
    on; Return then takes the OK button."""
    keys("Down", into=picker)
    for name in os.path.abspath(path).strip("/").split("/"):
        keys("Right", into=picker)
        time.sleep(0.5)
        type_text(name, into=picker)
        time.sleep(1.2)  # the tree ends a typed search after a second
    keys("Return", into=picker)
