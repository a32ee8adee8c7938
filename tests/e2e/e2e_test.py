"""qelvaro.exe as a person uses it: keys typed on the X display, the tray driven as the shell
drives it, the registry read back with reg.exe. One case per run: e2e_test.py CASE."""
import glob
import re
import shutil
import sys

from desktop import *

failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAILED:", what)


# What each key types, read from the rows of the layout's source (plain, Shift, Alt, Shift+Alt),
# not through the code that picks a plane.
ROWS = re.findall(r"SetLayoutEntry\(table, (\w+), (\w+), (\w+), (\w+), (\w+)\)",
                  open(os.path.join(SOURCE, "src/translation/layout.cpp")).read())
LAYOUT = {int(row[0], 16): [int(unit, 16) for unit in row[1:]] for row in ROWS}
PLANES = [(), ("shift",), (ALT,), ("shift", ALT)]
MINIMIZE, MAXIMIZE = 0xF020, 0xF030


def typing():
    probe_window, program = Probe(), Program()
    check(translating(probe_window), "translation never started")
    # Every mapped key in the four planes, Shift alternately left and right.
    expected = []
    for plane, held in enumerate(PLANES):
        for index, (scan, units) in enumerate(sorted(LAYOUT.items())):
            if units[plane]:
                shift = (SHIFT, RIGHT_SHIFT)[index % 2]
                tap(scan, *[shift if modifier == "shift" else modifier for modifier in held])
                expected.append((units[plane], ALT in held))
    injected, passed = probe_window.typed()
    check(len(expected) == 184 and injected == expected,
          "typed: %s" % [pair for pair in zip(injected, expected) if pair[0] != pair[1]][:5])
    check(set(passed) <= {SHIFT, RIGHT_SHIFT, ALT}, "presses of mapped keys passed: %s" % passed)

    # One burst of keys with no pause between them.
    burst = [16, 17, 18, 19, 20, 21, 22, 30, 31, 32, 33, 34, 35, 44, 45, 46, 47, 48, 49, 50] * 2
    for scan in burst:
        key(scan, True, 0)
        key(scan, False, 0)
    check(probe_window.typed()[0] == [(LAYOUT[scan][0], False) for scan in burst], "burst")

    # Ctrl shortcuts pass with Caps Lock on, and everything passes with it off.
    tap(46, CTRL)
    set_caps_lock(False)
    tap(16)
    events = probe_window.settle()
    check(["C", "3"] in events and ["C", "71"] in events, "Ctrl+C or q did not arrive")
    check(not [e for e in events if e[0] == "K" and int(e[4], 16) & 0x10], "injected %s" % events)

    # Echo mode sends the pressed key again, Left-Ctrl around it under Alt.
    program.command(402)
    set_caps_lock(True)
    echoed = probe_window.typed_for(37)[0] + probe_window.typed_for(37, ALT)[0]
    check(echoed == [("vk", 0x4B, False), ("vk", 0x4B, True)], "echo mode: %s" % echoed)
    check(stored().get("State") == ("REG_DWORD", "0x1"), "echo mode saved %s" % stored())


def smoke():
    # What differs in a 32-bit build: the tray record the shell takes, the input records.
    probe_window, program = Probe(), Program()
    check(probe("icon") == "1\n", "the shell took no icon")
    check(translating(probe_window) and probe_window.typed_for(37, ALT)[0] == [(0x14C5, True)],
          "Alt+K did not type U+14C5 in Left-Ctrl")


def commands():
    probe_window, program = Probe(), Program()
    saves = lambda *values: stored() == {name: ("REG_DWORD", "0x%x" % value) for name, value in
                                         zip(("State", "ViewKeyboard", "KeyboardAlwaysOnTop"), values)}
    check(stored() == {}, "saved before any command")
    program.choose("D")
    check(saves(0, 0, 0), "Disabled saved %s" % stored())
    set_caps_lock(True)
    typed = probe_window.typed_for(16)
    check(typed == ([], [16]), "translated while disabled: %s" % (typed,))
    set_caps_lock(False)
    program.choose("E")
    check(saves(1, 0, 0), "Enabled")
    program.choose("K")
    check(saves(1, 1, 0) and window()[:4] == [1, 0, 0, 0], "View Keyboard: %s" % window())
    program.choose("T")
    check(saves(1, 1, 1) and window()[:2] == [1, 1], "Always on Top: %s" % window())
    # The close box, the minimize and the maximize of the window, then "View Keyboard" again.
    for message, argument, hidden in [(0x10, 0, [0, 1, 0, 0]), (0x112, MINIMIZE, [1, 1, 1, 0])]:
        poke("post", hex(message), str(argument), "0")
        poke("sync")
        check(window()[:4] == hidden and program.process.poll() is None, "closed: %s" % window())
        program.choose("K")
        check(window()[:4] == [1, 1, 0, 0] and saves(1, 1, 1), "shown again: %s" % window())
    poke("post", "0x112", str(MAXIMIZE), "0")
    poke("post", "0x10", "0", "0")
    program.choose("K")
    check(window()[:4] == [1, 1, 0, 0], "maximized, hidden, shown: %s" % window())
    # Help closes with Esc and with Enter.
    for closing in (ESCAPE, ENTER):
        program.choose("H")
        help_window = lambda: run("xdotool", "search", "--onlyvisible", "--name", "^Help$")
        check(wait_for(help_window), "no Help dialog")
        run("xdotool", "search", "--onlyvisible", "--name", "^Help$", "windowfocus")
        tap(closing)
        check(wait_for(lambda: not help_window()), "Help stayed open after %d" % closing)
    # The menu over and over: no GDI object is left behind.
    probe("menu", "1b", "5")
    before = int(probe("gdi"))
    check(probe("menu", "1b", "50") is not None, "the menu did not open and close 50 times")
    after = int(probe("gdi"))
    check(before > 0 and after - before <= 3, "GDI objects %d before 50 menus, %d after" % (before, after))
    # The shell forgets every icon when it restarts, and announces its return.
    probe("drop-icon")
    check(probe("icon") == "0\n", "the icon did not go")
    probe("taskbar-created")
    poke("sync")
    check(probe("icon") == "1\n", "the icon was not added again")
    program.choose("X")
    check(program.ended() and saves(1, 1, 1), "Exit did not end it as it was")
    set_caps_lock(True)
    check(probe_window.typed_for(16) == ([], [16]), "a hook outlived the program")


