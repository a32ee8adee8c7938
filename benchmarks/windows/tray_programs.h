// Starting, driving, looking at and ending the program and the minimal tray program from
// outside, as the start-up and footprint benchmarks do. Both understand the same commands.
#pragma once

#include <windows.h>
#include <psapi.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "figures.h"

UINT const kToggleWindowCommand = 410; // IDM_VIEW_KEYBOARD in the program
UINT const kExitCommand = 430;         // IDM_EXIT
UINT const kTrayIconId = 202;

struct TrayProgram {
    const char* name;
    std::string path;
    const char* windowClass;
    const char* windowTitle;
};

struct RunningProgram {
    PROCESS_INFORMATION process{};
    HWND window = nullptr;
    double readySeconds = 0; // from CreateProcess to the answer of the first sent message
};

[[noreturn]] inline void BenchFail(const char* program, const char* what) {
    std::fprintf(stderr, "%s: %s\n", program, what);
    std::exit(1);
}

// Where the build puts this program and the minimal one.
inline std::string BinDirectory() {
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string bin(self);
    return bin.substr(0, bin.find_last_of("\\/") + 1);
}

// qelvaro.exe as shipped and the minimal program: arguments 1 and 2 where given and not empty,
// else where the build puts them (the package directory beside bin/).
inline std::vector<TrayProgram> TrayPrograms(int argc, char** argv) {
    const std::string bin = BinDirectory();
    auto argument = [&](int index, std::string fallback) {
        return argc > index && argv[index][0] != '\0' ? std::string(argv[index]) : fallback;
    };
    return {{"qelvaro", argument(1, bin + "..\\package\\qelvaro.exe"), "Qelvaro", "Qelvaro"},
            {"minimal", argument(2, bin + "minimal_tray.exe"), "MinimalTray", "MinimalTray"}};
}

// Whether the shell holds the window's icon: modifying nothing succeeds only then.
inline bool TrayIconPresent(HWND window) {
    NOTIFYICONDATAA record{};
    record.cbSize = NOTIFYICONDATAA_V2_SIZE;
    record.hWnd = window;
    record.uID = kTrayIconId;
    return Shell_NotifyIconA(NIM_MODIFY, &record) != FALSE;
}

inline bool AnswersSentMessage(HWND window) {
    DWORD_PTR result = 0;
    return SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, 20000, &result) != 0;
}

// Starts the program and returns once its icon is in the shell and its window answers a sent
// message: start-up has added the icon and the thread waits for messages. Polls every
// millisecond or so, the same for every program.
inline RunningProgram Launch(const TrayProgram& program) {
    RunningProgram running;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    std::string commandLine = "\"" + program.path + "\"";
    const double start = SecondsNow();
    if (!CreateProcessA(program.path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0,
                        nullptr, nullptr, &startup, &running.process)) {
        BenchFail(program.name, "could not be started");
    }
    for (;;) {
        if (running.window == nullptr) {
            running.window = FindWindowA(program.windowClass, program.windowTitle);
        }
        if (running.window != nullptr && TrayIconPresent(running.window) &&
            AnswersSentMessage(running.window)) {
            running.readySeconds = SecondsNow() - start;
            return running;
        }
        if (WaitForSingleObject(running.process.hProcess, 1) == WAIT_OBJECT_0) {
            BenchFail(program.name, "ended during start-up");
        }
        if (SecondsNow() - start > 60) {
            BenchFail(program.name, "was not ready after 60 s");
        }
    }
}

// Sends a command as the tray menu would and waits until the window has handled it.
inline void RunCommand(const TrayProgram& program, const RunningProgram& running, UINT command) {
    if (!PostMessageA(running.window, WM_COMMAND, command, 0) ||
        !AnswersSentMessage(running.window)) {
        BenchFail(program.name, "did not take a command");
    }
}

inline void Stop(const TrayProgram& program, RunningProgram& running) {
    PostMessageA(running.window, WM_COMMAND, kExitCommand, 0);
    const bool ended = WaitForSingleObject(running.process.hProcess, 20000) == WAIT_OBJECT_0;
    if (!ended) {
        TerminateProcess(running.process.hProcess, 1);
    }
    CloseHandle(running.process.hThread);
    CloseHandle(running.process.hProcess);
    running = RunningProgram{};
    if (!ended) {
        BenchFail(program.name, "did not end on its Exit command");
    }
}

inline std::vector<DWORD> ThreadsOf(DWORD processId) {
    std::vector<DWORD> threads;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID == processId) {
            threads.push_back(entry.th32ThreadID);
        }
    }
    CloseHandle(snapshot);
    return threads;
}

