// The Help dialog run modally from the program's own template, driven from inside its loop.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "picture/help_dialog.h"
#include "resource.h"

namespace {

std::function<void(HWND)> action;
HWND shownDialog = nullptr;
INT_PTR const kStillOpen = 99;

BOOL CALLBACK FindHelp(HWND window, LPARAM found) {
    char className[16] = {};
    char title[16] = {};
    GetClassNameA(window, className, sizeof className);
    GetWindowTextA(window, title, sizeof title);
    if (std::string(className) == "#32770" && std::string(title) == "Help") {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    return TRUE;
}

// A dialog that the action did not close is ended with a value no button gives, so a failing
// test reports instead of hanging.
void CALLBACK GiveUp(HWND, UINT, UINT_PTR timer, DWORD) {
    KillTimer(nullptr, timer);
    if (IsWindow(shownDialog)) {
        EndDialog(shownDialog, kStillOpen);
    }
}

void CALLBACK Act(HWND, UINT, UINT_PTR timer, DWORD) {
    HWND dialog = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), FindHelp, reinterpret_cast<LPARAM>(&dialog));
    if (dialog == nullptr || !IsWindowVisible(dialog)) {
        return; // not up yet; the timer fires again
    }
    KillTimer(nullptr, timer);
    shownDialog = dialog;
    SetTimer(nullptr, 0, 3000, GiveUp);
    action(dialog);
}

INT_PTR RunHelp(std::function<void(HWND)> act) {
    action = std::move(act);
    shownDialog = nullptr;
    HWND owner = CreateWindowExA(0, "STATIC", "owner", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200, nullptr,
                                 nullptr, GetModuleHandleA(nullptr), nullptr);
    SetTimer(nullptr, 0, 20, Act);
    const INT_PTR result = DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_HELP),
                                           owner, HelpDlgProc, 0);
    DestroyWindow(owner);
    return result;
}

TEST(HelpDialog, EveryWayOfClosingEndsIt) {
    struct Case {
        const char* what;
        void (*close)(HWND);
        INT_PTR result;
    };
    const Case cases[] = {
        {"OK button", [](HWND d) { SendMessageA(GetDlgItem(d, IDOK), BM_CLICK, 0, 0); }, IDOK},
        {"Enter key",
         [](HWND d) {
             PostMessageA(GetFocus(), WM_KEYDOWN, VK_RETURN, 0x1C0001);
             (void)d;
         },
         IDOK},
        {"Esc key",
         [](HWND d) {
             PostMessageA(GetFocus(), WM_KEYDOWN, VK_ESCAPE, 0x10001);
             (void)d;
         },
         IDCANCEL},
        {"close box", [](HWND d) { PostMessageA(d, WM_SYSCOMMAND, SC_CLOSE, 0); }, IDCANCEL},
        {"IDOK command", [](HWND d) { PostMessageA(d, WM_COMMAND, IDOK, 0); }, IDOK},
        {"IDCANCEL command", [](HWND d) { PostMessageA(d, WM_COMMAND, IDCANCEL, 0); }, IDCANCEL},
        {"IDOK from an accelerator",
         [](HWND d) { PostMessageA(d, WM_COMMAND, MAKEWPARAM(IDOK, 1), 0); }, IDOK},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(RunHelp(c.close), c.result);
    }
}

TEST(HelpDialog, OtherCommandsLeaveItOpen) {
    bool stayedOpen = false;
    const INT_PTR result = RunHelp([&stayedOpen](HWND dialog) {
        for (WPARAM command : {WPARAM{0}, WPARAM{3}, WPARAM{IDC_HELP_ICON}, WPARAM{0xFFFF},
                               MAKEWPARAM(7, BN_CLICKED), WPARAM{0x10000}}) {
            SendMessageA(dialog, WM_COMMAND, command, 0);
        }
        stayedOpen = IsWindow(dialog) && IsWindowVisible(dialog);
        SendMessageA(dialog, WM_COMMAND, IDOK, 0);
    });
    EXPECT_TRUE(stayedOpen);
    EXPECT_EQ(result, IDOK);
}

TEST(HelpDialog, OpensWithTheFocusOnOk) {
    bool focusOnOk = false;
    std::string noticeText;
    RunHelp([&](HWND dialog) {
        focusOnOk = GetFocus() == GetDlgItem(dialog, IDOK);
        EndDialog(dialog, IDOK);
    });
    EXPECT_TRUE(focusOnOk);
}

TEST(HelpDialog, LeavesEveryOtherMessageToTheDialogManager) {
    struct Case {
        UINT message;
        WPARAM wParam;
        INT_PTR result;
    };
    const Case cases[] = {{WM_INITDIALOG, 0, TRUE}, {WM_PAINT, 0, FALSE},
                          {WM_CLOSE, 0, FALSE},     {WM_COMMAND, 5, FALSE},
                          {WM_TIMER, IDOK, FALSE},  {WM_NOTIFY, IDOK, FALSE}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        EXPECT_EQ(HelpDlgProc(nullptr, c.message, c.wParam, 0), c.result);
    }
}

} // namespace
