// The in-process tests' harness, in the style of Wine's conformance tests: ok() reports the file,
// the line and a message and goes on; each test runs in a process of its own, named on the
// command line.
#pragma once

#include <windows.h>

#include <cstdio>
#include <string>

extern int failures;
#define ok(condition, ...)                                                                         \
    ((condition) ? (void)0                                                                         \
                 : (void)(++failures, printf("%s:%d: Test failed: ", __FILE__, __LINE__),          \
                          printf(__VA_ARGS__), puts("")))

bool RegisterTest(const char* name, void (*run)());
#define TEST_CASE(name)                                                                            \
    static void name();                                                                            \
    static bool const name##Registered = RegisterTest(#name, name);                                \
    static void name()

// Dispatches messages until done() holds (or, without one, until none has come for 30 ms), for
// three seconds at most; whether done() came to hold.
bool PumpUntil(bool (*done)() = nullptr);

// The program's state as at start-up: layout built, main window made and hidden, tray pictures
// loaded.
void ResetProgram();

// Real key events for the low-level hooks: a scan code and the virtual key a US layout gives.
struct Key {
    WORD scan;
    BYTE vk;
};
void SendKey(Key key, bool down);
void SetCapsLock(bool on);

// Points this program's import of function at watcher, keeping the real one in real.
template <typename Function>
void Watch(const char* dll, const char* function, Function& real, Function watcher) {
    real = reinterpret_cast<Function>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA(dll), function)));
    auto* base = reinterpret_cast<BYTE*>(GetModuleHandleA(nullptr));
    const IMAGE_DATA_DIRECTORY& table =
        reinterpret_cast<IMAGE_NT_HEADERS*>(base +
                                            reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew)
            ->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IAT];
    auto* slots = reinterpret_cast<void**>(base + table.VirtualAddress);
    for (size_t i = 0; i < table.Size / sizeof(void*); ++i) {
        if (real != nullptr && slots[i] == reinterpret_cast<void*>(real)) {
            DWORD protection = 0;
            VirtualProtect(&slots[i], sizeof(void*), PAGE_READWRITE, &protection);
            slots[i] = reinterpret_cast<void*>(watcher);
            return;
        }
    }
    ok(false, "%s is not imported", function);
}
