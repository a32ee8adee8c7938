// Real key presses through the program's low-level hook under Wine: a recording hook installed
// before the program's sits behind it in the chain and sees exactly what the program hands on
// or injects; a foreground window shows what an application receives.
#include <windows.h>

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "desktop_harness.h"
#include "shell/string_copy.h"
#include "shell/tray_icon.h"
#include "translation/keyboard_hook.h"

namespace {

// Marks the test's own key events, so that the program's copy of GetMessageExtraInfo shows.
ULONG_PTR const kTestExtraInfo = 0x5155;

struct Key {
    WORD scan;
    BYTE vk; // what a US layout reports for this position
    bool extended;
};
Key const kK{0x25, 'K', false};
Key const kOne{0x02, '1', false};
Key const kQ{0x10, 'Q', false};
Key const kSpace{0x39, VK_SPACE, false};
Key const kGrave{0x29, VK_OEM_3, false};
Key const kKeypadSlash{0x35, VK_DIVIDE, true};
Key const kCapsLock{0x3A, VK_CAPITAL, false};
Key const kLeftShift{0x2A, VK_LSHIFT, false};
Key const kLeftAlt{0x38, VK_LMENU, false};
Key const kLeftCtrl{0x1D, VK_LCONTROL, false};

struct SeenEvent {
    WPARAM message;
    DWORD vkCode;
    DWORD scanCode;
    bool injected;
    ULONG_PTR extraInfo;
    bool nested; // arrived while the program's hook was busy, inside its own SendInput
    bool operator==(const SeenEvent& other) const {
        return message == other.message && vkCode == other.vkCode && scanCode == other.scanCode &&
               injected == other.injected && extraInfo == other.extraInfo && nested == other.nested;
    }
};
void PrintTo(const SeenEvent& e, std::ostream* out) {
    *out << "{msg 0x" << std::hex << e.message << " vk 0x" << e.vkCode << " scan 0x" << e.scanCode
         << " extra 0x" << e.extraInfo << std::dec << (e.injected ? " injected" : "")
         << (e.nested ? " nested" : "") << "}";
}

std::vector<SeenEvent> seenEvents;
std::wstring receivedChars;
HHOOK recorder;

LRESULT CALLBACK RecordingHookProc(int nCode, WPARAM wParam, LPARAM lParam) {
    const auto* key = reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam);
    if (nCode == HC_ACTION) {
        seenEvents.push_back({wParam, key->vkCode, key->scanCode,
                              (key->flags & LLKHF_INJECTED) != 0, key->dwExtraInfo,
                              app.hookBusy != 0});
    }
    return CallNextHookEx(recorder, nCode, wParam, lParam);
}

LRESULT CALLBACK TargetWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CHAR:
    case WM_SYSCHAR: receivedChars += static_cast<wchar_t>(wParam); return 0;
    // A lone Alt release would otherwise enter the window menu and keep the next keys.
    case WM_SYSKEYDOWN:
    case WM_SYSKEYUP: return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void SendKey(const Key& key, bool down) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    // Windows maps the scan code to its virtual key and ignores wVk here; Wine 8 does not map
    // it and takes wVk as given.
    input.ki.wVk = key.vk;
    input.ki.wScan = key.scan;
    input.ki.dwFlags = KEYEVENTF_SCANCODE | (down ? 0 : KEYEVENTF_KEYUP) |
                       (key.extended ? KEYEVENTF_EXTENDEDKEY : 0);
    input.ki.dwExtraInfo = kTestExtraInfo;
    ASSERT_EQ(SendInput(1, &input, sizeof input), 1u);
    PumpMessages();
}

void TapKey(const Key& key) {
    SendKey(key, true);
    SendKey(key, false);
}

bool CapsLockIsOn() {
    return (GetKeyState(VK_CAPITAL) & 1) != 0;
}

void SetCapsLock(bool on) {
    if (CapsLockIsOn() != on) {
        TapKey(kCapsLock);
    }
}

void ClearObservations() {
    seenEvents.clear();
    receivedChars.clear();
}

