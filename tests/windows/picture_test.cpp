// The layout picture from resource to screen: the loader, painting and shutdown, with the calls
// that take and release memory and GDI+ objects watched through this program's import table.
#include "harness.h"

#include <gdiplus.h>

#include "picture/gdiplus_bitmap.h"
#include "picture/keyboard_window.h"
#include "shell/app_state.h"
#include "shell/lifetime.h"

using namespace Gdiplus;
using namespace Gdiplus::DllExports;

namespace {

std::string calls;

// Each watcher forwards to the real function after noting its name.
#define WATCHER(dll, result, name, parameters, arguments)                                          \
    decltype(&name) real##name;                                                                    \
    result WINAPI Watch##name parameters {                                                         \
        calls += " " #name;                                                                        \
        return real##name arguments;                                                               \
    }                                                                                              \
    bool const watching##name = (Watch(dll, #name, real##name, Watch##name), true);
WATCHER("kernel32.dll", HGLOBAL, GlobalAlloc, (UINT flags, SIZE_T bytes), (flags, bytes))
WATCHER("kernel32.dll", HGLOBAL, GlobalFree, (HGLOBAL block), (block))
WATCHER("user32.dll", HDC, BeginPaint, (HWND window, PAINTSTRUCT* paint), (window, paint))
WATCHER("user32.dll", BOOL, EndPaint, (HWND window, const PAINTSTRUCT* paint), (window, paint))
WATCHER("gdiplus.dll", GpStatus, GdipDisposeImage, (GpImage * image), (image))
WATCHER("gdiplus.dll", void, GdipFree, (void* memory), (memory))
WATCHER("gdiplus.dll", void, GdiplusShutdown, (ULONG_PTR token), (token))
WATCHER("gdiplus.dll", GpStatus, GdipCreateFromHDC, (HDC dc, GpGraphics** graphics), (dc, graphics))
WATCHER("gdiplus.dll", GpStatus, GdipDeleteGraphics, (GpGraphics * graphics), (graphics))
decltype(&GdipDrawImageRectI) realGdipDrawImageRectI;
GpStatus WINAPI WatchGdipDrawImageRectI(GpGraphics* graphics, GpImage* image, INT x, INT y, INT w,
                                        INT h) {
    calls += std::string(image != nullptr ? " Draw " : " Draw(nothing) ") + std::to_string(x) +
             "," + std::to_string(y) + " " + std::to_string(w) + "x" + std::to_string(h);
    return realGdipDrawImageRectI(graphics, image, x, y, w, h);
}
bool const watchingDraw =
    (Watch("gdiplus.dll", "GdipDrawImageRectI", realGdipDrawImageRectI, WatchGdipDrawImageRectI),
     true);

UINT const kQuadrants = 1, kNotAnImage = 2, kOtherType = 3, kEmpty = 4, kMissing = 77;

} // namespace

