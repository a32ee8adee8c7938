"""qelvaro.exe under load, as figures: the first key after pauses, a storm of keys typed with
another program typing beside it, alone and beside busy threads, then a thousand rounds each of
the tray menu, the picture window and translation. Prints rows "figure|value|baseline|ratio" for
./bench, in the X display and Wine prefix it was given (or on Windows, QELVARO_DRIVER=win32), with
QELVARO_BIN naming the bench-windows build's bin folder. QELVARO_STORM_ONLY=1: the storm alone."""
import difflib
import os
import random
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
import desktop
from desktop import (ALT, BIN, RIGHT_SHIFT, SHIFT, XTEST, Program, click, front, key, run, start,
                     tap, wait_for)

PRESSES = 5000
ROUNDS = 1000
# The other program's pace: it types for about as long as the storm lasts.
BESIDE_CHARACTERS, BESIDE_PAUSE_MS = 1500, 20
LAYOUT = desktop.layout()
MODIFIER_KEYS = {0x10, 0x11, 0x12, 0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5}
F12 = 88


class KeyLog:
    """The application typed into (key_log.exe), with the key events that got past qelvaro."""

    def __init__(self):
        self.folder = tempfile.TemporaryDirectory(prefix="qelvaro-key-log-")
        self.log = os.path.join(self.folder.name, "log")
        self.process = start(desktop.windows(os.path.join(BIN, "key_log.exe"),
                                             ("Z:" if desktop.WINE else "") + self.log))
        self.seen = 1  # past "ready"
        assert wait_for(lambda: os.path.exists(self.log) and "ready" in open(self.log).read())
        self.focus()

    def focus(self):
        """The log's window clicked into, as a person clicks into the application to type in."""
        assert wait_for(lambda: desktop.window("Qelvaro key log")), "no key log window"
        front("Qelvaro key log")
        click(500, 700)

    def settle(self):
        """The key events since the last call, once the log has F12 come up after them."""
        tap(F12)
        lines = lambda: open(self.log).read().splitlines()[self.seen:]
        assert wait_for(lambda: any(line.startswith("K u 7b ") for line in lines())), "no F12"
        events = [line.split() for line in lines()]
        self.seen += len(events)
        return [event for event in events if event[0] == "K" and event[2] != "7b"]

    def characters_for(self, scan, pause=0):
        """How many characters qelvaro injected for one key: typed into the log's window clicked
        into, or after a pause, with nothing before it."""
        if pause:
            time.sleep(pause)
        else:
            self.focus()
            self.settle()
        tap(scan)
        return sum(event[1] == "d" and event[2] == "e7" for event in self.settle())


def row(figure, value, baseline="-"):
    ratio = "%.2fx" % (value / baseline) if baseline not in ("-", 0) else "-"
    print("%s|%s|%s|%s" % (figure, value, baseline, ratio), flush=True)


def storm(presses):
    """Bursts of runs of mapped keys, each run under one plane's modifiers (either Shift key);
    with the characters each burst should type and whether Alt is down around them."""
    dice = random.Random(20240611)
    mapped = [[scan for scan, units in sorted(LAYOUT.items()) if units[plane]]
              for plane in range(4)]
    bursts, typed = [], 0
    while typed < presses:
        events, expected = [], []
        for _ in range(dice.randint(2, 5)):
            plane = dice.randrange(4)  # plain, Shift, Alt, Shift+Alt
            held = [dice.choice((SHIFT, RIGHT_SHIFT))] if plane % 2 else []
            held += [ALT] if plane >= 2 else []
            events += [(modifier, True) for modifier in held]
            for _ in range(dice.randint(3, 10)):
                scan = dice.choice(mapped[plane])
                events += [(scan, True), (scan, False)]
                expected.append((LAYOUT[scan][plane], plane >= 2))
            events += [(modifier, False) for modifier in reversed(held)]
        bursts.append((events, expected))
        typed += len(expected)
    return bursts


def split(events):
    """qelvaro's characters with whether its Left-Ctrl was down around each, the other program's
    keys (told apart by what it types: characters qelvaro never types, and spaces), how often
    those came between two of qelvaro's characters and inside its Left-Ctrl wrap, the keys that
    got past qelvaro as they were (a late hook's: Windows handed them on), and the modifiers the
    log last saw down."""
    characters, beside, interleavings, inside_wrap, passed = [], [], 0, 0, 0
    ctrl, beside_last, down = False, False, {}
    for event in events:
        pressed, vk, scan, flags = event[1] == "d", *(int(field, 16) for field in event[2:5])
        injected = flags & 0x10
        down[vk] = pressed
        if pressed and vk not in MODIFIER_KEYS | {0xE7, 0x20}:
            passed += 1
        if injected and vk == 0xA2:
            ctrl = pressed
        elif not (injected and pressed):
            continue
        elif vk == 0xE7 and (scan < 0x20 or scan >= 0x4E00) or vk == 0x20:
            beside.append("%s %x" % ("p" if vk == 0xE7 else "s", scan))
            beside_last = True
            inside_wrap += ctrl
        elif vk == 0xE7:
            characters.append((scan, ctrl))
            interleavings += beside_last
            beside_last = False
    modifiers = sum(down[vk] for vk in MODIFIER_KEYS & down.keys())
    return characters, beside, interleavings, inside_wrap, passed, modifiers


