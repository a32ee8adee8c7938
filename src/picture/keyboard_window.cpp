#include "picture/keyboard_window.h"

#include "picture/gdiplus_bitmap.h"
#include "picture/minimum_size.h"
#include "shell/app_state.h"

using namespace Gdiplus;

void ShowKeyboardWindow() {
    app.viewKeyboard = 1;
    // The z-order is set first, so a hidden window appears already in its final place.
    HWND after = app.alwaysOnTop != 0 ? HWND_TOPMOST : HWND_NOTOPMOST;
    SetWindowPos(app.mainWindow, after, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    SetForegroundWindow(app.mainWindow);
    // SW_RESTORE rather than SW_SHOW: a window hidden while maximized comes back at normal size.
    ShowWindow(app.mainWindow, SW_RESTORE);
    UpdateWindow(app.mainWindow);
}

void HideKeyboardWindow() {
    app.viewKeyboard = 0;
    ShowWindow(app.mainWindow, SW_HIDE);
}

void PaintKeyboardWindow(HWND window) {
    // Stretching the picture takes many frames' time on a large window: it runs at normal
    // priority, not at the hook's, so that other programs keep their share meanwhile.
    HANDLE const thread = GetCurrentThread();
    const int priority = GetThreadPriority(thread);
    SetThreadPriority(thread, THREAD_PRIORITY_NORMAL);
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    GpGraphics* graphics = nullptr;
    DllExports::GdipCreateFromHDC(dc, &graphics);
    if (app.keyboardImage != nullptr) {
        RECT client;
        GetClientRect(window, &client);
        // A holder without a bitmap passes a null image, which draws nothing: the white class
        // brush shows instead.
        DllExports::GdipDrawImageRectI(graphics, HeldImage(app.keyboardImage), 0, 0,
                                       client.right - client.left, client.bottom - client.top);
    }
    EndPaint(window, &paint);
    DllExports::GdipDeleteGraphics(graphics);
    SetThreadPriority(thread, priority);
}

void RepaintAfterSize(HWND window, WPARAM sizeType) {
    // The class has no CS_HREDRAW/CS_VREDRAW, so a stretched picture needs an explicit repaint.
    if (sizeType == SIZE_RESTORED || sizeType == SIZE_MAXIMIZED) {
        InvalidateRect(window, nullptr, TRUE);
    }
}

void EnforceMinimumSize(HWND window, WPARAM edge, RECT* proposed) {
    // A drag that proposes the same rectangle again costs nothing.
    if (EqualRect(proposed, &app.lastSizingRect)) {
        return;
    }
    app.lastSizingRect = *proposed;
    const SizingRect adjusted =
        ApplyMinimumSize(static_cast<uint32_t>(edge),
                         {proposed->left, proposed->top, proposed->right, proposed->bottom});
    *proposed = RECT{adjusted.left, adjusted.top, adjusted.right, adjusted.bottom};
    SetWindowPos(window, nullptr, proposed->left, proposed->top, proposed->right - proposed->left,
                 proposed->bottom - proposed->top, 0);
    InvalidateRect(window, nullptr, TRUE);
}

void HideOnMinimize(WPARAM command) {
    if (command == SC_MINIMIZE) {
        HideKeyboardWindow();
    }
}