TEST_CASE(picture) {
    ResetProgram();
    LoadKeyboardImage(); // starts GDI+ as the program does
    ok(app.keyboardImage != nullptr && app.keyboardImage->GetBitmap() != nullptr,
       "the program's picture did not load");

    // From the load through the holder's destruction; the block goes after the bitmap.
    const std::string taken = " GlobalAlloc GdipDisposeImage GdipFree GlobalFree";
    const std::string released = " GdipDisposeImage GdipFree GlobalFree";
    const struct {
        bool loadedBefore;
        UINT id;
        bool loads;
        std::string calls;
    } loads[] = {
        {false, kQuadrants, true, taken},
        {false, kMissing, false, ""},
        {false, kOtherType, false, ""},
        {false, kEmpty, false, ""},
        {false, kNotAnImage, false, taken},
        {true, kMissing, false, released},
        {true, kNotAnImage, false, released + taken},
        {true, kQuadrants, true, released + taken},
    };
    for (const auto& c : loads) {
        {
            CGdiPlusBitmapResource holder;
            if (c.loadedBefore) {
                holder.LoadFromResource(kQuadrants, "PNG", nullptr);
            }
            calls.clear();
            const bool loaded = holder.LoadFromResource(c.id, "PNG", nullptr);
            ok(loaded == c.loads && (holder.GetBitmap() != nullptr) == c.loads &&
                   (holder.imageMemory != nullptr) == c.loads,
               "resource %u after %d: loaded %d", c.id, c.loadedBefore, loaded);
        }
        ok(calls == c.calls, "resource %u after %d: calls%s", c.id, c.loadedBefore, calls.c_str());
    }

    // Every paint stretches the whole picture over the client area and releases its DC and surface.
    CGdiPlusBitmapResource failed;
    failed.LoadFromResource(kNotAnImage, "PNG", nullptr);
    CGdiPlusBitmapResource* const picture = app.keyboardImage;
    ShowKeyboardWindow();
    RECT client;
    GetClientRect(app.mainWindow, &client);
    const std::string size =
        " 0,0 " + std::to_string(client.right) + "x" + std::to_string(client.bottom);
    const struct {
        CGdiPlusBitmapResource* holder;
        std::string calls;
    } paints[] = {
        {picture, " BeginPaint GdipCreateFromHDC Draw" + size + " EndPaint GdipDeleteGraphics"},
        {&failed,
         " BeginPaint GdipCreateFromHDC Draw(nothing)" + size + " EndPaint GdipDeleteGraphics"},
        {nullptr, " BeginPaint GdipCreateFromHDC EndPaint GdipDeleteGraphics"},
    };
    for (const auto& c : paints) {
        app.keyboardImage = c.holder;
        calls.clear();
        InvalidateRect(app.mainWindow, nullptr, TRUE);
        UpdateWindow(app.mainWindow);
        ok(calls == c.calls, "painted:%s", calls.c_str());
    }
    app.keyboardImage = picture;

    // A frame to size the window by, and buttons to minimize and maximize it.
    RECT frame;
    TITLEBARINFO title{sizeof title, {}, {}};
    GetWindowRect(app.mainWindow, &frame);
    const LRESULT corner = SendMessageA(app.mainWindow, WM_NCHITTEST, 0,
                                        MAKELPARAM(frame.right - 1, frame.bottom - 1));
    ok(corner == HTBOTTOMRIGHT && GetTitleBarInfo(app.mainWindow, &title) &&
           ((title.rgstate[2] | title.rgstate[3]) & STATE_SYSTEM_INVISIBLE) == 0,
       "frame: corner %ld, buttons %lx %lx", long(corner), title.rgstate[2], title.rgstate[3]);
    // Restoring and maximizing repaint the stretched picture whole; minimizing does not.
    for (const WPARAM type : {SIZE_RESTORED, SIZE_MAXIMIZED, SIZE_MINIMIZED}) {
        RECT update{};
        ValidateRect(app.mainWindow, nullptr);
        SendMessageA(app.mainWindow, WM_SIZE, type, MAKELPARAM(client.right, client.bottom));
        const bool whole =
            GetUpdateRect(app.mainWindow, &update, FALSE) && EqualRect(&update, &client);
        ok(whole == (type != SIZE_MINIMIZED), "size type %u: repainted %d", unsigned(type), whole);
    }
    // A drag below the minimum grows the dragged edge; the same proposal again is left alone.
    for (const RECT& expected : {RECT{100, 100, 196, 146}, RECT{100, 100, 150, 130}}) {
        RECT proposed{100, 100, 150, 130};
        ok(SendMessageA(app.mainWindow, WM_SIZING, WMSZ_BOTTOMRIGHT,
                        reinterpret_cast<LPARAM>(&proposed)) == 0 &&
               EqualRect(&proposed, &expected),
           "sized to %ld,%ld,%ld,%ld", proposed.left, proposed.top, proposed.right,
           proposed.bottom);
    }

    calls.clear();
    ShutDown();
    ok(calls == " GdipDisposeImage GdipFree GlobalFree GdiplusShutdown", "shut down:%s",
       calls.c_str());
}