// Events as the recording hook sees them.
SeenEvent Event(WPARAM message, const Key& key, bool nested = false) {
    return {message, key.vk, key.scan, true, nested ? 0 : kTestExtraInfo, nested};
}
SeenEvent Typed(WPARAM message, WORD character) {
    return {message, VK_PACKET, character, true, kTestExtraInfo, true};
}
SeenEvent Wrap(WPARAM message) {
    return {message, VK_LCONTROL, 0, true, kTestExtraInfo, true};
}
std::vector<SeenEvent> operator+(std::vector<SeenEvent> a, const std::vector<SeenEvent>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
std::vector<SeenEvent> TypedPair(WORD character) {
    return {Typed(WM_KEYDOWN, character), Typed(WM_KEYUP, character)};
}

template <typename Case> std::string CaseName(const ::testing::TestParamInfo<Case>& tested) {
    return tested.param.name;
}

// One window for the whole process: under Wine without a window manager, hiding an activated
// window waits two seconds for a reply that never comes.
HWND TargetWindow() {
    static HWND window = nullptr;
    if (window != nullptr) {
        return window;
    }
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = TargetWindowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"QelvaroKeyTarget";
    RegisterClassW(&windowClass);
    window = CreateWindowExW(0, L"QelvaroKeyTarget", L"target", WS_POPUP, 200, 200, 200, 100,
                             nullptr, nullptr, windowClass.hInstance, nullptr);
    return window;
}

class KeyboardHookTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetAppState();
        window = TargetWindow();
        ShowWindow(window, SW_SHOW);
        SetForegroundWindow(window);
        SetFocus(window);
        PumpMessages();
        ASSERT_EQ(GetForegroundWindow(), window);
        app.mainWindow = window;

        capsLockWas = CapsLockIsOn();
        recorder =
            SetWindowsHookExA(WH_KEYBOARD_LL, RecordingHookProc, GetModuleHandleA(nullptr), 0);
        ASSERT_NE(recorder, nullptr);
        // The thread's last message now carries the test's extra information.
        TapKey(kLeftShift);
        ClearObservations();
    }

    void TearDown() override {
        if (app.hook != nullptr) {
            DisableTranslation();
        }
        for (const Key& modifier : {kLeftShift, kLeftAlt, kLeftCtrl}) {
            SendKey(modifier, false);
        }
        SetCapsLock(capsLockWas);
        UnhookWindowsHookEx(recorder);
    }

    // Caps Lock set, translation on, and nothing recorded yet.
    void StartTranslating(bool capsLock) {
        SetCapsLock(capsLock);
        ASSERT_EQ(CapsLockIsOn(), capsLock);
        EnableTranslation();
        ASSERT_NE(app.hook, nullptr);
        ClearObservations();
    }

    HWND window = nullptr;
    bool capsLockWas = false;
};

// One key pressed (possibly several times, as auto-repeat does) and released while modifiers are
// held; what the hooks behind the program and the window receive.
struct InputCase {
    const char* name;
    bool capsLock;
    int echoMode;
    std::vector<Key> held;
    Key key;
    int presses;
    std::vector<SeenEvent> expected;
    // Not compared where Alt is down: Wine's WM_CHAR for a VK_PACKET then has 0x2000 added.
    bool checkChars;
    std::wstring chars;
};

