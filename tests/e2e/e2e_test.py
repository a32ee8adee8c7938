"""qelvaro.exe as a person uses it, e2e_test.py CASE: keys typed, commands posted as its menu sends
them, boxes answered, the screen and registry read back. Typing and commands run on Windows too."""
import glob
import shutil
import sys

from desktop import *

failures = []
RUN_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Run"
_user = WINE and glob.glob(os.environ["WINEPREFIX"] + "/drive_c/users/*/AppData")[0]
INSTALLED = [_user + "/Local/Programs/Qelvaro",
             _user + "/Roaming/Microsoft/Windows/Start Menu/Programs/Qelvaro.lnk"] if WINE else []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAILED:", what)


def typing():
    pad, program, keys = Pad(), Program(), layout()
    # The first key after Caps Lock translates, and so does the first after a pause longer than
    # the 5 s after which Wine takes a hook's thread for hung if its queue holds unread input.
    set_caps_lock(True)
    check(pad.typed(16) == "\u158f" and tray_shows("typing"), "the first key passed")
    time.sleep(6)
    check((typed := pad.typed(16)) == "\u158f", "after a pause: %r" % typed)
    # Every mapped key in four planes, left and right Shift and Alt by turns (Wine hands a character
    # injected under Alt on with its key message's Alt flag, 0x2000).
    expected, right = "", {SHIFT: RIGHT_SHIFT, ALT: RIGHT_ALT}
    for plane, held in enumerate([(), (SHIFT,), (ALT,), (SHIFT, ALT)]):
        for index, (scan, units) in enumerate(sorted(keys.items())):
            if units[plane]:
                tap(scan, *[right[m] if index % 2 else m for m in held])
                expected += chr(units[plane] | (0x2000 if ALT in held and WINE else 0))
    check((typed := pad.typed()) == expected, "typed %r" % typed)
    # Ctrl+A passes with Caps Lock on (selecting Q's syllabic for W's), so do the keypad's "/", keys
    # with either Windows key down (Win+Y: harmless on Windows, typed by Wine), all with it off.
    for event in [(16,), (30, CTRL), (17,), (KEYPAD_SLASH,), (21, LEFT_WINDOWS),
                  (21, RIGHT_WINDOWS, SHIFT)]:
        tap(*event)
    set_caps_lock(False)
    tap(16)
    check((typed := pad.typed()) == chr(keys[17][0]) + "/Yyq" or not WINE and
          typed.replace("Y", "").replace("y", "") == chr(keys[17][0]) + "/q", "passed: %r" % typed)
    # A second start shows the running copy's window and ends: after "Disabled", no hook types K.
    second = start(windows(os.path.join(BIN, "qelvaro.exe")))
    check(wait_for(lambda: second.poll() is not None and window()), "second start: no window")
    program.command(400)
    set_caps_lock(True)
    check(wait_for(lambda: stored().get("State") == ("REG_DWORD", "0x0")) and
          (typed := pad.typed(37)) == "K", "disabled typed %r" % typed)
    # Echo mode sends the pressed key again.
    program.command(402)
    check(wait_for(lambda: stored().get("State") == ("REG_DWORD", "0x1")), "echo mode not saved")
    check((typed := pad.typed(37)) == "K", "echo mode typed %r" % typed)
    # /exit ends the running copy as Exit does, then returns at once with none running.
    for _ in range(2):
        check(wine(os.path.join(BIN, "qelvaro.exe"), "/exit") is not None and
              wait_for(lambda: program.process.poll() is not None), "/exit left it running")