inline std::string ReadSmallFile(const std::string& path) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return {};
    }
    std::string text;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) {
        text.append(buffer, got);
    }
    CloseHandle(file);
    return text;
}

// The Linux process behind a program of ours: its /proc directory as a Windows path, found by
// the executable's name as the kernel keeps it (15 characters) and by our Wine prefix.
inline std::string LinuxProcessDirectory(const std::string& programPath) {
    char prefix[MAX_PATH] = {};
    if (GetEnvironmentVariableA("WINEPREFIX", prefix, MAX_PATH) == 0) {
        return {};
    }
    std::string name = programPath.substr(programPath.find_last_of("\\/") + 1).substr(0, 15);
    const std::string wantedPrefix = std::string("WINEPREFIX=") + prefix;
    WIN32_FIND_DATAA found{};
    HANDLE search = FindFirstFileA("Z:\\proc\\*", &found);
    std::string directory;
    for (BOOL more = search != INVALID_HANDLE_VALUE; more && directory.empty();
         more = FindNextFileA(search, &found)) {
        if (found.cFileName[0] < '1' || found.cFileName[0] > '9') {
            continue;
        }
        const std::string candidate = std::string("Z:\\proc\\") + found.cFileName;
        if (ReadSmallFile(candidate + "\\comm") != name + "\n") {
            continue;
        }
        const std::string environment = ReadSmallFile(candidate + "\\environ");
        size_t at = 0;
        while (at < environment.size() && directory.empty()) {
            size_t end = environment.find('\0', at);
            end = end == std::string::npos ? environment.size() : end;
            if (environment.compare(at, end - at, wantedPrefix) == 0) {
                directory = candidate;
            }
            at = end + 1;
        }
    }
    if (search != INVALID_HANDLE_VALUE) {
        FindClose(search);
    }
    return directory;
}

struct Scheduling {
    double cpuSeconds = 0;     // exact, where the clock ticks of GetThreadTimes are 10 ms
    double timesScheduled = 0; // each time a thread woke up and ran
};

// The kernel's own account of every thread of the Linux process (/proc/PID/task/TID/schedstat:
// nanoseconds on a CPU, nanoseconds waiting to run, time slices run).
inline Scheduling SchedulingOf(const std::string& linuxProcess) {
    Scheduling total;
    WIN32_FIND_DATAA found{};
    HANDLE search = FindFirstFileA((linuxProcess + "\\task\\*").c_str(), &found);
    for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileA(search, &found)) {
        if (found.cFileName[0] < '0' || found.cFileName[0] > '9') {
            continue;
        }
        const std::string stat =
            ReadSmallFile(linuxProcess + "\\task\\" + found.cFileName + "\\schedstat");
        unsigned long long onCpu = 0;
        unsigned long long waiting = 0;
        unsigned long long slices = 0;
        if (std::sscanf(stat.c_str(), "%llu %llu %llu", &onCpu, &waiting, &slices) == 3) {
            total.cpuSeconds += static_cast<double>(onCpu) / 1e9;
            total.timesScheduled += static_cast<double>(slices);
        }
    }
    if (search != INVALID_HANDLE_VALUE) {
        FindClose(search);
    }
    return total;
}

struct MemoryFigures {
    double privateBytes;
    double workingSet;
};

// Private bytes are the pagefile-backed commit (Windows reports PrivateUsage as the same value;
// Wine gives resident anonymous memory there and leaves PrivateUsage 0).
inline MemoryFigures MemoryOf(HANDLE process) {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(process, &counters, sizeof counters);
    return {static_cast<double>(counters.PagefileUsage),
            static_cast<double>(counters.WorkingSetSize)};
}

struct WindowCount {
    DWORD processId;
    long windows;
};

inline BOOL CALLBACK CountChildWindow(HWND window, LPARAM count) {
    auto* counting = reinterpret_cast<WindowCount*>(count);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    counting->windows += owner == counting->processId ? 1 : 0;
    return TRUE;
}

inline BOOL CALLBACK CountTopWindow(HWND window, LPARAM count) {
    CountChildWindow(window, count);
    EnumChildWindows(window, CountChildWindow, count);
    return TRUE;
}

// USER objects as far as another process can see them under Wine 8, where GetGuiResources is a
// stub: the windows among them, top-level, child and message-only.
inline long WindowsOf(DWORD processId) {
    WindowCount count{processId, 0};
    EnumWindows(CountTopWindow, reinterpret_cast<LPARAM>(&count));
    for (HWND window = FindWindowExA(HWND_MESSAGE, nullptr, nullptr, nullptr); window != nullptr;
         window = FindWindowExA(HWND_MESSAGE, window, nullptr, nullptr)) {
        CountTopWindow(window, reinterpret_cast<LPARAM>(&count));
    }
    return count.windows;
}
