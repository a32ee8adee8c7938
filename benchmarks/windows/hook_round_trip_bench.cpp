// Round trips of key presses under Wine: from SendInput on a window's thread to the message its
// window procedure receives, with the program's low-level hook (EnableTranslation) with and
// without its watchdog's raw input, with a hook that only hands on, and with none; then the
// process's CPU time per key with and without the watchdog. The hooks live on a second thread
// that owns the program's main window and waits in GetMessage, as the program's thread does, so
// each key crosses threads the way it crosses processes; the watchdog's raw input goes to its own
// watch thread, as in the program.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "figures.h"
#include "picture/keyboard_window.h"
#include "shell/app_state.h"
#include "shell/lifetime.h"
#include "shell/main_window.h"
#include "translation/hook_watchdog.h"
#include "translation/keyboard_hook.h"
#include "translation/layout.h"

namespace {

struct Key {
    WORD scan;
    BYTE vk;
};
Key const kSpace{0x39, VK_SPACE}; // no syllabic in any plane: passes with Caps Lock on
Key const kQ{0x10, 'Q'};          // U+158F with Caps Lock on
Key const kCapsLock{0x3A, VK_CAPITAL};
wchar_t const kQSyllabic = 0x158F;

// KeyState: makes the program's four key-state queries for each key press, then hands on. What
// the program's hook costs beyond it is the program's own work. Program is the hook as shipped,
// watched through raw input; Unwatched the same hook with the raw input registration removed.
enum class Hook { None, Null, KeyState, Program, Unwatched };
int const kHookCount = 5;

UINT const WM_INSTALL_HOOK = WM_APP + 1; // wParam: the Hook to have installed
UINT const WM_SET_PRIORITY = WM_APP + 2; // wParam: the hook thread's priority from now on
UINT const WM_TIME_PAINTS = WM_APP + 3;  // the hook thread paints the picture window, timed
DWORD const kWaitMs = 5000;

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "hook_round_trip_bench: %s\n", what);
    std::exit(1);
}

// --- The hook thread ---------------------------------------------------------------------------

HHOOK benchHook = nullptr;
HANDLE hookReady = nullptr;

LRESULT CALLBACK NullHookProc(int nCode, WPARAM wParam, LPARAM lParam) {
    return CallNextHookEx(benchHook, nCode, wParam, lParam);
}

// The program's snapshot, in its order: Caps Lock's toggle, then Shift, Alt and Ctrl.
void QueryKeyState() {
    volatile SHORT sink = GetKeyState(VK_CAPITAL);
    sink = GetAsyncKeyState(VK_SHIFT);
    sink = GetAsyncKeyState(VK_MENU);
    sink = GetAsyncKeyState(VK_CONTROL);
    (void)sink;
}

LRESULT CALLBACK KeyStateHookProc(int nCode, WPARAM wParam, LPARAM lParam) {
    if (nCode == HC_ACTION && (wParam == WM_KEYDOWN || wParam == WM_SYSKEYDOWN)) {
        QueryKeyState();
    }
    return CallNextHookEx(benchHook, nCode, wParam, lParam);
}

void RemoveHooks() {
    if (benchHook != nullptr) {
        UnhookWindowsHookEx(benchHook);
        benchHook = nullptr;
    }
    if (app.hook != nullptr) {
        DisableTranslation();
    }
}

void Install(Hook hook) {
    RemoveHooks();
    if (hook == Hook::Null || hook == Hook::KeyState) {
        benchHook =
            SetWindowsHookExA(WH_KEYBOARD_LL, hook == Hook::Null ? NullHookProc : KeyStateHookProc,
                              GetModuleHandleA(nullptr), 0);
    } else if (hook == Hook::Program || hook == Hook::Unwatched) {
        EnableTranslation();
        if (hook == Hook::Unwatched) {
            // Also ends a check that a watched block started, which would register it again.
            WatchKeyboardInput(false);
        }
    }
}

// Milliseconds of each paint of the picture window filling the screen, on the hook's thread and
// at its priority: what the painting can take from other programs.
std::vector<double> paintMs;