def commands():
    program = Program()
    check(stored() == {}, "saved before any command")
    for command, values in [(400, (0, 0, 0)), (401, (1, 0, 0)), (411, (1, 0, 1)),
                            (410, (1, 1, 1)), (411, (1, 1, 0))]:
        program.command(command)
        check(wait_for(lambda: stored() == saved(*values) and bool(window()) == values[1]) and
              tray_shows("on" if values[0] else "off"),
              "%d saved %s, window %s" % (command, stored(), window()))
    # The tray picture follows Caps Lock at once while translation is on, and stays "off" while
    # translation is off, whatever Caps Lock does.
    front("Qelvaro")
    for command, caps_lock, picture in [(None, True, "typing"), (None, False, "on"),
                                        (None, True, "typing"), (None, False, "on"),
                                        (400, False, "off"), (None, True, "off"),
                                        (None, False, "off"), (None, True, "off"),
                                        (401, True, "typing"), (400, True, "off"),
                                        (401, True, "typing")]:
        if command:
            program.command(command)
        set_caps_lock(caps_lock)
        check(tray_shows(picture), "after %s, Caps Lock %s: not %s" % (command, caps_lock, picture))
    set_caps_lock(False)
    # The close box hides the window, so does minimizing, and one hidden while maximized comes back
    # at normal size: "View Keyboard" (which would hide a shown window) shows it each time.
    normal, close, minimize, maximize = window(), 0xF060, 0xF020, 0xF030
    for steps in [[close], [minimize], [maximize, close]]:
        for step in steps:
            poke("post", "0x112", str(step), "0")  # WM_SYSCOMMAND, as the title bar's buttons
        program.command(410)
        check(wait_for(lambda: window() == normal and stored() == saved(1, 1, 0)) and
              program.process.poll() is None, "after %s: %s" % (steps, window()))
    for closing in (ESCAPE, ENTER):
        program.command(420)
        check(wait_for(lambda: window("Help") and front("Help")), "no Help dialog")
        tap(closing)
        check(wait_for(lambda: not window("Help")), "Help stayed open after key %d" % closing)
    # A right click in the picture opens the tray's menu, whose T keeps the window on top.
    click(400, 250, "right")
    check(wait_for(lambda: tap(20) or stored() == saved(1, 1, 1)), "right click: %s" % stored())
    check(program.exit() and stored() == saved(1, 1, 1), "Exit did not end it as it was")


def startup():
    # Stored switches, then values the program never writes: too long, left as they were, or too
    # short, read as if padded with zeros; "Always on Top" saves what was read. Each start-up before
    # Windows 11 (build 22000) offers to keep the icon shown (N or Y, then Enter) until yes.
    explorer = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer"
    version = r"HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion"
    store("EnableAutoTray", "REG_DWORD", "7", explorer)
    for build, values, answer, after, hidden in [
            ("22631", "REG_DWORD 1 REG_DWORD 1 REG_DWORD 0", None, (1, 1, 1), "0x7"),
            ("19045", "REG_DWORD 0 REG_DWORD 1 REG_DWORD 1", 49, (0, 1, 0), "0x7"),
            ("19045", "REG_QWORD 0 REG_BINARY 010000 REG_BINARY 0000", 21, (1, 1, 1), "0x0"),
            ("19045", "REG_DWORD 1 REG_DWORD 1 REG_DWORD 0", None, (1, 1, 1), "0x0")]:
        wine("reg", "add", version, "/v", "CurrentBuildNumber", "/d", build, "/f", "/reg:64")
        for name, kind, data in zip(SWITCHES, values.split()[::2], values.split()[1::2]):
            store(name, kind, data)
        before = stored()
        program = Program(answers=[answer, ENTER] if answer else [])
        state = (painted(), tray_shows("on" if after[0] else "off"), stored(),
                 stored(explorer).get("EnableAutoTray"))
        program.command(411)
        check(state == (True, True, before, ("REG_DWORD", hidden)) and
              wait_for(lambda: stored() == saved(*after)),
              "started with %s, answered %s: painted, on or off, saved, hidden %s; then saved %s" %
              (values, answer, state, stored()))
        program.exit()  # which takes the icon from the tray before the next start


def planted(*names):
    """A folder of marker DLLs, and an environment that loads them as Windows loads no KnownDLL."""
    folder = os.path.join(WORK, "Downloads")
    os.mkdir(folder)
    for name in names:
        shutil.copy(os.path.join(BIN, "planted.dll"), os.path.join(folder, name + ".dll"))
    overrides = os.environ.get("WINEDLLOVERRIDES", "") + ";%s=n,b" % ",".join(names)
    return folder, dict(os.environ, WINEDLLOVERRIDES=overrides)


def planted_dlls():
    # (Wine loads some, imm32 and zlib1 among them, before the program can restrict the search.)
    folder, environment = planted("gdiplus", "uxtheme")
    shutil.copy(os.path.join(BIN, "qelvaro.exe"), folder)
    store("ViewKeyboard", "REG_DWORD", "1")
    program = Program("wine", folder + "/qelvaro.exe", environment=environment)
    check(painted(), "the picture is not painted")
    check(program.exit() and not glob.glob(folder + "/*.ran"), "ran: %s" % os.listdir(folder))