std::vector<InputCase> InputCases() {
    const SeenEvent releaseK = Event(WM_KEYUP, kK);
    const SeenEvent altReleaseK = Event(WM_SYSKEYUP, kK);
    return {
        {"PlainK", true, 0, {}, kK, 1, TypedPair(0x14C4) + std::vector{releaseK}, true, L"\x14C4"},
        {"ShiftOneTypesTheDigit",
         true,
         0,
         {kLeftShift},
         kOne,
         1,
         TypedPair(0x0031) + std::vector{Event(WM_KEYUP, kOne)},
         true,
         L"1"},
        {"AltKIsWrappedInLeftCtrl",
         true,
         0,
         {kLeftAlt},
         kK,
         1,
         std::vector{Wrap(WM_KEYDOWN)} + TypedPair(0x14C5) +
             std::vector{Wrap(WM_SYSKEYUP), altReleaseK},
         false,
         L""},
        {"ShiftAltQIsWrappedInLeftCtrl",
         true,
         0,
         {kLeftShift, kLeftAlt},
         kQ,
         1,
         std::vector{Wrap(WM_KEYDOWN)} + TypedPair(0x148C) +
             std::vector{Wrap(WM_SYSKEYUP), Event(WM_SYSKEYUP, kQ)},
         false,
         L""},
        {"CtrlAltKNeedsNoWrap",
         true,
         0,
         {kLeftCtrl, kLeftAlt},
         kK,
         1,
         TypedPair(0x14C5) + std::vector{releaseK},
         false,
         L""},
        {"CtrlKIsAShortcut",
         true,
         0,
         {kLeftCtrl},
         kK,
         1,
         {Event(WM_KEYDOWN, kK), releaseK},
         true,
         L"\x0B"},
        {"SpaceBarPasses",
         true,
         0,
         {},
         kSpace,
         1,
         {Event(WM_KEYDOWN, kSpace), Event(WM_KEYUP, kSpace)},
         true,
         L" "},
        {"GraveAccentPassesWithoutShift",
         true,
         0,
         {},
         kGrave,
         1,
         {Event(WM_KEYDOWN, kGrave), Event(WM_KEYUP, kGrave)},
         true,
         L"`"},
        {"ShiftGraveAccentTypesTilde",
         true,
         0,
         {kLeftShift},
         kGrave,
         1,
         TypedPair(0x007E) + std::vector{Event(WM_KEYUP, kGrave)},
         true,
         L"~"},
        {"KeypadSlashTypesLikeSlash",
         true,
         0,
         {},
         kKeypadSlash,
         1,
         TypedPair(0x152D) + std::vector{Event(WM_KEYUP, kKeypadSlash)},
         true,
         L"\x152D"},
        {"AutoRepeatIsTranslatedEachTime",
         true,
         0,
         {},
         kK,
         3,
         TypedPair(0x14C4) + TypedPair(0x14C4) + TypedPair(0x14C4) + std::vector{releaseK},
         true,
         L"\x14C4\x14C4\x14C4"},
        {"CapsLockOffPassesK", false, 0, {}, kK, 1, {Event(WM_KEYDOWN, kK), releaseK}, true, L"k"},
        {"CapsLockOffPassesAltK",
         false,
         0,
         {kLeftAlt},
         kK,
         1,
         {Event(WM_SYSKEYDOWN, kK), altReleaseK},
         true,
         L"k"},
        // keybd_event gives no extra information, and the scan code is the one K maps to.
        {"EchoModeResendsTheKey",
         true,
         1,
         {},
         kK,
         1,
         {{WM_KEYDOWN, 'K', 0x25, true, 0, true}, {WM_KEYUP, 'K', 0x25, true, 0, true}, releaseK},
         true,
         L"K"},
        {"EchoModeWrapsAltKInLeftCtrl",
         true,
         1,
         {kLeftAlt},
         kK,
         1,
         {Wrap(WM_KEYDOWN),
          {WM_KEYDOWN, 'K', 0x25, true, 0, true},
          {WM_KEYUP, 'K', 0x25, true, 0, true},
          Wrap(WM_SYSKEYUP),
          altReleaseK},
         true,
         L""},
        {"EchoModePassesTheSpaceBar",
         true,
         1,
         {},
         kSpace,
         1,
         {Event(WM_KEYDOWN, kSpace), Event(WM_KEYUP, kSpace)},
         true,
         L" "},
    };
}

void PrintTo(const InputCase& c, std::ostream* out) {
    *out << c.name;
}

class KeyboardHookInputTest : public KeyboardHookTest,
                              public ::testing::WithParamInterface<InputCase> {};

