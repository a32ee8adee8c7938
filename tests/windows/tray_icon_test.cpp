// The tray record and what Wine's shell shows for it: with no notification area on the X display,
// Wine puts the icons in a window of its own, where the picture can be read back pixel by pixel.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <vector>

#include "desktop_harness.h"
#include "shell/tray_icon.h"
#include "translation/keyboard_hook.h"

namespace {

UINT const kTrayFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;

// A balloon is a tooltip window of the process that owns the tray.
bool BalloonShown() {
    DWORD trayProcess = 0;
    GetWindowThreadProcessId(StandaloneTray(), &trayProcess);
    for (HWND tip = FindWindowExA(nullptr, nullptr, "tooltips_class32", nullptr); tip != nullptr;
         tip = FindWindowExA(nullptr, tip, "tooltips_class32", nullptr)) {
        DWORD process = 0;
        GetWindowThreadProcessId(tip, &process);
        if (process == trayProcess && IsWindowVisible(tip)) {
            return true;
        }
    }
    return false;
}

// The shell shows and takes down balloons on its own schedule.
bool BalloonBecomes(bool shown) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        PumpMessages();
        if (BalloonShown() == shown) {
            return true;
        }
        Sleep(50);
    }
    return false;
}

class TrayIconTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetAppState();
        // Never shown: only the shell's callbacks go to it.
        app.mainWindow = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                         nullptr, nullptr);
        app.iconOn = CreateSolidIcon(kOnColour);
        app.iconOff = CreateSolidIcon(kOffColour);
        otherIcons = TrayIconWindows();
    }

    void TearDown() override {
        if (app.hook != nullptr) {
            DisableTranslation();
        }
        Shell_NotifyIconA(NIM_DELETE, &app.trayData);
        DestroyWindow(app.mainWindow);
        DestroyIcon(app.iconOn);
        DestroyIcon(app.iconOff);
    }

    HWND AddOurIcon() {
        AddTrayIcon();
        return NewTrayIconWindow(otherIcons);
    }

    std::vector<HWND> otherIcons;
};

class TrayIconAddTest : public TrayIconTest, public ::testing::WithParamInterface<DWORD> {};

TEST_P(TrayIconAddTest, FillsTheRecordAndShowsThePictureOfTheLoadedState) {
    app.translationOn = GetParam();
    const HWND shown = AddOurIcon();
    const NOTIFYICONDATAA& record = app.trayData;

    // The version-2 layout ends with dwInfoFlags: no GUID, no balloon icon.
    EXPECT_EQ(record.cbSize, offsetof(NOTIFYICONDATAA, dwInfoFlags) + sizeof(DWORD));
    EXPECT_EQ(record.hWnd, app.mainWindow);
    EXPECT_EQ(record.uID, 202u);
    EXPECT_EQ(record.uFlags, 7u);
    EXPECT_EQ(record.uCallbackMessage, 1025u);
    EXPECT_STREQ(record.szTip, "Qelvaro");
    EXPECT_STREQ(record.szInfo, "");
    EXPECT_STREQ(record.szInfoTitle, "");
    EXPECT_EQ(record.uTimeout, 0u);
    EXPECT_EQ(record.dwInfoFlags, 0u);
    EXPECT_EQ(record.dwState, 0u);
    EXPECT_EQ(record.dwStateMask, 0u);

    const bool on = GetParam() != 0;
    EXPECT_EQ(record.hIcon, on ? app.iconOn : app.iconOff);
    ASSERT_NE(shown, nullptr) << "the shell shows no new icon";
    const COLORREF expected = on ? kOnColour : kOffColour;
    EXPECT_EQ(ShownColour(shown, expected), expected);
    NOTIFYICONDATAA copy = record;
    EXPECT_TRUE(Shell_NotifyIconA(NIM_MODIFY, &copy)) << "the shell must know the icon";
}

// "State" as loaded: any nonzero value counts as on.
INSTANTIATE_TEST_SUITE_P(LoadedState, TrayIconAddTest, ::testing::Values(1u, 0u, 2u));