def in_order(received, expected):
    """How many of the expected items arrived, unchanged and in their order."""
    matcher = difflib.SequenceMatcher(None, expected, received, autojunk=False)
    return sum(block.size for block in matcher.get_matching_blocks())


def storm_rows(key_log, beside_what=""):
    bursts = storm(PRESSES)
    expected = [item for _, burst in bursts for item in burst]
    beside = subprocess.Popen(desktop.windows(os.path.join(BIN, "beside.exe"), "inject",
                                              str(BESIDE_CHARACTERS), str(BESIDE_PAUSE_MS)),
                              stdout=subprocess.PIPE, text=True)
    # Wine gives each hook call 2 s from the moment its event is queued: a burst at a time, each
    # after the log has taken in the last.
    events = []
    for burst, _ in bursts:
        for scan, down in burst:
            key(scan, down, 0)
        events += key_log.settle()
    sent = beside.communicate()[0].replace("\r", "").split("\n")[:-1]
    events += key_log.settle()
    characters, arrived, interleavings, inside_wrap, passed, modifiers = split(events)
    wraps = sum(wrapped for _, wrapped in expected)
    storm_name = "Storm" + beside_what
    row("%s: characters qelvaro typed for the presses typed (%d bursts, no delay inside a burst, "
        "four planes, both Shift keys)" % (storm_name, len(bursts)), len(characters), len(expected))
    row("%s: characters in order and correct, Left-Ctrl wrap included" % storm_name,
        in_order(characters, expected), len(expected))
    row("%s: keys that got past as they were, the Latin letter beside or instead of its syllabic "
        "(should be 0)" % storm_name, passed)
    row("%s: characters wrapped in Left-Ctrl (typed under Alt)" % storm_name,
        sum(wrapped for _, wrapped in characters), wraps)
    row("%s: modifiers left down afterwards, as the application sees them (should be 0)"
        % storm_name, modifiers)
    if beside_what:
        return
    row("Beside the storm: another program's Unicode packets and scan-coded spaces, arrived "
        "unchanged and in order vs sent", in_order(arrived, sent), len(sent))
    row("Beside the storm: times the other program's keys came between two of qelvaro's characters",
        interleavings)
    row("Beside the storm: the other program's keys that arrived between one of qelvaro's Left-Ctrl "
        "presses and its release (should be 0)", inside_wrap)


def busy_threads():
    """Two busy processes per processor this process may run on, at normal priority."""
    cores = len(os.sched_getaffinity(0)) if hasattr(os, "sched_getaffinity") else os.cpu_count()
    return [subprocess.Popen([sys.executable, "-c", "while True: pass"]) for _ in range(2 * cores)]


def anonymous_kb(pid):
    """The private memory of a Linux process: its anonymous pages, heaps among them."""
    for line in open("/proc/%s/smaps_rollup" % pid):
        if line.startswith("Anonymous:"):
            return int(line.split()[1])


def run_beside(*arguments):
    return desktop.wine(os.path.join(BIN, "beside.exe"), *map(str, arguments))


def rounds_rows():
    kinds = [("the tray menu (opened, closed by Escape)",
              lambda n: desktop.wine(os.path.join(BIN, "tray_menu.exe"), "1b", str(n))),
             ("show and hide of the picture window (command 410 twice)",
              lambda n: run_beside("commands", 410, 410, n)),
             ("disable and enable (commands 400 and 401)",
              lambda n: run_beside("commands", 400, 401, n))]
    pid = run("pgrep", "-n", "-f", r"qelvaro\.exe$").strip()
    for name, rounds in kinds:
        # Wine's caches warm up first.
        rounds(20)
        gdi, memory = int(run_beside("gdi")), anonymous_kb(pid)
        if rounds(ROUNDS) is None:
            sys.exit("%d rounds of %s did not all complete" % (ROUNDS, name))
        row("%d rounds of %s: GDI objects after vs before" % (ROUNDS, name),
            int(run_beside("gdi")), gdi)
        row("%d rounds of %s: private memory after vs before (KB)" % (ROUNDS, name),
            anonymous_kb(pid), memory)


def main():
    if XTEST:  # a key held while the one CPU is busy elsewhere must not repeat
        desktop._display.change_keyboard_control(auto_repeat_mode=desktop.X.AutoRepeatModeOff)
    key_log, program = KeyLog(), Program()
    desktop.set_caps_lock(True)
    row("The first key after Caps Lock: characters typed (should be 1)", key_log.characters_for(16))
    if os.environ.get("QELVARO_STORM_ONLY") != "1":
        for pause in (6, 10, 20, 30):
            row("The first key after a pause of %d s: characters typed (should be 1)" % pause,
                key_log.characters_for(16, pause))
    storm_rows(key_log)
    busy = busy_threads()
    try:
        storm_rows(key_log, " beside %d busy threads" % len(busy))
    finally:
        [process.kill() for process in busy]
    if os.environ.get("QELVARO_STORM_ONLY") == "1":
        return
    rounds_rows()
    typed = key_log.characters_for(16)
    program.command(400)
    wait_for(lambda: desktop.stored().get("State") == ("REG_DWORD", "0x0"))
    row("One hook left after the rounds: characters a Q typed (should be 1)", typed)
    row("... and after Disabled (should be 0)", key_log.characters_for(16))
    desktop.set_caps_lock(False)


main()
