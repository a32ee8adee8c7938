// The Help dialog run modally from the program's own template, driven from inside its loop.
#include <windows.h>

#include <gtest/gtest.h>

#include "picture/help_dialog.h"
#include "resource.h"

namespace {

void (*action)(HWND);
UINT_PTR giveUp = 0;
INT_PTR const kStillOpen = 99;

// A dialog the action left open is ended with a value no button gives, so the test reports
// instead of hanging.
void CALLBACK GiveUp(HWND, UINT, UINT_PTR, DWORD) {
    EndDialog(FindWindowA("#32770", "Help"), kStillOpen);
}

// Runs once the dialog is up: timers fire only in its modal loop.
void CALLBACK Act(HWND, UINT, UINT_PTR timer, DWORD) {
    KillTimer(nullptr, timer);
    giveUp = SetTimer(nullptr, 0, 1000, GiveUp);
    action(FindWindowA("#32770", "Help"));
}

TEST(HelpDialog, EndsOnOkOrCancelAndStaysOpenOtherwise) {
    struct Case {
        const char* what;
        void (*act)(HWND);
        INT_PTR result;
    };
    const Case cases[] = {
        {"OK button", [](HWND d) { SendMessageA(GetDlgItem(d, IDOK), BM_CLICK, 0, 0); }, IDOK},
        // The keys go where the focus is: on OK, as the dialog opens.
        {"Enter key", [](HWND) { PostMessageA(GetFocus(), WM_KEYDOWN, VK_RETURN, 0x1C0001); },
         IDOK},
        {"close box", [](HWND d) { PostMessageA(d, WM_SYSCOMMAND, SC_CLOSE, 0); }, IDCANCEL},
        {"IDOK from an accelerator",
         [](HWND d) { PostMessageA(d, WM_COMMAND, MAKEWPARAM(IDOK, 1), 0); }, IDOK},
        {"other commands",
         [](HWND d) {
             for (WPARAM command : {WPARAM{0}, WPARAM{3}, WPARAM{IDC_HELP_ICON}, WPARAM{0xFFFF},
                                    MAKEWPARAM(7, BN_CLICKED), MAKEWPARAM(0, 1)}) {
                 SendMessageA(d, WM_COMMAND, command, 0);
             }
         },
         kStillOpen},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        action = c.act;
        SetTimer(nullptr, 0, 0, Act);
        EXPECT_EQ(DialogBoxParamA(nullptr, MAKEINTRESOURCEA(IDD_HELP), nullptr, HelpDlgProc, 0),
                  c.result);
        KillTimer(nullptr, giveUp);
    }
}

} // namespace
