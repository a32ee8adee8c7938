#include <windows.h>

#include "shell/app_state.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    app.instance = instance;
    return 0;
}
