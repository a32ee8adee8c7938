"""Qelvaro's suites on a Windows desktop, needing only Python 3 and the built programs: the
in-process cases of win32_test.exe, then the typing and command cases with keys, clicks and windows
through Win32. The user's own Qelvaro settings are put back at the end. Elsewhere it runs the
programs through Wine, in the display and prefix it is given. Ends with "N passed, N failed".
    python tests/windows/run-on-windows.py BIN [RESULTS]
BIN holds qelvaro.exe, win32_test.exe, e2e_driver.exe and poke.exe; RESULTS (default "results")
gets each case's output."""
import os
import subprocess
import sys

SETTINGS = r"HKCU\Software\Tarnwell\Qelvaro"
E2E = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "e2e", "e2e_test.py")


def main(bin_folder, results="results"):
    bin_folder, results = os.path.abspath(bin_folder), os.path.abspath(results)
    os.makedirs(results, exist_ok=True)

    def windows(*command, **options):  # files by name in RESULTS: Wine's programs take no Linux path
        return subprocess.run(([] if os.name == "nt" else ["wine"]) + list(command), text=True,
                              capture_output=True, cwd=results, **options)

    # Keys reach no program where nothing is in front, as on a locked desktop. (Wine has neither a
    # lock screen nor a window always in front.)
    if os.name == "nt" and not windows(os.path.join(bin_folder, "e2e_driver.exe"),
                                       input="front\n").stdout.strip():
        sys.exit("The desktop is locked or no window is in front: unlock it, click a window, and "
                 "run this again.")
    windows(os.path.join(bin_folder, "qelvaro.exe"), "/exit")  # it would translate the cases' keys
    kept = windows("reg", "export", SETTINGS, "settings-before.reg", "/y").returncode == 0
    environment = dict(os.environ, QELVARO_BIN=bin_folder, QELVARO_DRIVER="win32")
    outcomes = []
    for name in ["hook_events", "hook_lifecycle", "shell", "e2e.typing", "e2e.commands"]:
        result = (subprocess.run([sys.executable, E2E, name[4:]], text=True, capture_output=True,
                                 env=environment) if name.startswith("e2e.") else
                  windows(os.path.join(bin_folder, "win32_test.exe"), name))
        open(os.path.join(results, name + ".txt"), "w", encoding="utf-8").write(
            result.stdout + result.stderr)
        outcomes.append(result.returncode == 0)
        print("%-16s %s" % (name, "passed" if outcomes[-1] else "FAILED\n" + result.stdout +
                            result.stderr), flush=True)
    windows("reg", "delete", SETTINGS, "/f")
    if kept:
        windows("reg", "import", "settings-before.reg")
    print("%d passed, %d failed" % (outcomes.count(True), outcomes.count(False)))
    return 0 if all(outcomes) else 1


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:3]) if len(sys.argv) in (2, 3) else __doc__)
