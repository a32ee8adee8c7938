// Footprint under Wine of qelvaro.exe as shipped and of the minimal tray program, both running at
// once: file size; memory, GDI and USER objects and threads after start with the window hidden
// and then shown; CPU time and wake-ups over an idle stretch with the window hidden and
// translation on. Arguments: qelvaro.exe, minimal_tray.exe, idle seconds (default 30).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "figures.h"
#include "gdi_objects.h"
#include "tray_programs.h"

namespace {

struct Footprint {
    MemoryFigures memory;
    long gdiObjects;
    long windows;
    size_t threads;
};

Footprint Measure(const RunningProgram& running) {
    Footprint footprint{};
    footprint.memory = MemoryOf(running.process.hProcess);
    footprint.gdiObjects = GdiObjects(running.process.hProcess);
    footprint.windows = WindowsOf(running.process.dwProcessId);
    footprint.threads = ThreadsOf(running.process.dwProcessId).size();
    return footprint;
}

double FileBytes(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) {
        BenchFail(path.c_str(), "cannot be read");
    }
    return static_cast<double>(data.nFileSizeLow);
}

void PrintFootprintRows(const char* state, const Footprint& program, const Footprint& minimal) {
    char figure[200];
    std::snprintf(figure, sizeof figure,
                  "Private bytes, picture window %s, vs the minimal tray program", state);
    PrintRow(figure, program.memory.privateBytes / 1024, minimal.memory.privateBytes / 1024, "KB",
             0);
    std::snprintf(figure, sizeof figure,
                  "Working set, picture window %s, vs the minimal tray program", state);
    PrintRow(figure, program.memory.workingSet / 1024, minimal.memory.workingSet / 1024, "KB", 0);
    std::snprintf(figure, sizeof figure, "GDI objects, picture window %s, vs the minimal program",
                  state);
    PrintRow(figure, program.gdiObjects, minimal.gdiObjects, "", 0);
    std::snprintf(figure, sizeof figure,
                  "USER objects (under Wine: windows only), picture window %s, vs the minimal "
                  "program",
                  state);
    PrintRow(figure, program.windows, minimal.windows, "", 0);
    std::snprintf(figure, sizeof figure, "Threads, picture window %s, vs the minimal program",
                  state);
    PrintRow(figure, static_cast<double>(program.threads), static_cast<double>(minimal.threads), "",
             0);
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<TrayProgram> programs = TrayPrograms(argc, argv);
    const DWORD idleSeconds = argc > 3 ? static_cast<DWORD>(std::atoi(argv[3])) : 30;

    PrintRow("qelvaro.exe as shipped (stripped, picture included) vs the minimal tray program "
             "stripped alike (goal: under 600 KB)",
             FileBytes(programs[0].path) / 1024, FileBytes(programs[1].path) / 1024, "KB", 0);

    std::vector<RunningProgram> running;
    for (const TrayProgram& program : programs) {
        running.push_back(Launch(program));
    }
    // Whatever start-up left to settle (shell notifications, lazy loading) settles now.
    Sleep(2000);
    Footprint hidden[2];
    for (size_t i = 0; i < 2; ++i) {
        hidden[i] = Measure(running[i]);
    }

    // Both idle side by side, with nothing measuring them in between: the kernel's account of
    // the Linux process gives the exact CPU time and every wake-up.
    std::string linuxProcess[2];
    Scheduling idle[2];
    for (size_t i = 0; i < 2; ++i) {
        linuxProcess[i] = LinuxProcessDirectory(programs[i].path);
        if (linuxProcess[i].empty()) {
            BenchFail(programs[i].name, "has no Linux process to be found");
        }
        idle[i] = SchedulingOf(linuxProcess[i]);
    }
    Sleep(idleSeconds * 1000);
    for (size_t i = 0; i < 2; ++i) {
        const Scheduling after = SchedulingOf(linuxProcess[i]);
        idle[i].cpuSeconds = after.cpuSeconds - idle[i].cpuSeconds;
        idle[i].timesScheduled = after.timesScheduled - idle[i].timesScheduled;
    }

    for (size_t i = 0; i < 2; ++i) {
        RunCommand(programs[i], running[i], kToggleWindowCommand);
    }
    Sleep(1000);
    Footprint shown[2];
    for (size_t i = 0; i < 2; ++i) {
        shown[i] = Measure(running[i]);
    }
    for (size_t i = 0; i < 2; ++i) {
        // Hidden again: the program saves the switch, and the next start must find it off.
        RunCommand(programs[i], running[i], kToggleWindowCommand);
        Stop(programs[i], running[i]);
    }

    PrintFootprintRows("hidden", hidden[0], hidden[1]);
    PrintFootprintRows("shown", shown[0], shown[1]);
    char figure[200];
    const unsigned long seconds = static_cast<unsigned long>(idleSeconds);
    std::snprintf(figure, sizeof figure,
                  "CPU time over %lu s idle, translation on and watched, vs the minimal program "
                  "(goal: 0)",
                  seconds);
    PrintRow(figure, idle[0].cpuSeconds * 1e3, idle[1].cpuSeconds * 1e3, "ms", 3);
    std::snprintf(figure, sizeof figure,
                  "Wake-ups over %lu s idle (times the process ran), vs the minimal program (goal: "
                  "0)",
                  seconds);
    PrintRow(figure, idle[0].timesScheduled, idle[1].timesScheduled, "", 0);
    return 0;
}
