// The program's tray icon as Wine's shell shows it: with no notification area on the X display,
// Wine puts the icons in a window of its own, where the picture can be read back pixel by pixel.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstddef>
#include <string>

#include "desktop_harness.h"
#include "translation/keyboard_hook.h"

namespace {

// A balloon is a tooltip window of the shell, which shows and takes it down on its own schedule.
bool BalloonBecomes(bool shown) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        PumpMessages();
        bool any = false;
        for (HWND tip = FindWindowExA(nullptr, nullptr, "tooltips_class32", nullptr);
             tip != nullptr; tip = FindWindowExA(nullptr, tip, "tooltips_class32", nullptr)) {
            any = any || IsWindowVisible(tip);
        }
        if (any == shown) {
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
    }
    void TearDown() override {
        if (app.hook != nullptr) {
            DisableTranslation();
        }
        DestroyWindow(app.mainWindow);
    }
};

// "State" as loaded: any nonzero value counts as on.
TEST_F(TrayIconTest, PictureFollowsTheLoadedStateAndEachSwitch) {
    app.translationOn = 2;
    const TestTrayIcon icon;
    ASSERT_NE(icon.shown, nullptr) << "the shell shows no new icon";
    EXPECT_EQ(ShownColour(icon.shown, kOnColour), kOnColour);
    DisableTranslation();
    EXPECT_EQ(ShownColour(icon.shown, kOffColour), kOffColour);
    EnableTranslation();
    EXPECT_EQ(ShownColour(icon.shown, kOnColour), kOnColour);
}

TEST_F(TrayIconTest, BalloonShowsTextCutTo255CharactersAndEmptyTextTakesItDown) {
    const TestTrayIcon icon;
    ASSERT_NE(icon.shown, nullptr);
    ASSERT_TRUE(BalloonBecomes(false));
    const UINT flags = app.trayData.uFlags;
    for (const size_t length : {255u, 256u, 0u}) {
        SCOPED_TRACE(::testing::Message() << "text of " << length);
        std::string text;
        for (size_t i = 0; i < length; ++i) {
            text += static_cast<char>('a' + (i + length) % 26);
        }
        EXPECT_EQ(ShowTrayBalloon(app.trayData, text.c_str()), 0);
        EXPECT_EQ(std::string(app.trayData.szInfo), text.substr(0, 255));
        EXPECT_EQ(app.trayData.uFlags, flags) << "later picture updates must not bring it back";
        EXPECT_TRUE(BalloonBecomes(length != 0));
    }
    Shell_NotifyIconA(NIM_DELETE, &app.trayData);
    EXPECT_EQ(ShowTrayBalloon(app.trayData, "text"), -1) << "the shell no longer knows the icon";
}

} // namespace
