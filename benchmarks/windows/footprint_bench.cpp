// Footprint under Wine of qelvaro.exe as shipped and of the minimal tray program, both running at
// once: file size; memory, GDI and USER objects and threads after start with the window hidden
// and then shown; CPU time over an idle stretch with the window hidden and translation on.
// Arguments: qelvaro.exe, minimal_tray.exe, idle seconds (default 30).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "figures.h"
#include "tray_programs.h"

namespace {

struct Footprint {
    MemoryFigures memory;
    long gdiObjects;
    long userObjects;
    bool windowsOnly;
    size_t threads;
    std::string gdiTypes;
};

Footprint Measure(const RunningProgram& running) {
    Footprint footprint{};
    footprint.memory = MemoryOf(running.process.hProcess);
    footprint.gdiObjects = GdiObjectsOf(running.process.hProcess, &footprint.gdiTypes);
    footprint.userObjects = UserObjectsOf(running.process.hProcess, running.process.dwProcessId,
                                          &footprint.windowsOnly);
    footprint.threads = ThreadsOf(running.process.dwProcessId).size();
    return footprint;
}

void Describe(const char* state, const TrayProgram& program, const Footprint& f) {
    std::fprintf(stderr,
                 "%-7s %-8s private %.0f KB, working set %.0f KB, GDI objects %ld (%s), USER "
                 "objects %ld%s, threads %zu\n",
                 state, program.name, f.memory.privateBytes / 1024, f.memory.workingSet / 1024,
                 f.gdiObjects, f.gdiTypes.c_str(), f.userObjects,
                 f.windowsOnly ? " (windows only)" : "", f.threads);
}

double FileBytes(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) {
        BenchFail(path.c_str(), "cannot be read");
    }
    return static_cast<double>(data.nFileSizeLow);
}

