"""The end-to-end harness: Windows programs under Wine in the suite's X display and Wine prefix,
keys typed on that display with XTest as a person types, and what the probe application saw."""
import atexit
import os
import re
import subprocess
import tempfile
import time

from Xlib import X, display
from Xlib.ext import xtest

BIN = os.environ["QELVARO_BIN"]
SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
SHIFT, RIGHT_SHIFT, ALT, CTRL, CAPS_LOCK, ESCAPE, ENTER, F12 = 42, 54, 56, 29, 58, 1, 28, 88
RIGHT_ALT = 108 - 8  # X's keycode for Alt_R: an extended key, off the scan code plus 8 rule
SETTINGS = r"HKCU\Software\Tarnwell\Qelvaro"
_display = display.Display()
_started = []
# What outlives a call ends with the driver, so that nothing holds the suite's output open.
atexit.register(lambda: [process.kill() for process in _started if process.poll() is None])


def start(command, environment=None):
    _started.append(subprocess.Popen(command, env=environment, stdin=subprocess.DEVNULL,
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
    return _started[-1]


def run(*command):
    result = subprocess.run(command, capture_output=True, text=True)
    return result.stdout.replace("\r", "") if result.returncode == 0 else None


def wine(*arguments):
    return run("wine", *arguments)


def poke(*arguments):
    return wine(os.path.join(BIN, "poke.exe"), *arguments)


def probe(*arguments):
    return wine(os.path.join(BIN, "probe.exe"), *arguments)


def key(scan, down, pause=0.002):
    """One key event by set-1 scan code: X keycodes of the main block are the scan code plus 8."""
    xtest.fake_input(_display, X.KeyPress if down else X.KeyRelease, scan + 8)
    _display.sync()
    time.sleep(pause)


def tap(scan, *held):
    for event in [(m, True) for m in held] + [(scan, True), (scan, False)] + \
                 [(m, False) for m in reversed(held)]:
        key(*event)


def set_caps_lock(on):
    if bool(_display.screen().root.query_pointer().mask & X.LockMask) != on:
        tap(CAPS_LOCK)


def wait_for(done, seconds=10):
    deadline = time.time() + seconds
    while not (result := done()) and time.time() < deadline:
        time.sleep(0.05)
    return result


def store(name, kind, data):
    wine("reg", "add", SETTINGS, "/v", name, "/t", kind, "/d", data, "/f")


def stored(key_path=SETTINGS):
    """A registry key's values: name to type and data as reg.exe prints them."""
    lines = [line.split() for line in (wine("reg", "query", key_path) or "").splitlines()]
    return {fields[0]: tuple(fields[1:3]) for fields in lines if len(fields) >= 3}


def layout():
    """Scan code to what it types plain, with Shift, Alt and Shift+Alt, read from the rows of the
    layout's source rather than through the code that picks a plane."""
    rows = re.findall(r"SetLayoutEntry\(table, (\w+), (\w+), (\w+), (\w+), (\w+)\)",
                      open(os.path.join(SOURCE, "src/translation/layout.cpp")).read())
    return {int(row[0], 16): [int(unit, 16) for unit in row[1:]] for row in rows}


def window():
    """qelvaro's window: visible, topmost, iconic, zoomed, then its client area on the screen;
    all -1 while there is none."""
    return [int(field) for field in (probe("window") or "-1 " * 8).split()]


def painted():
    """Whether qelvaro's client area comes to show a picture rather than one flat colour: the
    first paint can follow the window's showing by a moment."""
    def colours(left, top, right, bottom):
        crop = "%dx%d+%d+%d" % (right - left, bottom - top, left, top)
        return int(run("import", "-window", "root", "-crop", crop, "+repage", "-format", "%k",
                       "info:-") or 0)
    return wait_for(lambda: colours(*window()[4:]) > 200)


class Started:
    def close(self):
        self.process.kill()
        self.process.wait()


class Probe(Started):
    """The application a person types into, with what got past qelvaro's hook."""

    def __init__(self):
        self.folder = tempfile.TemporaryDirectory(prefix="qelvaro-probe-")
        self.log = os.path.join(self.folder.name, "log")
        self.process = start(["wine", os.path.join(BIN, "probe.exe"), "run", "Z:" + self.log])
        self.seen = 1  # past "ready"
        assert wait_for(lambda: os.path.exists(self.log) and "ready" in open(self.log).read())
        self.focus()

    def focus(self):
        run("xdotool", "search", "--sync", "--name", "^Qelvaro probe$", "windowfocus")
        run("xdotool", "mousemove", "500", "700", "click", "1")

    def settle(self):
        """The key events since the last call, once the probe has seen F12 come up after them."""
        tap(F12)
        lines = lambda: open(self.log).read().splitlines()[self.seen:]
        assert wait_for(lambda: any(line.startswith("K u 7b ") for line in lines())), "no F12"
        events = [line.split() for line in lines()]
        self.seen += len(events)
        return [event for event in events if event[0] == "K" and event[2] != "7b"]

    def typed(self):
        """What the program injected: each character with whether Left-Ctrl was down around it,
        or ("vk", key, wrapped) for another key; then the physical presses that passed."""
        wrapped, injected, passed = False, [], []
        for event in self.settle():
            down, vk, scan, flags = event[1] == "d", *(int(field, 16) for field in event[2:])
            if not flags & 0x10:
                passed += [scan] if down else []
            elif vk == 0xA2:
                wrapped = down
            elif down:
                injected.append((scan, wrapped) if vk == 0xE7 else ("vk", vk, wrapped))
        return injected, passed

    def typed_for(self, scan, *held):
        """What one key typed, with the probe's window in front."""
        self.focus()
        self.settle()
        tap(scan, *held)
        return self.typed()


class Program(Started):
    """qelvaro.exe (or a copy of it elsewhere), started and waited for until its loop runs. Its
    commands arrive as posted messages, which it may handle after a sync's sent one: callers wait
    for what a command does."""

    def __init__(self, exe=os.path.join(BIN, "qelvaro.exe"), environment=None):
        self.process = start(["wine", exe], environment)
        assert poke("sync") is not None, "qelvaro.exe did not reach its message loop"

    def command(self, identifier):
        poke("post", "0x111", str(identifier), "0")

    def choose(self, mnemonic):
        """Opens the tray menu as a click on the icon does and presses an item's letter."""
        assert probe("menu", "%x" % ord(mnemonic.lower()), "1") is not None, "menu " + mnemonic

    def ended(self):
        return wait_for(lambda: self.process.poll() is not None)


def translating(probe_window):
    """Caps Lock on and waited for until a paced Q comes out translated: right after Caps Lock
    changes, Wine can hand on the next keys before the hook sees the new state."""
    set_caps_lock(True)
    return wait_for(lambda: probe_window.typed_for(16)[0])
