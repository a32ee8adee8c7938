"""The end-to-end harness: Windows programs on Wine's desktop in the suite's X display and prefix,
or on Windows' own, driven as a person drives them. Keys and clicks come as X events
(QELVARO_DRIVER=xtest, under Wine) or by SendInput (win32); e2e_driver.exe reads the screen."""
import atexit
import os
import re
import struct
import subprocess
import tempfile
import time

BIN = os.path.abspath(os.environ["QELVARO_BIN"])
WINE = os.name != "nt"
XTEST = os.environ.get("QELVARO_DRIVER", "xtest" if WINE else "win32") == "xtest"
SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
# Set-1 scan codes; 0xE0nn for the extended keys.
SHIFT, RIGHT_SHIFT, ALT, CTRL, CAPS_LOCK, ESCAPE, ENTER, BACKSPACE = 42, 54, 56, 29, 58, 1, 28, 14
RIGHT_ALT, KEYPAD_SLASH, LEFT_WINDOWS, RIGHT_WINDOWS = 0xE038, 0xE035, 0xE05B, 0xE05C
SETTINGS = r"HKCU\Software\Tarnwell\Qelvaro"
SWITCHES = ("State", "ViewKeyboard", "KeyboardAlwaysOnTop")
NOTICE = "Qelvaro - Notice"
WORK = (_work := tempfile.TemporaryDirectory(prefix="qelvaro-e2e-")).name  # gone at exit
_started = []
# What outlives a call ends with this process, so that nothing holds the suite's output open.
atexit.register(lambda: [process.kill() for process in _started if process.poll() is None])

if XTEST:
    from Xlib import X, display
    from Xlib.ext import xtest
    _display = display.Display()
    # X's keycodes: the scan code plus 8 in the main block, the extended keys apart.
    KEYCODES = {RIGHT_ALT: 108, KEYPAD_SLASH: 106, LEFT_WINDOWS: 133, RIGHT_WINDOWS: 134}


def windows(*command):
    """A Windows program's command line, run by Wine where this is not Windows."""
    return ["wine", *command] if WINE else list(command)


def start(command, environment=None, pipes=False):
    _started.append(subprocess.Popen(
        command, env=environment, cwd=WORK, text=True, stdin=subprocess.PIPE if pipes else
        subprocess.DEVNULL, stdout=subprocess.PIPE if pipes else subprocess.DEVNULL,
        stderr=subprocess.DEVNULL))
    return _started[-1]


def run(*command):
    result = subprocess.run(command, capture_output=True, text=True)
    return result.stdout.replace("\r", "") if result.returncode == 0 else None


def wine(*arguments):
    return run(*windows(*arguments))


def poke(*arguments):
    return wine(os.path.join(BIN, "poke.exe"), *arguments)


_driver = None


def ask(*words):
    """The suite's driver's answer to one command (e2e_driver.exe, started at the first)."""
    global _driver
    if _driver is None:
        _driver = start(windows(os.path.join(BIN, "e2e_driver.exe")), pipes=True)
    _driver.stdin.write(" ".join(map(str, words)) + "\n")
    _driver.stdin.flush()
    return _driver.stdout.readline().strip()


def key(scan, down, pause=0.002):
    """One key event by set-1 scan code, as a keyboard sends it."""
    if XTEST:
        xtest.fake_input(_display, X.KeyPress if down else X.KeyRelease,
                         KEYCODES.get(scan, scan + 8))
        _display.sync()
    else:
        ask("key", scan, int(down))
    time.sleep(pause)


def tap(scan, *held):
    for event in [(m, True) for m in held] + [(scan, True), (scan, False)] + \
                 [(m, False) for m in reversed(held)]:
        key(*event)


def set_caps_lock(on, taken=True):
    """Caps Lock turned on or off (X's under XTest), and then taken by Windows: Wine turns it back
    when a key comes through X before Windows has had Caps Lock."""
    if (bool(_display.screen().root.query_pointer().mask & X.LockMask) if XTEST else
            ask("caps") == "1") != on:
        tap(CAPS_LOCK)
    assert not taken or wait_for(lambda: (ask("caps") == "1") == on), "Caps Lock is not %s" % on


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


def place(title="Qelvaro"):
    """Where the window of that title is and its size, (x, y, width, height), while it is shown."""
    answer = ask("window", title).split()
    return answer[4:5] == ["1"] and tuple(map(int, answer[:4]))


