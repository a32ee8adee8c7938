// Round trips of key presses under Wine: from SendInput on a window's thread to the message its
// window procedure receives, with the program's low-level hook (EnableTranslation), with a hook
// that only hands on, and with none. The hooks live on a second thread that waits in GetMessage,
// as the program's thread does, so each key crosses threads the way it crosses processes.
// Prints rows for ./bench; details and every median go to standard error.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "figures.h"
#include "shell/app_state.h"
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
// the program's hook costs beyond it is the program's own work.
enum class Hook { None, Null, KeyState, Program };
int const kHookCount = 4;
char const* const kHookNames[] = {"no hook", "null hook", "key-state hook", "program hook"};

UINT const WM_INSTALL_HOOK = WM_APP + 1; // wParam: the Hook to have installed
UINT const WM_TIME_KEY_STATE = WM_APP + 2;
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
    } else if (hook == Hook::Program) {
        EnableTranslation();
    }
}

// The same queries back to back on an idle thread, for the log: what they cost where no key
// event has just made the system's cached key state stale.
std::vector<double> keyStateQueries;

void TimeKeyStateQueries() {
    keyStateQueries.clear();
    for (int i = 0; i < 2000; ++i) {
        const double start = SecondsNow();
        QueryKeyState();
        keyStateQueries.push_back(SecondsNow() - start);
    }
}

DWORD WINAPI HookThread(void*) {
    MSG message;
    PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE); // the queue exists before we say ready
    SetEvent(hookReady);
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (message.hwnd == nullptr && message.message == WM_INSTALL_HOOK) {
            Install(static_cast<Hook>(message.wParam));
            SetEvent(hookReady);
            continue;
        }
        if (message.hwnd == nullptr && message.message == WM_TIME_KEY_STATE) {
            TimeKeyStateQueries();
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
    const bool program = hook == Hook::Program;
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
}

double Micro(double seconds) {
    return seconds * 1e6;
}

void Describe(const char* name, const std::vector<double>& values) {
    std::fprintf(stderr, "  %-38s n=%zu median %.1f us, p10 %.1f, p90 %.1f, p99 %.1f\n", name,
                 values.size(), Micro(Median(values)), Micro(Percentile(values, 0.10)),
                 Micro(Percentile(values, 0.90)), Micro(Percentile(values, 0.99)));
}

int Number(const char* text, int fallback) {
    return text != nullptr ? std::atoi(text) : fallback;
}

} // namespace

// Arguments: rounds and presses per block (default 200 and 2): each round runs one block under
// each hook, in an order shuffled afresh for every round, so that load from elsewhere falls on
// all alike; the first round only warms up.
int main(int argc, char** argv) {
    const int rounds = Number(argc > 1 ? argv[1] : nullptr, 200);
    const int presses = Number(argc > 2 ? argv[2] : nullptr, 2);

    app = AppState{};
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
    Hook order[] = {Hook::None, Hook::Null, Hook::KeyState, Hook::Program};
    std::mt19937 random(20240611);
    for (int round = 0; round <= rounds; ++round) {
        std::shuffle(std::begin(order), std::end(order), random);
        for (Hook hook : order) {
            InstallOnHookThread(hookThreadId, hook);
            if (hook == Hook::Program && app.hook == nullptr) {
                Fail("EnableTranslation installed no hook");
            }
            RunBlock(hook, presses, samples[static_cast<int>(hook)], round > 0);
        }
    }
    InstallOnHookThread(hookThreadId, Hook::None);
    AskHookThread(hookThreadId, WM_TIME_KEY_STATE, 0);
    SetCapsLock(capsLockWas);
    PostThreadMessageA(hookThreadId, WM_QUIT, 0, 0);
    WaitForSingleObject(hookThread, kWaitMs);

    std::fprintf(stderr, "%d rounds of %d presses per key and hook, after one warm-up round\n",
                 rounds, presses);
    for (int hook = 0; hook < kHookCount; ++hook) {
        std::fprintf(stderr, "%s:\n", kHookNames[hook]);
        Describe("Space (Caps Lock on) to WM_KEYDOWN", samples[hook].spaceKeyDown);
        Describe("Space (Caps Lock on) to WM_CHAR", samples[hook].spaceChar);
        Describe("Q (Caps Lock on) to WM_CHAR", samples[hook].qChar);
        Describe("Q (Caps Lock off) to WM_KEYDOWN", samples[hook].letterKeyDown);
    }
    Describe("four key-state queries, back to back", keyStateQueries);

    const Samples& none = samples[static_cast<int>(Hook::None)];
    const Samples& null = samples[static_cast<int>(Hook::Null)];
    const Samples& keyState = samples[static_cast<int>(Hook::KeyState)];
    const Samples& program = samples[static_cast<int>(Hook::Program)];
    PrintRow("Hook pass path: unmapped key (Caps Lock on), SendInput to WM_KEYDOWN, program hook "
             "vs null hook (goal: at most 1.2x)",
             Micro(Median(program.spaceKeyDown)), Micro(Median(null.spaceKeyDown)), "us");
    PrintRow("Hook pass path: letter with Caps Lock off, SendInput to WM_KEYDOWN, program hook "
             "vs null hook",
             Micro(Median(program.letterKeyDown)), Micro(Median(null.letterKeyDown)), "us");
    PrintRow("Translated path: mapped key to its syllabic WM_CHAR vs a passing key to its "
             "WM_CHAR, both through the program hook",
             Micro(Median(program.qChar)), Micro(Median(program.spaceChar)), "us");
    PrintRow("Program hook vs a hook making only its four key-state queries, unmapped key to "
             "WM_KEYDOWN (reference: the program's own work)",
             Micro(Median(program.spaceKeyDown)), Micro(Median(keyState.spaceKeyDown)), "us");
    PrintRow("Null hook vs no hook, unmapped key to WM_KEYDOWN (reference: any low-level hook)",
             Micro(Median(null.spaceKeyDown)), Micro(Median(none.spaceKeyDown)), "us");
    return 0;
}