TEST_P(KeyboardHookInputTest, HandsOnOrInjectsExactlyTheseEvents) {
    const InputCase& c = GetParam();
    StartTranslating(c.capsLock);
    app.echoMode = c.echoMode;
    for (const Key& modifier : c.held) {
        SendKey(modifier, true);
    }
    ClearObservations();
    for (int press = 0; press < c.presses; ++press) {
        SendKey(c.key, true);
    }
    SendKey(c.key, false);
    const std::vector<SeenEvent> seen = seenEvents;
    const std::wstring chars = receivedChars;
    for (auto modifier = c.held.rbegin(); modifier != c.held.rend(); ++modifier) {
        SendKey(*modifier, false);
    }

    EXPECT_EQ(seen, c.expected);
    if (c.checkChars) {
        EXPECT_EQ(chars, c.chars);
    }
    EXPECT_EQ(app.hookBusy, 0);
    // Nested calls never overwrite what the outer call took up.
    EXPECT_EQ(app.lastKey.vkCode, c.key.vk);
    EXPECT_EQ(app.lastKey.scanCode, c.key.scan);
    auto holds = [&c](const Key& modifier) {
        int held = 0;
        for (const Key& k : c.held) {
            held = held || k.vk == modifier.vk;
        }
        return held;
    };
    EXPECT_EQ(app.modifiers.capsLock, c.capsLock ? 1 : 0);
    EXPECT_EQ(app.modifiers.shift, holds(kLeftShift));
    EXPECT_EQ(app.modifiers.alt, holds(kLeftAlt));
    EXPECT_EQ(app.modifiers.ctrl, holds(kLeftCtrl));
}

INSTANTIATE_TEST_SUITE_P(Keys, KeyboardHookInputTest, ::testing::ValuesIn(InputCases()),
                         CaseName<InputCase>);

TEST_F(KeyboardHookTest, EchoModeWithCapsLockOffShowsTheReminderAndCapsLockClearsIt) {
    StartTranslating(false);
    app.echoMode = 1;
    CopyStringBounded(app.trayData.szInfo, "stale", sizeof app.trayData.szInfo);

    TapKey(kK);
    EXPECT_STREQ(app.trayData.szInfo, "Please press [CAPS LOCK] to type in Sendrith");
    EXPECT_EQ(seenEvents, (std::vector{Event(WM_KEYDOWN, kK), Event(WM_KEYUP, kK)}));
    EXPECT_EQ(receivedChars, L"k");

    ClearObservations();
    TapKey(kCapsLock);
    EXPECT_STREQ(app.trayData.szInfo, "");
    EXPECT_EQ(seenEvents, (std::vector{Event(WM_KEYDOWN, kCapsLock), Event(WM_KEYUP, kCapsLock)}));
    EXPECT_TRUE(CapsLockIsOn()) << "the Caps Lock press must still toggle";
}

// Conditions under which the hook hands a mapped key on without taking it up.
struct HandOnCase {
    const char* name;
    DWORD translationOn;
    int32_t hookBusy;
};

void PrintTo(const HandOnCase& c, std::ostream* out) {
    *out << c.name;
}

class KeyboardHookHandOnTest : public KeyboardHookTest,
                               public ::testing::WithParamInterface<HandOnCase> {};

TEST_P(KeyboardHookHandOnTest, MappedKeyPassesUntouched) {
    const HandOnCase& c = GetParam();
    StartTranslating(true);
    app.translationOn = c.translationOn;
    app.hookBusy = c.hookBusy;
    TapKey(kK);
    const bool nested = c.hookBusy != 0;
    EXPECT_EQ(seenEvents,
              (std::vector{SeenEvent{WM_KEYDOWN, 'K', 0x25, true, kTestExtraInfo, nested},
                           SeenEvent{WM_KEYUP, 'K', 0x25, true, kTestExtraInfo, nested}}));
    EXPECT_EQ(receivedChars, L"K");
    EXPECT_EQ(app.hookBusy, c.hookBusy);
    EXPECT_EQ(app.lastKey.vkCode, 0u) << "the event must not be taken up";
    app.hookBusy = 0;
}

