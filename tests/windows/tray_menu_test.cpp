// The tray menu as it is built for each click: its items, their check marks, and what the window
// procedure answers for the icon's mouse messages.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "shell/app_state.h"
#include "shell/main_window.h"
#include "shell/tray_menu.h"

namespace {

struct MenuItem {
    UINT id;
    std::string text;
    bool checked;
    bool separator;
};

std::vector<MenuItem> shownItems;

std::vector<MenuItem> ReadMenu(HMENU menu) {
    std::vector<MenuItem> items;
    const int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        char text[64] = {};
        MENUITEMINFOA info{};
        info.cbSize = sizeof info;
        info.fMask = MIIM_ID | MIIM_STATE | MIIM_FTYPE | MIIM_STRING;
        info.dwTypeData = text;
        info.cch = sizeof text;
        GetMenuItemInfoA(menu, static_cast<UINT>(i), TRUE, &info);
        items.push_back({info.wID, text, (info.fState & MFS_CHECKED) != 0,
                         (info.fType & MFT_SEPARATOR) != 0});
    }
    return items;
}

// Runs inside the menu's modal loop: reads the menu as shown, then closes it.
void CALLBACK ReadShownMenu(HWND, UINT, UINT_PTR timer, DWORD) {
    KillTimer(nullptr, timer);
    shownItems = ReadMenu(app.trayMenu);
    EndMenu();
}

class TrayMenuTest : public ::testing::Test {
  protected:
    void SetUp() override {
        app = AppState{};
        app.instance = GetModuleHandleA(nullptr);
        static const bool registered = RegisterMainWindowClass();
        ASSERT_TRUE(registered);
        ASSERT_TRUE(CreateMainWindow());
    }
    void TearDown() override {
        DestroyWindow(app.mainWindow);
        if (app.trayMenu != nullptr) {
            DestroyMenu(app.trayMenu);
        }
    }
    // Opens the menu the way the shell's button-down message does and returns what it showed.
    static std::vector<MenuItem> OpenMenu(UINT mouseMessage, LRESULT* result = nullptr) {
        shownItems.clear();
        SetTimer(nullptr, 0, 50, ReadShownMenu);
        const LRESULT answer = SendMessageA(app.mainWindow, WM_TRAYNOTIFY, ID_TRAY_ICON,
                                            static_cast<LPARAM>(mouseMessage));
        if (result != nullptr) {
            *result = answer;
        }
        return shownItems;
    }
};

TEST_F(TrayMenuTest, ItemsAndCheckMarksFollowTheState) {
    HHOOK someHook = reinterpret_cast<HHOOK>(1);
    struct Case {
        const char* what;
        HHOOK hook;
        int32_t echoMode;
        DWORD viewKeyboard, alwaysOnTop;
        bool disabled, enabled;
    };
    const Case cases[] = {
        {"off", nullptr, 0, 0, 0, true, false},
        {"on", someHook, 0, 1, 0, false, true},
        {"echo mode", someHook, 1, 0, 2, false, false},
        // translationOn is 1 after a refused installation, yet the menu tells the truth.
        {"no hook", nullptr, 1, 7, 1, true, false},
    };
    for (const Case& c : cases) {
        app.hook = c.hook;
        app.translationOn = 1;
        app.echoMode = c.echoMode;
        app.viewKeyboard = c.viewKeyboard;
        app.alwaysOnTop = c.alwaysOnTop;
        LRESULT result = 0;
        const std::vector<MenuItem> items = OpenMenu(WM_RBUTTONDOWN, &result);
        app.hook = nullptr;
        EXPECT_EQ(result, 1) << c.what;
        ASSERT_EQ(items.size(), 8u) << c.what;
        const std::vector<MenuItem> expected = {
            {400, "&Disabled", c.disabled, false},
            {401, "&Enabled", c.enabled, false},
            {499, "", false, true},
            {410, "View &Keyboard", c.viewKeyboard != 0, false},
            {411, "Keyboard Always on &Top", c.alwaysOnTop != 0, false},
            {499, "", false, true},
            {420, "&Help", false, false},
            {430, "E&xit", false, false},
        };
        for (size_t i = 0; i < items.size(); ++i) {
            EXPECT_EQ(items[i].id, expected[i].id) << c.what << " item " << i;
            EXPECT_EQ(items[i].text, expected[i].text) << c.what << " item " << i;
            EXPECT_EQ(items[i].checked, expected[i].checked) << c.what << " item " << i;
            EXPECT_EQ(items[i].separator, expected[i].separator) << c.what << " item " << i;
        }
    }
}

TEST_F(TrayMenuTest, OnlyButtonPressesOpenTheMenu) {
    LRESULT result = 0;
    EXPECT_EQ(OpenMenu(WM_LBUTTONDOWN, &result).size(), 8u);
    EXPECT_EQ(result, 1);
    for (UINT mouse : {WM_LBUTTONUP, WM_RBUTTONUP, WM_LBUTTONDBLCLK, WM_MOUSEMOVE}) {
        EXPECT_TRUE(OpenMenu(mouse, &result).empty()) << "mouse message " << mouse;
        EXPECT_EQ(result, 0) << "default processing answers 0";
    }
}

TEST_F(TrayMenuTest, EachClickBuildsANewMenuAndReleasesTheLast) {
    OpenMenu(WM_RBUTTONDOWN);
    HMENU first = app.trayMenu;
    OpenMenu(WM_RBUTTONDOWN);
    EXPECT_NE(app.trayMenu, nullptr);
    EXPECT_NE(app.trayMenu, first);
    EXPECT_FALSE(IsMenu(first)) << "the previous menu is destroyed";
}

} // namespace
