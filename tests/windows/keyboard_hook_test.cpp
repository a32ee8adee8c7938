// Real key presses through the program's low-level hook under Wine: a recording hook installed
// before the program's sits behind it in the chain and sees exactly what the program hands on
// or injects; a foreground window shows what an application receives.
#include <windows.h>

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <utility>
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

// Modifiers a case holds down, as bits.
unsigned const kShift = 1;
unsigned const kAlt = 2;
unsigned const kCtrl = 4;

// The message the system gives a key event of the test's while these modifiers are down.
WPARAM KeyMessage(bool down, unsigned held) {
    const bool system = (held & kAlt) != 0 && (held & kCtrl) == 0;
    if (down) {
        return system ? WM_SYSKEYDOWN : WM_KEYDOWN;
    }
    return system ? WM_SYSKEYUP : WM_KEYUP;
}

SeenEvent Own(const Key& key, bool down, unsigned held = 0) {
    return {KeyMessage(down, held), key.vk, key.scan, true, kTestExtraInfo, false};
}
std::vector<SeenEvent> Passed(const Key& key, unsigned held = 0) {
    return {Own(key, true, held), Own(key, false, held)};
}

// What the program injects from inside its hook. Unicode events and the Ctrl wrap go through
// SendInput with the thread's extra information; echoed keys through keybd_event, without.
std::vector<SeenEvent> Typed(WORD character) {
    return {{WM_KEYDOWN, VK_PACKET, character, true, kTestExtraInfo, true},
            {WM_KEYUP, VK_PACKET, character, true, kTestExtraInfo, true}};
}
std::vector<SeenEvent> Echoed(const Key& key) {
    return {{WM_KEYDOWN, key.vk, key.scan, true, 0, true},
            {WM_KEYUP, key.vk, key.scan, true, 0, true}};
}
// Left-Ctrl goes up while Alt is still down, hence a system release.
std::vector<SeenEvent> CtrlWrapped(std::vector<SeenEvent> output) {
    output.insert(output.begin(), {WM_KEYDOWN, VK_LCONTROL, 0, true, kTestExtraInfo, true});
    output.push_back({WM_SYSKEYUP, VK_LCONTROL, 0, true, kTestExtraInfo, true});
    return output;
}
std::vector<SeenEvent> operator+(std::vector<SeenEvent> a, const std::vector<SeenEvent>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
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

// A key pressed (several times where a held key repeats) and released while modifiers are held.
// The recording hook then sees either the press and release handed on, or what the program
// injected in place of each press followed by the release, which always passes.
struct InputCase {
    const char* name;
    bool capsLock;
    int echoMode;
    unsigned held;
    Key key;
    int presses;
    std::vector<SeenEvent> injected; // empty: handed on
    // nullptr where Alt is down: Wine then adds 0x2000 to the WM_CHAR of a VK_PACKET.
    const wchar_t* chars;
};
void PrintTo(const InputCase& c, std::ostream* out) {
    *out << c.name;
}

std::vector<InputCase> const kInputCases = {
    {"PlainK", true, 0, 0, kK, 1, Typed(0x14C4), L"\x14C4"},
    {"ShiftOneTypesTheDigit", true, 0, kShift, kOne, 1, Typed('1'), L"1"},
    {"AltKIsWrappedInLeftCtrl", true, 0, kAlt, kK, 1, CtrlWrapped(Typed(0x14C5)), nullptr},
    {"ShiftAltQIsWrappedInLeftCtrl", true, 0, kShift | kAlt, kQ, 1, CtrlWrapped(Typed(0x148C)),
     nullptr},
    {"CtrlAltKNeedsNoWrap", true, 0, kCtrl | kAlt, kK, 1, Typed(0x14C5), nullptr},
    {"CtrlKIsAShortcut", true, 0, kCtrl, kK, 1, {}, L"\x0B"},
    {"SpaceBarPasses", true, 0, 0, kSpace, 1, {}, L" "},
    {"GraveAccentPassesWithoutShift", true, 0, 0, kGrave, 1, {}, L"`"},
    {"ShiftGraveAccentTypesTilde", true, 0, kShift, kGrave, 1, Typed('~'), L"~"},
    {"KeypadSlashTypesLikeSlash", true, 0, 0, kKeypadSlash, 1, Typed(0x152D), L"\x152D"},
    {"HeldKeyIsTranslatedAtEachRepeat", true, 0, 0, kK, 3,
     Typed(0x14C4) + Typed(0x14C4) + Typed(0x14C4), L"\x14C4\x14C4\x14C4"},
    {"CapsLockOffPassesK", false, 0, 0, kK, 1, {}, L"k"},
    {"CapsLockOffPassesAltK", false, 0, kAlt, kK, 1, {}, L"k"},
    {"EchoModeResendsTheKey", true, 1, 0, kK, 1, Echoed(kK), L"K"},
    {"EchoModeWrapsAltKInLeftCtrl", true, 1, kAlt, kK, 1, CtrlWrapped(Echoed(kK)), L""},
    {"EchoModePassesTheSpaceBar", true, 1, 0, kSpace, 1, {}, L" "},
};

class KeyboardHookInputTest : public KeyboardHookTest,
                              public ::testing::WithParamInterface<InputCase> {};

TEST_P(KeyboardHookInputTest, HandsOnOrInjectsExactlyTheseEvents) {
    const InputCase& c = GetParam();
    const std::pair<unsigned, Key> modifiers[] = {
        {kShift, kLeftShift}, {kAlt, kLeftAlt}, {kCtrl, kLeftCtrl}};
    StartTranslating(c.capsLock);
    app.echoMode = c.echoMode;
    for (const auto& modifier : modifiers) {
        if (c.held & modifier.first) {
            SendKey(modifier.second, true);
        }
    }
    ClearObservations();
    for (int press = 0; press < c.presses; ++press) {
        SendKey(c.key, true);
    }
    SendKey(c.key, false);
    const std::vector<SeenEvent> seen = seenEvents;
    const std::wstring chars = receivedChars;
    for (const auto& modifier : modifiers) {
        SendKey(modifier.second, false);
    }

    const std::vector<SeenEvent> handedOn =
        c.injected.empty() ? Passed(c.key, c.held) : std::vector{Own(c.key, false, c.held)};
    EXPECT_EQ(seen, c.injected + handedOn);
    if (c.chars != nullptr) {
        EXPECT_EQ(chars, c.chars);
    }
    EXPECT_EQ(app.hookBusy, 0);
    // Nested calls leave what the outer call took up alone.
    EXPECT_EQ(app.lastKey.vkCode, c.key.vk);
    EXPECT_EQ(app.lastKey.scanCode, c.key.scan);
    EXPECT_EQ(app.modifiers.capsLock, c.capsLock ? 1 : 0);
    EXPECT_EQ(app.modifiers.shift, (c.held & kShift) != 0 ? 1 : 0);
    EXPECT_EQ(app.modifiers.alt, (c.held & kAlt) != 0 ? 1 : 0);
    EXPECT_EQ(app.modifiers.ctrl, (c.held & kCtrl) != 0 ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(Keys, KeyboardHookInputTest, ::testing::ValuesIn(kInputCases),
                         CaseName<InputCase>);

TEST_F(KeyboardHookTest, EchoModeWithCapsLockOffShowsTheReminderAndCapsLockClearsIt) {
    StartTranslating(false);
    app.echoMode = 1;
    CopyStringBounded(app.trayData.szInfo, "stale", sizeof app.trayData.szInfo);

    TapKey(kK);
    EXPECT_STREQ(app.trayData.szInfo, "Please press [CAPS LOCK] to type in Sendrith");
    EXPECT_EQ(seenEvents, Passed(kK));
    EXPECT_EQ(receivedChars, L"k");

    ClearObservations();
    TapKey(kCapsLock);
    EXPECT_STREQ(app.trayData.szInfo, "");
    EXPECT_EQ(seenEvents, Passed(kCapsLock));
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
    std::vector<SeenEvent> expected = Passed(kK);
    for (SeenEvent& e : expected) {
        e.nested = c.hookBusy != 0;
    }
    EXPECT_EQ(seenEvents, expected);
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
    const std::pair<int, WPARAM> calls[] = {
        {-1, WM_KEYDOWN}, {3, WM_SYSKEYDOWN}, {HC_ACTION, WM_KEYUP}, {HC_ACTION, WM_SYSKEYUP}};
    for (const auto& call : calls) {
        SCOPED_TRACE(::testing::Message() << "nCode " << call.first << " message " << call.second);
        ClearObservations();
        EXPECT_NE(KeyboardHookProc(call.first, call.second, reinterpret_cast<LPARAM>(&k)), -1);
        PumpMessages();
        for (const SeenEvent& e : seenEvents) {
            EXPECT_NE(e.vkCode, static_cast<DWORD>(VK_PACKET)) << "nothing may be injected";
        }
        EXPECT_EQ(receivedChars, L"");
        EXPECT_EQ(app.lastKey.vkCode, 0u);
        EXPECT_EQ(app.hookBusy, 0);
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
    EXPECT_EQ(seenEvents, std::vector{Own(kK, false)});
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
    EXPECT_EQ(seenEvents, Typed(0x14C4) + std::vector{Own(kK, false)});

    DisableTranslation();
    DisableTranslation();
    EXPECT_EQ(app.hook, nullptr);
    EXPECT_EQ(app.translationOn, 0u);
    EXPECT_FALSE(UnhookWindowsHookEx(second)) << "disabling must have removed the hook";
    ClearObservations();
    TapKey(kK);
    EXPECT_EQ(seenEvents, Passed(kK));
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
        EXPECT_EQ(seenEvents, Passed(kK));
    }

    EnableTranslation();
    EXPECT_NE(app.hook, nullptr);
    EXPECT_EQ(app.translationOn, 1u);
    EXPECT_EQ(ShownColour(trayIcon, kOnColour), kOnColour);
    ClearObservations();
    TapKey(kK);
    EXPECT_EQ(seenEvents, Typed(0x14C4) + std::vector{Own(kK, false)});

    Shell_NotifyIconA(NIM_DELETE, &app.trayData);
    DestroyIcon(app.iconOn);
    DestroyIcon(app.iconOff);
}

} // namespace