INSTANTIATE_TEST_SUITE_P(Conditions, KeyboardHookHandOnTest,
                         ::testing::Values(HandOnCase{"Busy", 1, 1},
                                           HandOnCase{"TranslationOff", 0, 0}),
                         CaseName<HandOnCase>);

// The system sends these only for other keys; called directly with K and Caps Lock on.
TEST_F(KeyboardHookTest, OtherCodesAndReleasesAreHandedOnWithoutInjecting) {
    StartTranslating(true);
    KBDLLHOOKSTRUCT k{'K', 0x25, 0, 0, 0};
    const struct {
        int nCode;
        WPARAM message;
    } calls[] = {
        {-1, WM_KEYDOWN}, {3, WM_SYSKEYDOWN}, {HC_ACTION, WM_KEYUP}, {HC_ACTION, WM_SYSKEYUP}};
    for (const auto& call : calls) {
        SCOPED_TRACE(::testing::Message() << "nCode " << call.nCode << " message " << call.message);
        ClearObservations();
        EXPECT_NE(KeyboardHookProc(call.nCode, call.message, reinterpret_cast<LPARAM>(&k)), -1);
        PumpMessages();
        for (const SeenEvent& e : seenEvents) {
            EXPECT_NE(e.vkCode, static_cast<DWORD>(VK_PACKET)) << "nothing may be injected";
        }
        EXPECT_EQ(receivedChars, L"");
        EXPECT_EQ(app.lastKey.vkCode, 0u);
        EXPECT_EQ(app.hookBusy, 0);
    }
}

