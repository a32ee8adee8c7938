// Real key presses through the program's low-level hook under Wine: a recording hook installed
// before the program's sits behind it in the chain and sees exactly what the program hands on
// or injects into the foreground window.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <ostream>
#include <string>

#include "desktop_harness.h"
#include "translation/keyboard_hook.h"

namespace {

// Marks the test's own key events, so that the program's copy of GetMessageExtraInfo shows.
ULONG_PTR const kTestExtraInfo = 0x5155;

struct Key {
    WORD scan;
    BYTE vk; // what a US layout reports for this position
};
Key const kK{0x25, 'K'};
Key const kQ{0x10, 'Q'};
Key const kCapsLock{0x3A, VK_CAPITAL};
// Modifiers a case holds down, as bits of their index here.
Key const kModifiers[] = {{0x2A, VK_LSHIFT}, {0x38, VK_LMENU}, {0x1D, VK_LCONTROL}};
unsigned const kShift = 1, kAlt = 2, kCtrl = 4;

// What the recorder saw since it was last cleared, one word an event: * where it arrived while
// the program's hook was busy, that is from inside the program's own SendInput; + press or
// - release; the key and its scan code, or U and the character typed; # where it lacks the
// thread's extra information.
std::string seen;
HHOOK recorder;

LRESULT CALLBACK RecordingHookProc(int nCode, WPARAM wParam, LPARAM lParam) {
    const auto& key = *reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam);
    if (nCode == HC_ACTION) {
        const bool packet = key.vkCode == VK_PACKET;
        const std::string name = packet                      ? ""
                                 : key.vkCode == VK_LCONTROL ? "LCtrl"
                                 : key.vkCode == VK_CAPITAL  ? "CapsLock"
                                                             : std::string(1, char(key.vkCode));
        char code[16];
        snprintf(code, sizeof code, packet ? "U%04lX" : "/%lX", key.scanCode);
        const bool down = wParam == WM_KEYDOWN || wParam == WM_SYSKEYDOWN;
        seen += std::string(seen.empty() ? "" : " ") + (app.hookBusy != 0 ? "*" : "") +
                (down ? "+" : "-") + name + code + (key.dwExtraInfo == kTestExtraInfo ? "" : "#");
    }
    return CallNextHookEx(recorder, nCode, wParam, lParam);
}

void SendKey(const Key& key, bool down) {
    // Windows maps the scan code to its virtual key and ignores wVk here; Wine 8 does not map
    // it and takes wVk as given.
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki = {key.vk, key.scan, KEYEVENTF_SCANCODE | (down ? 0u : KEYEVENTF_KEYUP), 0,
                kTestExtraInfo};
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

class KeyboardHookTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetAppState();
        // One window for the whole process: under Wine without a window manager, hiding an
        // activated window waits two seconds for a reply that never comes.
        static const HWND target = CreateWindowExA(0, "STATIC", "", WS_POPUP, 200, 200, 200, 100,
                                                   nullptr, nullptr, nullptr, nullptr);
        app.mainWindow = target;
        ShowWindow(target, SW_SHOW);
        SetForegroundWindow(target);
        PumpMessages();
        ASSERT_EQ(GetForegroundWindow(), target);
        capsLockWas = CapsLockIsOn();
        recorder =
            SetWindowsHookExA(WH_KEYBOARD_LL, RecordingHookProc, GetModuleHandleA(nullptr), 0);
        ASSERT_NE(recorder, nullptr);
        // The thread's last message now carries the test's extra information.
        TapKey(kModifiers[0]);
    }

    void TearDown() override {
        if (app.hook != nullptr) {
            DisableTranslation();
        }
        for (const Key& modifier : kModifiers) {
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
        seen.clear();
    }

    bool capsLockWas = false;
};

// K pressed and released while modifiers are held, Caps Lock on unless the case says otherwise.
// Whatever the program injects in place of the press, the release passes.
enum class Mode { Translate, CapsLockOff, Echo, Busy, Off };
struct InputCase {
    const char* name;
    Mode mode;
    unsigned held;
    Key key;
    const char* seen;
};
void PrintTo(const InputCase& c, std::ostream* out) {
    *out << c.name;
}

const InputCase kInputCases[] = {
    {"PlainK", Mode::Translate, 0, kK, "*+U14C4 *-U14C4 -K/25"},
    {"AltKIsWrappedInLeftCtrl", Mode::Translate, kAlt, kK,
     "*+LCtrl/0 *+U14C5 *-U14C5 *-LCtrl/0 -K/25"},
    {"ShiftAltQIsWrappedInLeftCtrl", Mode::Translate, kShift | kAlt, kQ,
     "*+LCtrl/0 *+U148C *-U148C *-LCtrl/0 -Q/10"},
    {"CtrlAltKNeedsNoWrap", Mode::Translate, kCtrl | kAlt, kK, "*+U14C5 *-U14C5 -K/25"},
    {"CapsLockOffPassesK", Mode::CapsLockOff, 0, kK, "+K/25 -K/25"},
    // Echoed keys go through keybd_event, without the extra information.
    {"EchoModeResendsTheKey", Mode::Echo, 0, kK, "*+K/25# *-K/25# -K/25"},
    {"EchoModeWrapsAltKInLeftCtrl", Mode::Echo, kAlt, kK,
     "*+LCtrl/0 *+K/25# *-K/25# *-LCtrl/0 -K/25"},
    // Busy: the key is one of the program's own injections, nested inside its SendInput.
    {"BusyPassesK", Mode::Busy, 0, kK, "*+K/25 *-K/25"},
    {"TranslationOffPassesK", Mode::Off, 0, kK, "+K/25 -K/25"},
};

