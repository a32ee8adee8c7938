"""Qelvaro's suites on a Windows desktop: the in-process cases of win32_test.exe, and the end-to-end
typing and command cases with keys, clicks and windows through Win32. Needs Python 3 and the built
programs; the user's own Qelvaro settings are put back at the end. Elsewhere it runs the programs
through Wine, on the display and in the prefix it is given. Ends with "N passed, N failed".
    python tests/windows/run-on-windows.py BIN [RESULTS]
BIN holds qelvaro.exe, win32_test.exe, e2e_driver.exe and poke.exe; RESULTS (default "results")
gets each case's output and a screenshot at each failed check."""
import os
import subprocess
import sys

IN_PROCESS = ["hook_events", "hook_lifecycle", "tray", "picture"]
END_TO_END = ["typing", "commands"]
SETTINGS = r"HKCU\Software\Tarnwell\Qelvaro"
E2E = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "e2e")


def windows(*command, **options):
    return subprocess.run(([] if os.name == "nt" else ["wine"]) + list(command), text=True,
                          capture_output=True, **options)


def main(bin_folder, results):
    bin_folder, results = os.path.abspath(bin_folder), os.path.abspath(results)
    driver = os.path.join(bin_folder, "e2e_driver.exe")
    os.makedirs(results, exist_ok=True)
    # Keys reach no program where nothing is in front, as on a locked desktop. (Wine has neither a
    # lock screen nor a window always in front.)
    if os.name == "nt" and not windows(driver, input="front\n").stdout.strip():
        sys.exit("The desktop is locked or no window is in front: unlock it, click a window, and "
                 "run this again.")
    # A Qelvaro already running would translate the keys the cases type.
    windows(os.path.join(bin_folder, "qelvaro.exe"), "/exit")
    # Files by name in RESULTS, as Wine's programs take no Linux path.
    kept = windows("reg", "export", SETTINGS, "settings-before.reg", "/y", cwd=results).returncode == 0
    passed = failed = 0
    cases = [([os.path.join(bin_folder, "win32_test.exe"), case], case) for case in IN_PROCESS]
    cases += [([os.path.join(E2E, "e2e_test.py"), case], "e2e." + case) for case in END_TO_END]
    environment = dict(os.environ, QELVARO_BIN=bin_folder, QELVARO_DRIVER="win32",
                       QELVARO_RESULTS=results)
    for command, name in cases:
        if command[0].endswith(".py"):
            result = subprocess.run([sys.executable] + command, text=True, capture_output=True,
                                    env=environment)
        else:
            result = windows(*command)
        with open(os.path.join(results, name + ".txt"), "w", encoding="utf-8") as log:
            log.write(result.stdout + result.stderr)
        print("%-22s %s" % (name, "passed" if result.returncode == 0 else "FAILED"), flush=True)
        if result.returncode != 0:
            print(result.stdout + result.stderr)
        passed += result.returncode == 0
        failed += result.returncode != 0
    windows("reg", "delete", SETTINGS, "/f")
    if kept:
        windows("reg", "import", "settings-before.reg", cwd=results)
    print("%d passed, %d failed" % (passed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    if len(sys.argv) not in (2, 3):
        sys.exit(__doc__)
    sys.exit(main(*sys.argv[1:]))