// Called outside the hook, with only the recording hook installed.
TEST_F(KeyboardHookTest, InjectionFunctionsSendTheseRecords) {
    SetCapsLock(false);
    const struct {
        const char* name;
        void (*send)();
        std::vector<SeenEvent> expected;
        std::wstring chars;
    } cases[] = {
        {"SendUnicodeChar",
         [] { SendUnicodeChar(0x14C2); },
         {{WM_KEYDOWN, VK_PACKET, 0x14C2, true, kTestExtraInfo, false},
          {WM_KEYUP, VK_PACKET, 0x14C2, true, kTestExtraInfo, false}},
         L"\x14C2"},
        {"SendVirtualKeyEvent",
         [] {
             EXPECT_EQ(SendVirtualKeyEvent(VK_LCONTROL, 1), 1u);
             EXPECT_EQ(SendVirtualKeyEvent(VK_LCONTROL, 0), 1u);
         },
         {{WM_KEYDOWN, VK_LCONTROL, 0, true, kTestExtraInfo, false},
          {WM_KEYUP, VK_LCONTROL, 0, true, kTestExtraInfo, false}},
         L""},
        {"EchoVirtualKey",
         [] { EchoVirtualKey('K'); },
         {{WM_KEYDOWN, 'K', 0x25, true, 0, false}, {WM_KEYUP, 'K', 0x25, true, 0, false}},
         L"k"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ClearObservations();
        c.send();
        PumpMessages();
        EXPECT_EQ(seenEvents, c.expected);
        EXPECT_EQ(receivedChars, c.chars);
    }
}

TEST_F(KeyboardHookTest, WithoutAForegroundWindowNothingIsInjectedAndTheKeyIsStillSwallowed) {
    StartTranslating(true);
    ShowWindow(window, SW_HIDE);
    PumpMessages();
    ASSERT_EQ(GetForegroundWindow(), nullptr);
    ClearObservations();

    SendUnicodeChar(0x14C2);
    EchoVirtualKey('K');
    EXPECT_EQ(SendVirtualKeyEvent(VK_LCONTROL, 1), 0u);
    PumpMessages();
    EXPECT_EQ(seenEvents, std::vector<SeenEvent>{});

    TapKey(kK);
    EXPECT_EQ(seenEvents, (std::vector{Event(WM_KEYUP, kK)}));
    EXPECT_EQ(app.lastKey.vkCode, static_cast<DWORD>('K'));
}

TEST_F(KeyboardHookTest, EnablingDisablingAndEnablingAgainLeavesOneHook) {
    StartTranslating(true);
    HHOOK first = app.hook;
    DisableTranslation();
    EXPECT_FALSE(UnhookWindowsHookEx(first)) << "disabling must have removed the hook";
    EnableTranslation();
    HHOOK second = app.hook;
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(app.translationOn, 1u);

    TapKey(kK);
    EXPECT_EQ(seenEvents, TypedPair(0x14C4) + std::vector{Event(WM_KEYUP, kK)});

    DisableTranslation();
    DisableTranslation();
    EXPECT_EQ(app.hook, nullptr);
    EXPECT_EQ(app.translationOn, 0u);
    EXPECT_FALSE(UnhookWindowsHookEx(second)) << "disabling must have removed the hook";
    ClearObservations();
    TapKey(kK);
    EXPECT_EQ(seenEvents, (std::vector{Event(WM_KEYDOWN, kK), Event(WM_KEYUP, kK)}));
}

// A desktop handle without DESKTOP_HOOKCONTROL is a documented reason for SetWindowsHookExA to
// refuse; a fresh thread can take such a handle as its desktop.
DWORD WINAPI EnableWithoutHookRights(LPVOID) {
    char name[256] = {};
    GetUserObjectInformationA(GetThreadDesktop(GetCurrentThreadId()), UOI_NAME, name, sizeof name,
                              nullptr);
    HDESK restricted = OpenDesktopA(name, 0, FALSE,
                                    DESKTOP_READOBJECTS | DESKTOP_WRITEOBJECTS |
                                        DESKTOP_CREATEWINDOW | DESKTOP_ENUMERATE);
    if (restricted == nullptr || !SetThreadDesktop(restricted)) {
        return 1;
    }
    EnableTranslation();
    return 0;
}

TEST_F(KeyboardHookTest, RefusedInstallationLeavesTranslationOffAndEnablingRetries) {
    app.iconOn = CreateSolidIcon(kOnColour);
    app.iconOff = CreateSolidIcon(kOffColour);
    const std::vector<HWND> otherIcons = TrayIconWindows();
    AddTrayIcon();
    const HWND trayIcon = NewTrayIconWindow(otherIcons);
    ASSERT_NE(trayIcon, nullptr);
    SetCapsLock(true);

    // From start-up with "State" on, and from the "Enabled" command with translation off.
    for (DWORD before : {1u, 0u}) {
        SCOPED_TRACE(::testing::Message() << "translationOn before " << before);
        app.translationOn = before;
        HANDLE thread = CreateThread(nullptr, 0, EnableWithoutHookRights, nullptr, 0, nullptr);
        WaitForSingleObject(thread, INFINITE);
        DWORD result = 1;
        GetExitCodeThread(thread, &result);
        CloseHandle(thread);
        ASSERT_EQ(result, 0u) << "could not give the thread a desktop handle without hook rights";

        EXPECT_EQ(app.hook, nullptr);
        EXPECT_EQ(app.translationOn, 0u);
        EXPECT_EQ(app.trayData.hIcon, app.iconOff);
        EXPECT_EQ(ShownColour(trayIcon, kOffColour), kOffColour);
        ClearObservations();
        TapKey(kK);
        EXPECT_EQ(seenEvents, (std::vector{Event(WM_KEYDOWN, kK), Event(WM_KEYUP, kK)}));
    }

    EnableTranslation();
    EXPECT_NE(app.hook, nullptr);
    EXPECT_EQ(app.translationOn, 1u);
    EXPECT_EQ(ShownColour(trayIcon, kOnColour), kOnColour);
    ClearObservations();
    TapKey(kK);
    EXPECT_EQ(seenEvents, TypedPair(0x14C4) + std::vector{Event(WM_KEYUP, kK)});

    Shell_NotifyIconA(NIM_DELETE, &app.trayData);
    DestroyIcon(app.iconOn);
    DestroyIcon(app.iconOff);
}

} // namespace
