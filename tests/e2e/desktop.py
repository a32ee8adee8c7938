"""The end-to-end harness: Windows programs under Wine in the suite's X display and Wine prefix,
keys typed on that display with XTest as a person types, and what the screen and Notepad show."""
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
SHIFT, RIGHT_SHIFT, ALT, CTRL, CAPS_LOCK, ESCAPE, ENTER, BACKSPACE = 42, 54, 56, 29, 58, 1, 28, 14
# X's keycodes for Alt_R, the keypad's "/", Super_L and Super_R, extended keys off the scan code
# plus 8 rule.
RIGHT_ALT, KEYPAD_SLASH, SUPER_L, SUPER_R = 108 - 8, 106 - 8, 133 - 8, 134 - 8
SETTINGS = r"HKCU\Software\Tarnwell\Qelvaro"
SWITCHES = ("State", "ViewKeyboard", "KeyboardAlwaysOnTop")
NOTICE = "Qelvaro - Notice"
WORK = (_work := tempfile.TemporaryDirectory(prefix="qelvaro-e2e-")).name  # gone at exit
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


def xdotool(*arguments):
    return run("xdotool", *arguments)


def shown(name, *then):
    """The shown windows of that name (then told to do something), or None while there is none."""
    return xdotool("search", "--onlyvisible", "--name", "^%s$" % name, *then)


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


def wait_for(done, seconds=60):
    """done()'s first true answer; its last after the deadline, which only a fault reaches."""
    deadline = time.time() + seconds
    while not (result := done()) and time.time() < deadline:
        time.sleep(0.05)
    return result


def store(name, kind, data, key_path=SETTINGS):
    wine("reg", "add", key_path, "/v", name, "/t", kind, "/d", data, "/f")


def stored(key_path=SETTINGS):
    """A registry key's values: name to type and data as reg.exe prints them."""
    lines = [line.split() for line in (wine("reg", "query", key_path) or "").splitlines()]
    return {fields[0]: tuple(fields[1:3]) for fields in lines if len(fields) >= 3}


def saved(*values):
    return {name: ("REG_DWORD", "0x%x" % value) for name, value in zip(SWITCHES, values)}


def layout():
    """Scan code to what it types plain, with Shift, Alt and Shift+Alt, read from the source."""
    rows = re.findall(r"SetLayoutEntry\(table, (\w+), (\w+), (\w+), (\w+), (\w+)\)",
                      open(os.path.join(SOURCE, "src/translation/layout.cpp")).read())
    return {int(row[0], 16): [int(unit, 16) for unit in row[1:]] for row in rows}


def window():
    """The size qelvaro's window shows at on the screen; None while it shows none."""
    size = re.search(r"Geometry: (\d+)x(\d+)", shown("Qelvaro", "getwindowgeometry") or "")
    return size and (int(size[1]), int(size[2]))


def running():  # qelvaro has its window, shown or hidden, from its start-up to its end
    return xdotool("search", "--name", "^Qelvaro$") is not None


def shot(name, *output):
    """ImageMagick's screen shot of the shown window of that name, as output; b"" while none."""
    found = shown(name)
    return found and subprocess.run(["import", "-window", found.split()[0], *output],
                                    capture_output=True).stdout or b""


def painted():
    """Whether qelvaro's window comes to show a picture rather than a few flat colours."""
    return wait_for(lambda: int(shot("Qelvaro", "-format", "%k", "info:-") or 0) > 200)


def tray_shows(picture):
    """Whether the tray, moved where no window covers it, comes to show that picture: "on" (the
    green tick), "typing" (the key lit amber: Caps Lock types syllabics) or "off" (neither)."""
    def shows():
        shown("Wine System Tray", "windowmove", "1100", "960")  # shown while it holds an icon
        rgb = shot("Wine System Tray", "-depth", "8", "rgb:-")
        pixels = list(zip(rgb[::3], rgb[1::3], rgb[2::3]))
        ticked = any(g > r + 64 for r, g, b in pixels)  # nothing else is green
        lit = any(r > 200 and 100 <= g <= 200 and b < 80 for r, g, b in pixels)
        return rgb and (ticked, lit) == {"on": (True, False), "typing": (False, True),
                                         "off": (False, False)}[picture]
    return wait_for(shows)


class Notepad:  # the application typed into, below where qelvaro's window stands

    def __init__(self):
        self.process = start(["wine", "notepad"])
        found = xdotool("search", "--sync", "--onlyvisible", "--classname", r"^notepad\.exe$")
        xdotool("windowmove", found.split()[0], "200", "560", "windowsize", "%1", "700", "300")

    def typed(self, scan=None, *held):
        """The text typed since the last call, or by one key into Notepad clicked first; cleared."""
        if scan:
            xdotool("mousemove", "550", "710", "click", "1")
            assert wait_for(lambda: poke("foreground") == "Notepad\n"), "Notepad is not in front"
            tap(scan, *held)
        tap(ENTER)
        text = wait_for(lambda: (now := poke("notepad-text")) and now.endswith("\n") and now)
        tap(30, CTRL)
        tap(BACKSPACE)
        assert text and wait_for(lambda: poke("notepad-text") == ""), "Notepad: %r" % text
        return text.rstrip("\n")  # poke's text-mode output makes the line's CR LF two newlines


class Program:
    """qelvaro.exe (or a command that starts it) waited for until its loop runs; its commands are
    posted, so callers wait for what one does."""

    def __init__(self, *command, environment=None, answers=()):
        self.process = start(list(command or ["wine", os.path.join(BIN, "qelvaro.exe")]),
                             environment)
        for scan in answers:  # for the boxes it shows before its loop runs, each gone after
            box = wait_for(lambda: shown(NOTICE, "windowfocus") is not None and shown(NOTICE))
            tap(scan)
            assert box and wait_for(lambda: shown(NOTICE) != box), "key %d: box %s" % (scan, box)
        assert poke("sync") is not None, "qelvaro.exe did not reach its message loop"

    def command(self, identifier):
        poke("post", "0x111", str(identifier), "0")

    def exit(self):
        """Exit, as the menu chooses it (the icon leaves the tray); whether the program ended."""
        self.command(430)
        return wait_for(lambda: self.process.poll() is not None)