def installer():
    uninstall_key = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Qelvaro"
    neighbour = r"HKCU\Software\Tarnwell\Another program"  # settings no uninstall may take
    setup = shutil.copy(os.environ["QELVARO_INSTALLER"], os.path.join(WORK, "setup.exe"))
    store("Kept", "REG_SZ", "1", neighbour)
    # Installed; again, over the running program, uninstalled keeping the settings; again, without.
    for switches, uninstall in [((), None), (("/NOAUTOSTART",), ()), ((), ("/REMOVESETTINGS",))]:
        check(wine(setup, "/S", *switches) is not None and wait_for(lambda: not running()),
              "setup failed or left the program running")
        autostart = stored(RUN_KEY).get("Qelvaro")
        check(bool(autostart) != bool(switches), "sign-in start after %s" % (switches,))
        # Started by the sign-in's command or else its shortcut; "View Keyboard" saves settings.
        Program(*["wine", autostart[1].strip('"')] if autostart else
                ["wine", "start", "/unix", INSTALLED[1]]).command(410)
        check(wait_for(lambda: "State" in stored()), "the program did not start or save")
        if uninstall is not None:  # as Add/Remove Programs does, by the command setup registered
            wine(stored(uninstall_key)["UninstallString"][1].strip('"'), "/S", *uninstall)
            check(wait_for(lambda: not any(map(os.path.exists, INSTALLED)) and not running()) and
                  not stored(RUN_KEY).get("Qelvaro") and not stored(uninstall_key) and
                  ("State" in stored()) != bool(uninstall) and "Kept" in stored(neighbour),
                  "the uninstaller left something, or kept or took the settings wrongly")


def msi():
    # Installed; upgraded over the running program to a newer build, without the sign-in start; a
    # downgrade refused, the program left running; uninstalled, keeping the settings.
    folder, environment = planted("uxtheme", "version", "msi")  # msiexec runs there, as Explorer's
    old = shutil.copy(os.environ["QELVARO_INSTALLER"].replace("-setup.exe", ".msi"), folder)
    _, version, arch = os.path.basename(old)[:-4].split("-")
    newer, new = version + ".1", "%s/qelvaro-%s.1-%s.msi" % (folder, version, arch)
    run("bash", SOURCE + "/tools/package-msi.sh", newer, arch, SOURCE, BIN + "/../package", new)
    for action, package, refused, versions, sign_in in [
            (["/i"], old, False, [version], True),
            (["ADDLOCAL=Qelvaro", "/i"], new, False, [newer], False),
            (["/i"], old, True, [newer], False), (["/x"], new, False, [], False)]:
        code = subprocess.run(["wine", "msiexec", *action, package, "/qn"], cwd=folder,
                              env=environment, capture_output=True).returncode
        # Wine 8 keeps a per-user package's Add/Remove Programs entry under HKLM, in its own view.
        entries = wine("reg", "query", r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall",
                       "/s", "/reg:" + arch[3:])
        check((code != 0) == refused and wait_for(lambda: running() == refused) and
              re.findall(r"Qelvaro\n +DisplayVersion +REG_SZ +(\S+)", entries) == versions and
              bool(stored(RUN_KEY).get("Qelvaro")) == sign_in, "msiexec %s %s" % (action, package))
        if action[-1] == "/i" and not refused:  # started by its sign-in command, else its shortcut
            Program("wine", *[stored(RUN_KEY)["Qelvaro"][1].strip('"')] if sign_in else
                    ["start", "/unix", INSTALLED[1]]).command(410)
    check(not any(map(os.path.exists, INSTALLED)) and "State" in stored() and
          not glob.glob(folder + "/*.ran"), "left, took settings or ran: %s" % os.listdir(folder))


if __name__ == "__main__":
    wine("reg", "delete", SETTINGS, "/f")
    globals()[sys.argv[1]]()
    set_caps_lock(False, taken=False)
    print("%s: %d failure(s)" % (sys.argv[1], len(failures)))
    sys.exit(1 if failures else 0)
