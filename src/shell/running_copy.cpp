#include "shell/running_copy.h"

#include <windows.h>

#include <cstring>

#include "shell/app_state.h"
#include "shell/main_window.h"

namespace {

// "Local\": the session's own namespace, so that each signed-in user has a copy of their own.
char const kOnlyCopyMutex[] = "Local\\Tarnwell.Qelvaro.OnlyCopy";
DWORD const kExitWaitMs = 5000;
// Copies of older versions, which did not look for each other, may run side by side.
int const kMostCopies = 8;

HWND FindRunningCopy() {
    return FindWindowA(kMainWindowClass, kMainWindowTitle);
}

} // namespace

bool IsExitCommand(const char* commandLine) {
    commandLine += strspn(commandLine, " \t");
    size_t length = strlen(commandLine);
    while (length > 0 && (commandLine[length - 1] == ' ' || commandLine[length - 1] == '\t')) {
        --length;
    }
    return length == 5 && _strnicmp(commandLine, "/exit", 5) == 0;
}

bool ClaimOnlyCopy() {
    // Never closed: Windows releases it when the process ends, however it ends.
    HANDLE mutex = CreateMutexA(nullptr, FALSE, kOnlyCopyMutex);
    const DWORD error = GetLastError();
    // A copy running as administrator made the mutex out of this one's reach.
    return !(error == ERROR_ALREADY_EXISTS || (mutex == nullptr && error == ERROR_ACCESS_DENIED));
}

void ShowRunningCopy() {
    HWND window = FindRunningCopy();
    if (window == nullptr) {
        return;
    }
    // The newly started process may give the foreground away; the running copy may not take it.
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    AllowSetForegroundWindow(process);
    PostMessageA(window, WM_SHOWKEYBOARD, 0, 0);
}

void ExitRunningCopies() {
    for (int copy = 0; copy < kMostCopies; ++copy) {
        HWND window = FindRunningCopy();
        if (window == nullptr) {
            return;
        }
        DWORD processId = 0;
        GetWindowThreadProcessId(window, &processId);
        HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, processId);
        const bool asked = PostMessageA(window, WM_COMMAND, IDM_EXIT, 0) != 0;
        const bool ended = asked && process != nullptr &&
                           WaitForSingleObject(process, kExitWaitMs) == WAIT_OBJECT_0;
        if (process != nullptr) {
            CloseHandle(process);
        }
        // A copy that cannot be asked or does not end would only be found again.
        if (!ended) {
            return;
        }
    }
}
