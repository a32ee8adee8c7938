// Start-up under Wine: from CreateProcess until the tray icon is in the shell and the window
// answers a sent message, for qelvaro.exe as shipped and for the minimal tray program, started
// in turns in one run (the order alternates), with the CPU time each start took.
// Arguments: qelvaro.exe, minimal_tray.exe, rounds (default 50, after one warm-up round).
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "figures.h"
#include "tray_programs.h"

int main(int argc, char** argv) {
    const std::vector<TrayProgram> programs = TrayPrograms(argc, argv);
    const int rounds = std::max(1, argc > 3 ? std::atoi(argv[3]) : 50);

    std::vector<double> ready[2];
    std::vector<double> cpu[2];
    for (int round = 0; round <= rounds; ++round) {
        for (int turn = 0; turn < 2; ++turn) {
            const int which = (round + turn) % 2;
            RunningProgram running = Launch(programs[which]);
            const double cpuSeconds =
                SchedulingOf(LinuxProcessDirectory(programs[which].path)).cpuSeconds;
            if (round > 0) {
                ready[which].push_back(running.readySeconds * 1e3);
                cpu[which].push_back(cpuSeconds * 1e3);
            }
            Stop(programs[which], running);
        }
    }
    PrintRow("Start-up: process start to tray icon added and message loop waiting, vs a minimal "
             "tray program (goal: at most 1.5x)",
             Median(ready[0]), Median(ready[1]), "ms");
    // Load from elsewhere only ever adds time, so the fastest start is the least disturbed one.
    PrintRow("Start-up, the fastest of all starts of each (reference: least disturbed by load)",
             *std::min_element(ready[0].begin(), ready[0].end()),
             *std::min_element(ready[1].begin(), ready[1].end()), "ms");
    PrintRow("CPU time of that start-up vs the minimal tray program (reference)", Median(cpu[0]),
             Median(cpu[1]), "ms");
    return 0;
}