def window(title="Qelvaro"):
    """The size the window of that title shows at on the screen; None while it shows none."""
    where = place(title)
    return where[2:] if where else None


def running():  # qelvaro has its window, shown or hidden, from its start-up to its end
    return ask("window", "Qelvaro") != "none"


def front(title):
    """The shown window of that title in front, clicked in its middle (on its title bar a click
    would start moving it); the class then in front."""
    if XTEST:  # X gives Wine keys only for a window of its own with the X focus
        run("xdotool", "search", "--onlyvisible", "--name", "^%s$" % title, "windowfocus")
    x, y, width, height = place(title)
    click(x + width // 2, y + height // 2)
    return ask("front")


def click(x, y, button="left"):
    if XTEST:
        run("xdotool", "mousemove", str(x), str(y), "click", "1" if button == "left" else "3")
    else:
        ask("click", x, y, button)


def shot(title):
    """The (red, green, blue) pixels of the shown window of that title, or of Qelvaro's tray icon
    ("tray"); [] while it is not on the screen."""
    if ask("shot", "shot.bmp", title) != "ok":
        return []
    data = open(os.path.join(WORK, "shot.bmp"), "rb").read()
    data = data[struct.unpack_from("<I", data, 10)[0]:]  # rows of blue, green, red and a spare
    return list(zip(data[2::4], data[1::4], data[::4]))


def painted():
    """Whether qelvaro's window comes to show a picture rather than a few flat colours."""
    return wait_for(lambda: len(set(shot("Qelvaro"))) > 200)


def tray_shows(picture):
    """Whether Qelvaro's tray icon comes to show that picture: "on" (the green tick), "typing" (the
    key lit amber: Caps Lock types syllabics) or "off" (neither)."""
    def shows():
        if WINE:  # Wine's tray is a window of its own, shown while it holds an icon
            ask("move", 1100, 960, 166, 45, "Wine System Tray")
        pixels = shot("tray")
        ticked = any(g > r + 64 for r, g, b in pixels)  # nothing else is green
        lit = any(r > 200 and 100 <= g <= 200 and b < 80 for r, g, b in pixels)
        return pixels and (ticked, lit) == {"on": (True, False), "typing": (False, True),
                                            "off": (False, False)}[picture]
    return wait_for(shows)


class Pad:
    """The application typed into, below where qelvaro's window stands: Notepad under XTest, else
    the driver's own."""

    def __init__(self):
        self.title = "Untitled - Notepad" if XTEST else "Qelvaro test pad"
        self.process = start(windows("notepad") if XTEST else
                             windows(os.path.join(BIN, "e2e_driver.exe"), "pad"))
        assert wait_for(lambda: place(self.title)), "no %s" % self.title
        ask("move", 200, 520, 600, 200, self.title)
        front(self.title)

    def typed(self, scan=None, *held):
        """The text typed since the last call, or by one key into the pad clicked first; cleared."""
        if scan:
            front(self.title)
            assert wait_for(lambda: ask("front") in ("Notepad", "QelvaroTestPad")), "not in front"
            tap(scan, *held)
        tap(ENTER)
        text = wait_for(lambda: (now := bytes.fromhex(ask("text", self.title)).decode(
            "utf-16-le")).endswith("\r\n") and now)
        tap(30, CTRL)
        tap(BACKSPACE)
        assert text and wait_for(lambda: ask("text", self.title) == ""), "typed: %r" % text
        return text[:-2]


class Program:
    """qelvaro.exe (or a command that starts it) waited for until its loop runs; its commands are
    posted, so callers wait for what one does."""

    def __init__(self, *command, environment=None, answers=()):
        self.process = start(list(command) or windows(os.path.join(BIN, "qelvaro.exe")),
                             environment)
        for scan in answers:  # for the boxes it shows before its loop runs, each gone after
            box = wait_for(lambda: window(NOTICE) and front(NOTICE) and ask("window", NOTICE))
            tap(scan)
            assert box and wait_for(lambda: ask("window", NOTICE) != box), "key %d: %s" % (scan, box)
        assert poke("sync") is not None, "qelvaro.exe did not reach its message loop"

    def command(self, identifier):
        poke("post", "0x111", str(identifier), "0")

    def exit(self):
        """Exit, as the menu chooses it (the icon leaves the tray); whether the program ended."""
        self.command(430)
        return wait_for(lambda: self.process.poll() is not None)