void TimePaints() {
    LoadKeyboardImage();
    ShowKeyboardWindow();
    SetWindowPos(app.mainWindow, nullptr, 0, 0, GetSystemMetrics(SM_CXSCREEN),
                 GetSystemMetrics(SM_CYSCREEN), SWP_NOZORDER);
    for (int i = 0; i < 31; ++i) {
        const double start = SecondsNow();
        RedrawWindow(app.mainWindow, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
        if (i > 0) {
            paintMs.push_back((SecondsNow() - start) * 1e3);
        }
    }
    HideKeyboardWindow();
}

DWORD WINAPI HookThread(void*) {
    MSG message;
    PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE); // the queue exists before we say ready
    if (!RegisterMainWindowClass() || !CreateMainWindow()) {
        Fail("the program's main window could not be made");
    }
    SetEvent(hookReady);
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (message.hwnd == nullptr && message.message == WM_INSTALL_HOOK) {
            Install(static_cast<Hook>(message.wParam));
            SetEvent(hookReady);
            continue;
        }
        if (message.hwnd == nullptr && message.message == WM_SET_PRIORITY) {
            SetThreadPriority(GetCurrentThread(), static_cast<int>(message.wParam));
            SetEvent(hookReady);
            continue;
        }
        if (message.hwnd == nullptr && message.message == WM_TIME_PAINTS) {
            TimePaints();
            SetEvent(hookReady);
            continue;
        }
        DispatchMessageA(&message);
    }
    RemoveHooks();
    return 0;
}

// --- The window that receives the keys ---------------------------------------------------------

// What the window procedure waits for, and when each arrived (0 until then).
struct Awaited {
    WPARAM keyDown = 0;    // virtual key of the WM_KEYDOWN to time
    wchar_t character = 0; // 0: none awaited
    WPARAM keyUp = 0;
    double keyDownAt = 0;
    double characterAt = 0;
    bool keyUpSeen = false;
};
Awaited awaited;

LRESULT CALLBACK TargetWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_KEYDOWN:
        if (wParam == awaited.keyDown && awaited.keyDownAt == 0) {
            awaited.keyDownAt = SecondsNow();
        }
        return 0;
    case WM_CHAR:
        if (awaited.character != 0 && static_cast<wchar_t>(wParam) == awaited.character &&
            awaited.characterAt == 0) {
            awaited.characterAt = SecondsNow();
        }
        return 0;
    case WM_KEYUP:
        if (wParam == awaited.keyUp) {
            awaited.keyUpSeen = true;
        }
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

HWND CreateTargetWindow() {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = TargetWindowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"QelvaroBenchTarget";
    RegisterClassW(&windowClass);
    HWND window =
        CreateWindowExW(0, windowClass.lpszClassName, L"target", WS_POPUP | WS_VISIBLE, 100, 100,
                        200, 100, nullptr, nullptr, windowClass.hInstance, nullptr);
    SetForegroundWindow(window);
    SetFocus(window);
    return window;
}

// Dispatches this thread's messages until done() holds.
template <typename Done> void PumpUntil(Done done) {
    MSG message;
    while (!done()) {
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        if (!done() &&
            MsgWaitForMultipleObjects(0, nullptr, FALSE, kWaitMs, QS_ALLINPUT) == WAIT_TIMEOUT) {
            Fail("a key event never reached the window");
        }
    }
}

void SendKey(const Key& key, bool down) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    // Windows maps the scan code to its virtual key and ignores wVk; Wine 8 takes wVk as given.
    input.ki.wVk = key.vk;
    input.ki.wScan = key.scan;
    input.ki.dwFlags = KEYEVENTF_SCANCODE | (down ? 0 : KEYEVENTF_KEYUP);
    if (SendInput(1, &input, sizeof input) != 1) {
        Fail("SendInput refused a key event");
    }
}

struct Times {
    double keyDown;   // seconds from SendInput to the window's WM_KEYDOWN
    double character; // ... to its WM_CHAR
};

// One press, timed until both awaited messages arrived; then the release, untimed, until the
// window has it, so the next press starts from a quiet queue.
Times Press(const Key& key, WPARAM keyDown, wchar_t character) {
    awaited = Awaited{};
    awaited.keyDown = keyDown;
    awaited.character = character;
    awaited.keyUp = key.vk;
    const double start = SecondsNow();
    SendKey(key, true);
    PumpUntil([] {
        return awaited.keyDownAt != 0 && (awaited.character == 0 || awaited.characterAt != 0);
    });
    SendKey(key, false);
    PumpUntil([] { return awaited.keyUpSeen; });
    return {awaited.keyDownAt - start, awaited.characterAt - start};
}

bool CapsLockIsOn() {
    return (GetKeyState(VK_CAPITAL) & 1) != 0;
}