def startup():
    # Stored switches, then values of types and sizes the program never writes.
    for values, shown, translated in [
        ((("REG_DWORD", "0"), ("REG_DWORD", "1"), ("REG_DWORD", "1")), [1, 1], False),
        ((("REG_SZ", "on-and-off"), ("REG_BINARY", "010000"), ("REG_QWORD", "1")), [1, 0], True),
    ]:
        for name, (kind, data) in zip(("State", "ViewKeyboard", "KeyboardAlwaysOnTop"), values):
            store(name, kind, data)
        before = stored()
        probe_window, program = Probe(), Program()
        check(window()[:2] == shown, "started with %s: window %s" % (values, window()))
        check(colours_in(*window()[4:]) > 200, "the picture is not painted")
        set_caps_lock(True)
        check(bool(probe_window.typed_for(16)[0]) == translated, "started with %s: Q" % (values,))
        check(stored() == before, "start-up wrote settings")
        set_caps_lock(False)
        program.close()
        probe_window.close()


def planted_dlls():
    # Loaded as Windows loads a DLL that is no KnownDLL: from the program's folder first. Under
    # Wine some DLLs come with Wine's own modules before the program can restrict the search
    # (propsys, windowscodecs, zlib1, imm32 were seen); on Windows those are KnownDLLs or loaded
    # by the system from its own folder, so they are not planted here.
    folder = tempfile.mkdtemp(prefix="qelvaro-downloads-")
    shutil.copy(os.path.join(BIN, "qelvaro.exe"), folder)
    for name in ("gdiplus", "uxtheme"):
        shutil.copy(os.path.join(BIN, "planted.dll"), os.path.join(folder, name + ".dll"))
    store("ViewKeyboard", "REG_DWORD", "1")
    environment = dict(os.environ, WINEDLLOVERRIDES=os.environ.get("WINEDLLOVERRIDES", "") + ";gdiplus,uxtheme=n,b")
    program = Program(os.path.join(folder, "qelvaro.exe"), environment)
    check(colours_in(*window()[4:]) > 200, "the picture is not painted")
    program.command(430)
    check(program.ended(), "Exit did not end it")
    check(not glob.glob(folder + "/*.ran"), "planted DLLs ran: %s" % glob.glob(folder + "/*.ran"))
    shutil.rmtree(folder)


def installer():
    run_key = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Run"
    uninstall_key = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Qelvaro"
    user = glob.glob(os.environ["WINEPREFIX"] + "/drive_c/users/*/AppData")[0]
    program_folder = user + "/Local/Programs/Qelvaro"
    shortcut = user + "/Roaming/Microsoft/Windows/Start Menu/Programs/Qelvaro.lnk"
    for switches, remove, autostart in [((), (), True), (("/NOAUTOSTART",), ("/REMOVESETTINGS",), False)]:
        check(wine(os.environ["QELVARO_INSTALLER"], "/S", *switches) is not None, "setup failed")
        check(open(program_folder + "/qelvaro.exe", "rb").read() ==
              open(os.environ["QELVARO_PACKAGE"] + "/qelvaro.exe", "rb").read(), "not installed")
        check(("Qelvaro" in stored(run_key)) == autostart, "sign-in start %s" % (switches,))
        start(["wine", "start", "/unix", shortcut]).wait()
        check(poke("sync") is not None, "did not start from its shortcut")
        poke("post", "0x111", "410", "0")  # "View Keyboard": saves the settings
        wine(program_folder + "/uninstall.exe", "/S", *remove)
        check(wait_for(lambda: not os.path.exists(program_folder)), "the program folder stayed")
        check(not os.path.exists(shortcut) and "Qelvaro" not in stored(run_key) and
              not stored(uninstall_key), "the uninstaller left something")
        check(("State" in stored()) != bool(remove), "settings kept or removed wrongly")
        check(probe("window") is None, "the uninstaller left the program running")


if __name__ == "__main__":
    wine("reg", "delete", SETTINGS, "/f")
    globals()[sys.argv[1]]()
    set_caps_lock(False)
    print("%s: %d failure(s)" % (sys.argv[1], len(failures)))
    sys.exit(1 if failures else 0)
