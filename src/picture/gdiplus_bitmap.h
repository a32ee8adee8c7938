// The layout picture held as a GDI+ bitmap, loaded from a resource through a private memory block.
#pragma once

#include <windows.h>
#include <gdiplus.h>

// What GdipAlloc hands out for one bitmap: the native image and the status of the call that made
// it, kept until someone reads it.
struct GdiPlusBitmapWrapper {
    Gdiplus::GpBitmap* image;
    Gdiplus::GpStatus lastStatus;
};

class CGdiPlusBitmap {
  public:
    GdiPlusBitmapWrapper* bitmap = nullptr;

    CGdiPlusBitmap() = default;
    CGdiPlusBitmap(const CGdiPlusBitmap&) = delete;
    CGdiPlusBitmap& operator=(const CGdiPlusBitmap&) = delete;
    virtual ~CGdiPlusBitmap();

    void ReleaseBitmap();
    GdiPlusBitmapWrapper* GetBitmap() const {
        return bitmap;
    }
};

class CGdiPlusBitmapResource : public CGdiPlusBitmap {
  public:
    HGLOBAL imageMemory = nullptr;

    CGdiPlusBitmapResource() = default;
    ~CGdiPlusBitmapResource() override;

    void Unload();
    bool LoadFromResource(LPCSTR name, LPCSTR type, HMODULE module);
    bool LoadFromResource(UINT id, LPCSTR type, HMODULE module);
};

// The native image of a holder's bitmap, or null when it holds none.
Gdiplus::GpImage* HeldImage(const CGdiPlusBitmap* holder);
