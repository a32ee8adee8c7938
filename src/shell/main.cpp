#include <windows.h>
#include <gdiplus.h>

#include "picture/gdiplus_bitmap.h"
#include "picture/keyboard_window.h"
#include "resource.h"
#include "shell/app_state.h"
#include "shell/main_window.h"
#include "shell/settings.h"
#include "shell/tray_icon.h"
#include "translation/keyboard_hook.h"
#include "translation/layout.h"

#include <new>

namespace {

void LoadKeyboardImage() {
    Gdiplus::GdiplusStartupInput input; // version 1, no callback, background thread, codecs
    Gdiplus::GdiplusStartup(&app.gdiplusToken, &input, nullptr);
    app.keyboardImage = new (std::nothrow) CGdiPlusBitmapResource();
    if (app.keyboardImage == nullptr) {
        return;
    }
    // A failed load leaves the holder empty and the window white; nothing else depends on it.
    app.keyboardImage->LoadFromResource(IDR_KEYBOARD_IMAGE, "PNG", nullptr);
}

WPARAM RunMessageLoop() {
    MSG message{};
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return message.wParam;
}

void ShutDown() {
    if (app.translationOn != 0) {
        DisableTranslation();
    }
    // The bitmap must go before GDI+ does.
    delete app.keyboardImage;
    app.keyboardImage = nullptr;
    Gdiplus::GdiplusShutdown(app.gdiplusToken);
    Shell_NotifyIconA(NIM_DELETE, &app.trayData);
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previousInstance, LPSTR, int) {
    app.instance = instance;
    LoadSettings();
    BuildLayout(app.LayoutTable);
    if (previousInstance == nullptr && !RegisterMainWindowClass()) {
        return 0;
    }
    if (!CreateMainWindow()) {
        return 0;
    }
    app.iconOn = LoadIconA(instance, MAKEINTRESOURCEA(IDI_TRAY_ON));
    app.iconOff = LoadIconA(instance, MAKEINTRESOURCEA(IDI_TRAY_OFF));
    AddTrayIcon();
    LoadKeyboardImage();
    if (app.translationOn != 0) {
        EnableTranslation();
    }
    if (app.viewKeyboard != 0) {
        ShowKeyboardWindow();
    }
    const WPARAM result = RunMessageLoop();
    ShutDown();
    return static_cast<int>(result);
}
