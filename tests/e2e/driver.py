"""Driving the bootstrapper's windows as a user would: a watcher that reads
every dialog of the setup through dialog_probe.exe (texts, enabled states,
list rows, progress positions, where each control lies), and clicks and
keys sent through the X server with xdotool."""
import os
import re
import subprocess
import threading
import time

import harness

DIALOG = re.compile(r'dialog (\S+) "(.*)" at (-?\d+),(-?\d+) size (\d+),(\d+)')
CONTROL = re.compile(r'  control (-?\d+) (\S+) "(.*)" (enabled|disabled)( hidden)? at (-?\d+),(-?\d+) size (\d+),(\d+)$')
ROW = re.compile(r'    row (.*)$')
POSITION = re.compile(r'    position (-?\d+) of (-?\d+)$')


class Control:
    def __init__(self, match):
        self.id = int(match.group(1))
        self.kind = match.group(2)
        self.text = match.group(3)
        self.enabled = match.group(4) == "enabled"
        self.visible = not match.group(5)
        self.x, self.y, self.width, self.height = (int(match.group(i)) for i in range(6, 10))
        self.rows = []
        self.position = None

    def centre(self):
        return self.x + self.width // 2, self.y + self.height // 2


class Dialog:
    def __init__(self, match):
        self.handle = match.group(1)
        self.caption = match.group(2)
        self.x, self.y, self.width, self.height = (int(match.group(i)) for i in range(3, 7))
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


class Watcher:
    """Keeps the latest report of every dialog the probe prints."""

    def __init__(self, seconds=300):
        self.process = harness.probe_dialogs(seconds)
        self.dialogs = {}
        self.history = []
        self.lock = threading.Lock()
        self.thread = threading.Thread(target=self._read, daemon=True)
        self.thread.start()
        time.sleep(1.5)  # the probe is watching before the setup starts

    def _read(self):
        current = None
        for raw in self.process.stdout:
            line = raw.decode("latin-1").rstrip("\r\n")
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
                current.controls.append(Control(match))
                continue
            match = ROW.match(line)
            if match and current.controls:
                current.controls[-1].rows.append([cell.strip() for cell in match.group(1).split(" | ")])
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
        raise AssertionError("waited %d s for %s; last seen: %s" % (
            timeout, what, [(d.caption, d.texts()) for d in list(self.dialogs.values())[-3:]]))

    def seen(self, test):
        with self.lock:
            return any(test(d) for d in self.history)

    def stop(self):
        self.process.kill()
        self.process.wait()


def click(control):
    click_at(*control.centre())


def click_at(x, y):
    subprocess.run(["xdotool", "mousemove", "--sync", str(x), str(y), "click", "1"], check=True, timeout=30)


def keys(*names):
    subprocess.run(["xdotool", "key", *names], check=True, timeout=30)


def type_text(text):
    subprocess.run(["xdotool", "type", "--delay", "20", text], check=True, timeout=60)


def browse_to(path):
    """Picks the folder `path` in the shell's Browse for Folder dialog, which
    has the keyboard: under Wine the tree's first item below the desktop is
    the Unix root "/". Each folder is opened (Right) and its child selected
    by typing its name, which the tree searches for from the selected item
    on; Return then takes the OK button."""
    keys("Down")
    for name in os.path.abspath(path).strip("/").split("/"):
        keys("Right")
        time.sleep(0.5)
        type_text(name)
        time.sleep(1.2)  # the tree ends a typed search after a second
    keys("Return")