void SetCapsLock(bool on) {
    if (CapsLockIsOn() == on) {
        return;
    }
    Press(kCapsLock, VK_CAPITAL, 0);
    if (CapsLockIsOn() != on) {
        Fail("Caps Lock did not toggle");
    }
}

// --- The measurement ---------------------------------------------------------------------------

struct Samples {
    std::vector<double> spaceKeyDown; // Caps Lock on: the pass path of an unmapped key
    std::vector<double> spaceChar;
    std::vector<double> qChar;         // Caps Lock on: the program's syllabic, else the letter
    std::vector<double> letterKeyDown; // Caps Lock off: a letter passes
    int blocks = 0;
    int blocksWithRawInput = 0; // the watch thread checked the hook during the block
};

void AskHookThread(DWORD hookThread, UINT message, WPARAM wParam) {
    ResetEvent(hookReady);
    PostThreadMessageA(hookThread, message, wParam, 0);
    if (WaitForSingleObject(hookReady, kWaitMs) != WAIT_OBJECT_0) {
        Fail("the hook thread did not answer");
    }
}

void InstallOnHookThread(DWORD hookThread, Hook hook) {
    AskHookThread(hookThread, WM_INSTALL_HOOK, static_cast<WPARAM>(hook));
}

// One block of presses under one hook: Caps Lock on, Space and Q in turn; then Caps Lock off, Q.
void RunBlock(Hook hook, int presses, Samples& samples, bool keep) {
    const bool program = hook == Hook::Program || hook == Hook::Unwatched;
    const LONG rawInputBefore = app.lastKeyboardInput;
    SetCapsLock(true);
    for (int i = 0; i < presses; ++i) {
        const Times space = Press(kSpace, VK_SPACE, L' ');
        // The program swallows Q and types its syllabic as a VK_PACKET key.
        const Times q = Press(kQ, program ? VK_PACKET : 'Q', program ? kQSyllabic : L'Q');
        if (keep) {
            samples.spaceKeyDown.push_back(space.keyDown);
            samples.spaceChar.push_back(space.character);
            samples.qChar.push_back(q.character);
        }
    }
    SetCapsLock(false);
    for (int i = 0; i < presses; ++i) {
        const Times letter = Press(kQ, 'Q', L'q');
        if (keep) {
            samples.letterKeyDown.push_back(letter.keyDown);
        }
    }
    ++samples.blocks;
    samples.blocksWithRawInput += app.lastKeyboardInput != rawInputBefore ? 1 : 0;
}

double ProcessCpuSeconds() {
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    return FileTimeSeconds(kernel) + FileTimeSeconds(user);
}

// The process's CPU seconds over this many presses under the hook, Space and Q in turn with
// Caps Lock on: half pass, half are translated.
double CpuOverPresses(DWORD hookThread, Hook hook, int presses) {
    InstallOnHookThread(hookThread, hook);
    SetCapsLock(true);
    const double start = ProcessCpuSeconds();
    for (int i = 0; i < presses; i += 2) {
        Press(kSpace, VK_SPACE, L' ');
        Press(kQ, VK_PACKET, kQSyllabic);
    }
    return ProcessCpuSeconds() - start;
}

// Busy threads at normal priority, two for each processor the process may run on, while
// spinning is set.
volatile bool spinning;

DWORD WINAPI Spin(void*) {
    while (spinning) {
    }
    return 0;
}

std::vector<HANDLE> StartBusyThreads() {
    DWORD_PTR processMask = 0, systemMask = 0;
    GetProcessAffinityMask(GetCurrentProcess(), &processMask, &systemMask);
    spinning = true;
    std::vector<HANDLE> threads;
    for (DWORD_PTR bit = 1; bit != 0; bit <<= 1) {
        for (int i = 0; (processMask & bit) != 0 && i < 2; ++i) {
            threads.push_back(CreateThread(nullptr, 0, Spin, nullptr, 0, nullptr));
        }
    }
    return threads;
}

void StopBusyThreads(const std::vector<HANDLE>& threads) {
    spinning = false;
    for (HANDLE thread : threads) {
        WaitForSingleObject(thread, kWaitMs);
        CloseHandle(thread);
    }
}