// The resource's size in the file: how much of the program is its picture.
double ResourceBytes(const std::string& path, LPCSTR name, LPCSTR type) {
    HMODULE module = LoadLibraryExA(path.c_str(), nullptr,
                                    LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    HRSRC resource = module != nullptr ? FindResourceA(module, name, type) : nullptr;
    const double size = resource != nullptr ? SizeofResource(module, resource) : 0;
    if (module != nullptr) {
        FreeLibrary(module);
    }
    return size;
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
                  "USER objects%s, picture window %s, vs the minimal program",
                  program.windowsOnly ? " (under Wine: windows only)" : "", state);
    PrintRow(figure, program.userObjects, minimal.userObjects, "", 0);
    std::snprintf(figure, sizeof figure, "Threads, picture window %s, vs the minimal program",
                  state);
    PrintRow(figure, static_cast<double>(program.threads), static_cast<double>(minimal.threads), "",
             0);
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<TrayProgram> programs = TrayPrograms(argc, argv);
    const DWORD idleSeconds = argc > 3 ? static_cast<DWORD>(std::atoi(argv[3])) : 30;

    const double programBytes = FileBytes(programs[0].path);
    const double pictureBytes = ResourceBytes(programs[0].path, MAKEINTRESOURCEA(300), "PNG");
    std::fprintf(stderr, "%s: %.0f bytes, of which the picture %.0f\n", programs[0].path.c_str(),
                 programBytes, pictureBytes);
    PrintRow("qelvaro.exe as shipped (stripped, picture included) vs the minimal tray program "
             "stripped alike (goal: under 600 KB)",
             programBytes / 1024, FileBytes(programs[1].path) / 1024, "KB", 0);

    std::vector<RunningProgram> running;
    for (const TrayProgram& program : programs) {
        running.push_back(Launch(program));
    }
    // Whatever start-up left to settle (shell notifications, lazy loading) settles now.
    Sleep(2000);
    Footprint hidden[2];
    for (size_t i = 0; i < 2; ++i) {
        hidden[i] = Measure(running[i]);
        Describe("hidden", programs[i], hidden[i]);
    }

    // Both idle side by side, with nothing measuring them in between. Under Wine the kernel's
    // account of the Linux process gives the exact CPU time and every wake-up.
    std::string linuxProcess[2];
    double cpuBefore[2];
    Scheduling scheduledBefore[2];
    for (size_t i = 0; i < 2; ++i) {
        linuxProcess[i] = LinuxProcessDirectory(programs[i].path);
        cpuBefore[i] = CpuSeconds(running[i].process.dwProcessId);
        if (!linuxProcess[i].empty()) {
            scheduledBefore[i] = SchedulingOf(linuxProcess[i]);
        }
    }
    Sleep(idleSeconds * 1000);
    double idleCpu[2];
    Scheduling idleScheduled[2];
    for (size_t i = 0; i < 2; ++i) {
        idleCpu[i] = CpuSeconds(running[i].process.dwProcessId) - cpuBefore[i];
        if (!linuxProcess[i].empty()) {
            const Scheduling after = SchedulingOf(linuxProcess[i]);
            idleScheduled[i].cpuSeconds = after.cpuSeconds - scheduledBefore[i].cpuSeconds;
            idleScheduled[i].timesScheduled =
                after.timesScheduled - scheduledBefore[i].timesScheduled;
        }
        // What came before the idle stretch shows that both counters count.
        std::fprintf(stderr,
                     "idle    %-8s over %lu s: %.0f ms CPU by its threads' times; Linux process "
                     "%s: %.3f ms CPU, scheduled %.0f times (from its start to then: %.0f ms by "
                     "thread times, %.3f ms and %.0f times by the kernel's account)\n",
                     programs[i].name, static_cast<unsigned long>(idleSeconds), idleCpu[i] * 1e3,
                     linuxProcess[i].empty() ? "not found" : linuxProcess[i].c_str(),
                     idleScheduled[i].cpuSeconds * 1e3, idleScheduled[i].timesScheduled,
                     cpuBefore[i] * 1e3, scheduledBefore[i].cpuSeconds * 1e3,
                     scheduledBefore[i].timesScheduled);
    }

    for (size_t i = 0; i < 2; ++i) {
        RunCommand(programs[i], running[i], kToggleWindowCommand);
    }
    Sleep(1000);
    Footprint shown[2];
    for (size_t i = 0; i < 2; ++i) {
        shown[i] = Measure(running[i]);
        Describe("shown", programs[i], shown[i]);
        // Hidden again: the program saves the switch, and the next start must find it off.
        RunCommand(programs[i], running[i], kToggleWindowCommand);
        Stop(programs[i], running[i]);
    }

    PrintFootprintRows("hidden", hidden[0], hidden[1]);
    PrintFootprintRows("shown", shown[0], shown[1]);
    char figure[200];
    const unsigned long idle = static_cast<unsigned long>(idleSeconds);
    if (!linuxProcess[0].empty() && !linuxProcess[1].empty()) {
        std::snprintf(figure, sizeof figure,
                      "CPU time over %lu s idle, translation on, vs the minimal program (goal: 0)",
                      idle);
        PrintRow(figure, idleScheduled[0].cpuSeconds * 1e3, idleScheduled[1].cpuSeconds * 1e3, "ms",
                 3);
        std::snprintf(figure, sizeof figure,
                      "Wake-ups over %lu s idle (times the process ran), vs the minimal program",
                      idle);
        PrintRow(figure, idleScheduled[0].timesScheduled, idleScheduled[1].timesScheduled, "", 0);
    } else {
        std::snprintf(figure, sizeof figure,
                      "CPU time over %lu s idle, translation on, vs the minimal program (goal: 0; "
                      "in steps of 10 ms)",
                      idle);
        PrintRow(figure, idleCpu[0] * 1e3, idleCpu[1] * 1e3, "ms", 0);
    }
    return 0;
}
