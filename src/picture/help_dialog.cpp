#include "picture/help_dialog.h"

INT_PTR CALLBACK HelpDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) {
        // TRUE lets the dialog manager focus the first tab stop, the OK button.
        return TRUE;
    }
    if (message != WM_COMMAND) {
        return FALSE;
    }
    const WORD command = LOWORD(wParam);
    if (command != IDOK && command != IDCANCEL) {
        return FALSE;
    }
    EndDialog(dialog, command);
    return TRUE;
}