TEST_F(TrayIconTest, PictureFollowsEachSwitchOfTranslation) {
    const HWND shown = AddOurIcon();
    ASSERT_NE(shown, nullptr);
    for (bool on : {false, true, false, true}) {
        SCOPED_TRACE(on ? "enabled" : "disabled");
        if (on) {
            EnableTranslation();
        } else {
            DisableTranslation();
        }
        EXPECT_EQ(app.trayData.hIcon, on ? app.iconOn : app.iconOff);
        const COLORREF expected = on ? kOnColour : kOffColour;
        EXPECT_EQ(ShownColour(shown, expected), expected);
        EXPECT_STREQ(app.trayData.szTip, "Qelvaro");
        EXPECT_EQ(app.trayData.uFlags, kTrayFlags);
    }
}

TEST_F(TrayIconTest, RefreshTrayIconChangesOnlyTheRecord) {
    const HWND shown = AddOurIcon();
    ASSERT_NE(shown, nullptr);
    app.translationOn = 0;
    RefreshTrayIcon();
    EXPECT_EQ(app.trayData.hIcon, app.iconOff);
    EXPECT_EQ(ShownColour(shown, kOffColour), kOnColour) << "the shell was told";

    Shell_NotifyIconA(NIM_MODIFY, &app.trayData);
    EXPECT_EQ(ShownColour(shown, kOffColour), kOffColour);
}

TEST_F(TrayIconTest, SwitchingTranslationNeverAddsTheIcon) {
    ASSERT_NE(AddOurIcon(), nullptr);
    Shell_NotifyIconA(NIM_DELETE, &app.trayData);
    PumpMessages();
    EXPECT_EQ(NewTrayIconWindow(otherIcons), nullptr);

    DisableTranslation();
    EnableTranslation();
    PumpMessages();
    EXPECT_EQ(NewTrayIconWindow(otherIcons), nullptr);
    EXPECT_FALSE(Shell_NotifyIconA(NIM_DELETE, &app.trayData)) << "nothing left to remove";
}

TEST_F(TrayIconTest, BalloonTextIsCutTo255Characters) {
    ASSERT_NE(AddOurIcon(), nullptr);
    for (size_t length : {0u, 1u, 254u, 255u, 256u, 300u}) {
        SCOPED_TRACE(::testing::Message() << "text of " << length);
        std::string text;
        for (size_t i = 0; i < length; ++i) {
            text += static_cast<char>('a' + i % 26);
        }
        EXPECT_EQ(ShowTrayBalloon(app.trayData, text.c_str()), 0);
        EXPECT_EQ(std::string(app.trayData.szInfo), text.substr(0, 255));
        EXPECT_EQ(app.trayData.uFlags, kTrayFlags) << "the balloon flag must not stay";
        EXPECT_EQ(app.trayData.uTimeout, 1000u);
    }
}

TEST_F(TrayIconTest, BalloonShowsAndAnEmptyTextTakesItDown) {
    ASSERT_NE(AddOurIcon(), nullptr);
    ASSERT_TRUE(BalloonBecomes(false));
    EXPECT_EQ(ShowTrayBalloon(app.trayData, ""), 0);
    Sleep(300);
    EXPECT_FALSE(BalloonShown()) << "an empty text while no balloon shows must show nothing";

    EXPECT_EQ(ShowTrayBalloon(app.trayData, "Please press [CAPS LOCK] to type in Sendrith"), 0);
    EXPECT_TRUE(BalloonBecomes(true));
    EXPECT_EQ(ShowTrayBalloon(app.trayData, ""), 0);
    EXPECT_TRUE(BalloonBecomes(false));
}

TEST_F(TrayIconTest, BalloonOnAnIconTheShellDoesNotKnowFails) {
    ASSERT_NE(AddOurIcon(), nullptr);
    NOTIFYICONDATAA stranger = app.trayData;
    stranger.uID = 999;
    EXPECT_EQ(ShowTrayBalloon(stranger, "text"), -1);
    EXPECT_EQ(stranger.uFlags, kTrayFlags);
    EXPECT_STREQ(stranger.szInfo, "text");

    Shell_NotifyIconA(NIM_DELETE, &app.trayData);
    EXPECT_EQ(ShowTrayBalloon(app.trayData, "text"), -1);
}

} // namespace
