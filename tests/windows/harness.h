// The in-process tests' harness, in the style of Wine's conformance tests: ok() reports the
// file, the line and a message and goes on; each test function runs in a process of its own,
// named on the command line.
#pragma once

#include <windows.h>

#include <cstdio>
#include <string>

void ReportFailure(const char* file, int line);
#define ok(condition, ...)                                                                         \
    ((condition) ? (void)0                                                                         \
                 : (ReportFailure(__FILE__, __LINE__), printf(__VA_ARGS__), (void)puts("")))

struct TestRegistration {
    TestRegistration(const char* name, void (*run)());
};
#define TEST_CASE(name)                                                                            \
    static void name();                                                                            \
    static TestRegistration const name##Registration(#name, name);                                 \
    static void name()

// Dispatches messages until none has come for 30 ms (2 s at most): hooks, windows and the shell
// have caught up.
void PumpMessages();
// Dispatches messages until done() holds, 3 s at most; whether it came to hold.
bool PumpUntil(bool (*done)());

// Points this program's import of function at watcher, keeping the real one in real.
template <typename Function>
void Watch(const char* dll, const char* function, Function& real, Function watcher) {
    void* target = reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA(dll), function));
    real = reinterpret_cast<Function>(target);
    auto* base = reinterpret_cast<BYTE*>(GetModuleHandleA(nullptr));
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(
        base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY& table = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IAT];
    auto* slots = reinterpret_cast<void**>(base + table.VirtualAddress);
    for (size_t i = 0; i < table.Size / sizeof(void*); ++i) {
        if (target != nullptr && slots[i] == target) {
            DWORD protection = 0;
            VirtualProtect(&slots[i], sizeof(void*), PAGE_READWRITE, &protection);
            slots[i] = reinterpret_cast<void*>(watcher);
            VirtualProtect(&slots[i], sizeof(void*), protection, &protection);
            return;
        }
    }
    ok(false, "%s is not imported", function);
}

// The program's state as at start-up: layout built, main window created and hidden, pictures
// for the tray icon that tell "on" from "off".
void ResetProgram();

// Real key events for the low-level hooks, by scan code and the virtual key a US layout gives.
struct Key {
    WORD scan;
    BYTE vk;
};
void SendKey(Key key, bool down);
void SetCapsLock(bool on);
