#include "shell/lifetime.h"

#include <windows.h>
#include <gdiplus.h>

#include "picture/gdiplus_bitmap.h"
#include "resource.h"
#include "shell/app_state.h"
#include "translation/hook_watchdog.h"
#include "translation/keyboard_hook.h"

#include <new>

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

void ShutDown() {
    if (app.translationOn != 0) {
        DisableTranslation();
    }
    StopKeyboardWatch();
    // The bitmap must go before GDI+ does.
    delete app.keyboardImage;
    app.keyboardImage = nullptr;
    Gdiplus::GdiplusShutdown(app.gdiplusToken);
    Shell_NotifyIconA(NIM_DELETE, &app.trayData);
}