class KeyboardHookInputTest : public KeyboardHookTest,
                              public ::testing::WithParamInterface<InputCase> {};

TEST_P(KeyboardHookInputTest, HandsOnOrInjectsExactlyTheseEvents) {
    const InputCase& c = GetParam();
    StartTranslating(c.mode != Mode::CapsLockOff);
    app.echoMode = c.mode == Mode::Echo ? 1 : 0;
    app.hookBusy = c.mode == Mode::Busy ? 1 : 0;
    app.translationOn = c.mode == Mode::Off ? 0 : 1;
    for (unsigned bit = 0; bit < 3; ++bit) {
        if ((c.held & 1u << bit) != 0) {
            SendKey(kModifiers[bit], true);
        }
    }
    seen.clear();
    TapKey(c.key);
    EXPECT_EQ(seen, c.seen);
    EXPECT_EQ(app.hookBusy, c.mode == Mode::Busy ? 1 : 0);
    // Nested calls must leave the event the outer call took up alone.
    const bool takenUp = c.mode != Mode::Busy && c.mode != Mode::Off;
    EXPECT_EQ(app.lastKey.vkCode, takenUp ? c.key.vk : 0u);
    app.hookBusy = 0;
}

INSTANTIATE_TEST_SUITE_P(Keys, KeyboardHookInputTest, ::testing::ValuesIn(kInputCases),
                         [](const ::testing::TestParamInfo<InputCase>& tested) {
                             return std::string(tested.param.name);
                         });

TEST_F(KeyboardHookTest, EchoModeWithCapsLockOffShowsTheReminderAndCapsLockClearsIt) {
    StartTranslating(false);
    app.echoMode = 1;
    TapKey(kK);
    EXPECT_STREQ(app.trayData.szInfo, "Please press [CAPS LOCK] to type in Sendrith");
    TapKey(kCapsLock);
    EXPECT_STREQ(app.trayData.szInfo, "");
    EXPECT_EQ(seen, "+K/25 -K/25 +CapsLock/3A -CapsLock/3A");
    EXPECT_TRUE(CapsLockIsOn()) << "the Caps Lock press must still toggle";
}

TEST_F(KeyboardHookTest, WithoutAForegroundWindowNothingIsInjectedAndTheKeyIsStillSwallowed) {
    StartTranslating(true);
    ShowWindow(app.mainWindow, SW_HIDE);
    PumpMessages();
    ASSERT_EQ(GetForegroundWindow(), nullptr);
    SendUnicodeChar(0x14C2);
    EchoVirtualKey('K');
    EXPECT_EQ(SendVirtualKeyEvent(VK_LCONTROL, 1), 0u);
    TapKey(kK);
    EXPECT_EQ(seen, "-K/25");
}

TEST_F(KeyboardHookTest, EnablingDisablingAndEnablingAgainLeavesOneHook) {
    StartTranslating(true);
    const HHOOK first = app.hook;
    DisableTranslation();
    EnableTranslation();
    const HHOOK second = app.hook;
    TapKey(kK);
    EXPECT_EQ(seen, "*+U14C4 *-U14C4 -K/25");
    DisableTranslation();
    DisableTranslation();
    EXPECT_EQ(app.hook, nullptr);
    EXPECT_FALSE(UnhookWindowsHookEx(first)) << "disabling must have removed the first hook";
    EXPECT_FALSE(UnhookWindowsHookEx(second)) << "disabling must have removed the second hook";
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
    const TestTrayIcon icon; // showing "on", so that the refusal has to change the picture
    ASSERT_NE(icon.shown, nullptr);
    SetCapsLock(true);
    // From start-up with "State" on, and from the "Enabled" command with translation off.
    for (const DWORD before : {1u, 0u}) {
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
        EXPECT_EQ(ShownColour(icon.shown, kOffColour), kOffColour);
        seen.clear();
        TapKey(kK);
        EXPECT_EQ(seen, "+K/25 -K/25");
    }
    EnableTranslation();
    EXPECT_EQ(ShownColour(icon.shown, kOnColour), kOnColour);
    seen.clear();
    TapKey(kK);
    EXPECT_EQ(seen, "*+U14C4 *-U14C4 -K/25");
}

} // namespace
