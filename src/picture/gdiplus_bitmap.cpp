#include "picture/gdiplus_bitmap.h"

#include <cstring>
#include <new>

using namespace Gdiplus;

namespace {

// The decode has no colour management: GdipCreateBitmapFromStreamICM is not the call.
GdiPlusBitmapWrapper* CreateBitmapFromStream(IStream* stream) {
    void* memory = DllExports::GdipAlloc(sizeof(GdiPlusBitmapWrapper));
    if (memory == nullptr) {
        return nullptr;
    }
    auto* wrapper = new (memory) GdiPlusBitmapWrapper{nullptr, Ok};
    wrapper->lastStatus = DllExports::GdipCreateBitmapFromStream(stream, &wrapper->image);
    return wrapper;
}

// Like the C++ wrapper's destructor: the image, even a null one from a failed decode, then the
// wrapper itself.
void DeleteBitmap(GdiPlusBitmapWrapper* wrapper) {
    DllExports::GdipDisposeImage(wrapper->image);
    DllExports::GdipFree(wrapper);
}

GpStatus TakeLastStatus(GdiPlusBitmapWrapper* wrapper) {
    const GpStatus status = wrapper->lastStatus;
    wrapper->lastStatus = Ok;
    return status;
}

} // namespace

CGdiPlusBitmap::~CGdiPlusBitmap() {
    ReleaseBitmap();
}

void CGdiPlusBitmap::ReleaseBitmap() {
    if (bitmap != nullptr) {
        DeleteBitmap(bitmap);
    }
    bitmap = nullptr;
}

CGdiPlusBitmapResource::~CGdiPlusBitmapResource() {
    Unload();
}

void CGdiPlusBitmapResource::Unload() {
    // The bitmap may still read the block, so it goes first.
    ReleaseBitmap();
    if (imageMemory != nullptr) {
        GlobalUnlock(imageMemory);
        GlobalFree(imageMemory);
        imageMemory = nullptr;
    }
}

bool CGdiPlusBitmapResource::LoadFromResource(UINT id, LPCSTR type, HMODULE module) {
    return LoadFromResource(MAKEINTRESOURCEA(id & 0xFFFF), type, module);
}

bool CGdiPlusBitmapResource::LoadFromResource(LPCSTR name, LPCSTR type, HMODULE module) {
    Unload();
    HRSRC resource = FindResourceA(module, name, type);
    if (resource == nullptr) {
        return false;
    }
    const DWORD size = SizeofResource(module, resource);
    if (size == 0) {
        return false;
    }
    const void* data = LockResource(LoadResource(module, resource));
    if (data == nullptr) {
        return false;
    }
    // The stream reads a copy the program owns, kept for as long as the bitmap lives.
    imageMemory = GlobalAlloc(GMEM_MOVEABLE, size);
    if (imageMemory == nullptr) {
        return false;
    }
    void* block = GlobalLock(imageMemory);
    if (block == nullptr) {
        GlobalFree(imageMemory);
        imageMemory = nullptr;
        return false;
    }
    std::memcpy(block, data, size);

    IStream* stream = nullptr;
    // From here on every failure unlocks and frees the block, after any bitmap that reads it.
    if (CreateStreamOnHGlobal(imageMemory, FALSE, &stream) != S_OK) {
        Unload();
        return false;
    }
    bitmap = CreateBitmapFromStream(stream);
    stream->Release();
    if (bitmap != nullptr && TakeLastStatus(bitmap) == Ok) {
        return true;
    }
    Unload();
    return false;
}

GpImage* HeldImage(const CGdiPlusBitmap* holder) {
    if (holder == nullptr || holder->GetBitmap() == nullptr) {
        return nullptr;
    }
    return holder->GetBitmap()->image;
}