// Seconds from SendInput to the syllabic's WM_CHAR for translated presses, with the hook thread
// at the priority EnableTranslation gives it, or put back to normal.
std::vector<double> TranslatedTimes(DWORD hookThread, bool normal, int presses) {
    InstallOnHookThread(hookThread, Hook::Program);
    if (normal) {
        AskHookThread(hookThread, WM_SET_PRIORITY, static_cast<WPARAM>(THREAD_PRIORITY_NORMAL));
    }
    SetCapsLock(true);
    std::vector<double> times;
    for (int i = 0; i < presses; ++i) {
        times.push_back(Press(kQ, VK_PACKET, kQSyllabic).character);
    }
    return times;
}

double Percentile(std::vector<double> values, double fraction) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[static_cast<size_t>(fraction * (values.size() - 1))];
}

double CountOver(const std::vector<double>& values, double seconds) {
    return static_cast<double>(
        std::count_if(values.begin(), values.end(), [&](double v) { return v > seconds; }));
}

double Micro(double seconds) {
    return seconds * 1e6;
}

int Number(const char* text, int fallback) {
    return text != nullptr ? std::atoi(text) : fallback;
}

} // namespace

// Arguments: rounds and presses per block (default 60 and 10: the watchdog's raw input costs the
// first key of a burst, as a person types, not each key): each round runs one block under
// each hook, in an order shuffled afresh for every round, so that load from elsewhere falls on
// all alike; the first round only warms up. Then presses for the CPU time (default 4000 with
// the watchdog and as many without, in eight blocks); then translated presses beside busy threads
// (default 800, half with the hook thread at the program's priority, half at normal priority).
int main(int argc, char** argv) {
    const int rounds = Number(argc > 1 ? argv[1] : nullptr, 60);
    const int presses = Number(argc > 2 ? argv[2] : nullptr, 10);
    const int cpuPresses = Number(argc > 3 ? argv[3] : nullptr, 4000);
    const int loadPresses = Number(argc > 4 ? argv[4] : nullptr, 800);

    app = AppState{};
    app.instance = GetModuleHandleA(nullptr);
    BuildLayout(app.LayoutTable);
    HWND window = CreateTargetWindow();
    if (window == nullptr || GetForegroundWindow() != window) {
        Fail("the target window could not take the foreground");
    }
    hookReady = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    DWORD hookThreadId = 0;
    HANDLE hookThread = CreateThread(nullptr, 0, HookThread, nullptr, 0, &hookThreadId);
    if (WaitForSingleObject(hookReady, kWaitMs) != WAIT_OBJECT_0) {
        Fail("the hook thread did not start");
    }
    const bool capsLockWas = CapsLockIsOn();

    Samples samples[kHookCount];
    Hook order[] = {Hook::None, Hook::Null, Hook::KeyState, Hook::Program, Hook::Unwatched};
    std::mt19937 random(20240611);
    for (int round = 0; round <= rounds; ++round) {
        std::shuffle(std::begin(order), std::end(order), random);
        for (Hook hook : order) {
            InstallOnHookThread(hookThreadId, hook);
            if ((hook == Hook::Program || hook == Hook::Unwatched) && app.hook == nullptr) {
                Fail("EnableTranslation installed no hook");
            }
            RunBlock(hook, presses, samples[static_cast<int>(hook)], round > 0);
        }
    }
    double cpu[2] = {}; // with the watchdog, without
    // With and without in turns (ABBA ABBA), so that a drift of the machine falls on both.
    for (int block = 0; block < 8; ++block) {
        const bool watched = block % 4 == 0 || block % 4 == 3;
        cpu[watched ? 0 : 1] +=
            CpuOverPresses(hookThreadId, watched ? Hook::Program : Hook::Unwatched, cpuPresses / 4);
    }
    // The translated path with the machine busy: the hook thread at the priority the program
    // gives it, against normal priority, in turns.
    const std::vector<HANDLE> busy = StartBusyThreads();
    std::vector<double> loaded[2]; // at the program's priority, at normal priority
    for (int block = 0; block < 8; ++block) {
        const bool raised = block % 4 == 0 || block % 4 == 3;
        const std::vector<double> times = TranslatedTimes(hookThreadId, !raised, loadPresses / 8);
        loaded[raised ? 0 : 1].insert(loaded[raised ? 0 : 1].end(), times.begin(), times.end());
    }
    StopBusyThreads(busy);
    AskHookThread(hookThreadId, WM_TIME_PAINTS, 0);
    InstallOnHookThread(hookThreadId, Hook::None);
    SetCapsLock(capsLockWas);
    PostThreadMessageA(hookThreadId, WM_QUIT, 0, 0);
    WaitForSingleObject(hookThread, kWaitMs);

    const Samples& none = samples[static_cast<int>(Hook::None)];
    const Samples& null = samples[static_cast<int>(Hook::Null)];
    const Samples& keyState = samples[static_cast<int>(Hook::KeyState)];
    const Samples& program = samples[static_cast<int>(Hook::Program)];
    const Samples& unwatched = samples[static_cast<int>(Hook::Unwatched)];
    PrintRow("Hook pass path: unmapped key (Caps Lock on), SendInput to WM_KEYDOWN, program hook "
             "with its watchdog vs null hook (goal: at most 1.2x)",
             Micro(Median(program.spaceKeyDown)), Micro(Median(null.spaceKeyDown)), "us");
    PrintRow("Hook pass path: letter with Caps Lock off, SendInput to WM_KEYDOWN, program hook "
             "vs null hook (goal: at most 1.05x)",
             Micro(Median(program.letterKeyDown)), Micro(Median(null.letterKeyDown)), "us");
    PrintRow("Translated path: mapped key to its syllabic WM_CHAR vs a passing key to its "
             "WM_CHAR, both through the program hook",
             Micro(Median(program.qChar)), Micro(Median(program.spaceChar)), "us");
    PrintRow("Program hook vs a hook making only its four key-state queries, unmapped key to "
             "WM_KEYDOWN (reference: the program's own work)",
             Micro(Median(program.spaceKeyDown)), Micro(Median(keyState.spaceKeyDown)), "us");
    PrintRow("Null hook vs no hook, unmapped key to WM_KEYDOWN (reference: any low-level hook)",
             Micro(Median(null.spaceKeyDown)), Micro(Median(none.spaceKeyDown)), "us");
    PrintRow("Watchdog: pass path (unmapped key to WM_KEYDOWN), with the watchdog vs without",
             Micro(Median(program.spaceKeyDown)), Micro(Median(unwatched.spaceKeyDown)), "us");
    PrintRow("Watchdog: translated path (mapped key to its syllabic WM_CHAR), with vs without",
             Micro(Median(program.qChar)), Micro(Median(unwatched.qChar)), "us");
    PrintRow("Watchdog: process CPU time per key (half passing, half translated), with vs "
             "without",
             Micro(cpu[0] / cpuPresses), Micro(cpu[1] / cpuPresses), "us");
    // Shows that the comparison is one: raw input reached the watch thread with the watchdog
    // only, and the watchdog never took the live hook for a dropped one.
    PrintRow("Watchdog: blocks of keys whose raw input reached the watch thread, with vs without",
             program.blocksWithRawInput, unwatched.blocksWithRawInput, "", 0);
    PrintRow("Watchdog: reinstallations of the live hook over the run (should be 0)",
             app.hookReinstalls, 0, "", 0);
    char figure[200];
    const std::pair<const char*, double (*)(const std::vector<double>&)> loadFigures[] = {
        {"median", [](const std::vector<double>& v) { return Median(v) * 1e3; }},
        {"99th percentile", [](const std::vector<double>& v) { return Percentile(v, 0.99) * 1e3; }},
        {"worst", [](const std::vector<double>& v) { return Percentile(v, 1) * 1e3; }},
    };
    const unsigned busyThreads = static_cast<unsigned>(busy.size());
    for (const auto& [name, figureOf] : loadFigures) {
        std::snprintf(figure, sizeof figure,
                      "Translated path under load (%u busy threads): %s, SendInput to the "
                      "syllabic's WM_CHAR, hook thread at the program's priority vs normal",
                      busyThreads, name);
        PrintRow(figure, figureOf(loaded[0]), figureOf(loaded[1]), "ms", 2);
    }
    for (const double limit : {0.3, 2.0}) {
        std::snprintf(figure, sizeof figure,
                      "Translated path under load: keys over %.0f ms (%s), of %zu each, "
                      "program's priority vs normal",
                      limit * 1e3, limit < 1 ? "Windows' default hook timeout" : "Wine's",
                      loaded[0].size());
        PrintRow(figure, CountOver(loaded[0], limit), CountOver(loaded[1], limit), "", 0);
    }
    PrintRow("Painting the picture window over the whole screen, on the hook's thread, vs a frame "
             "at 60 Hz",
             Median(paintMs), 1000.0 / 60, "ms", 2);
    return 0;
}
