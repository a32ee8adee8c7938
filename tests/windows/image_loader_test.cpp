// The resource image loader against this executable's own resources, with the calls that take
// and release memory watched through the import table.
#include <windows.h>
#include <gdiplus.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gdiplus_session.h"
#include "picture/gdiplus_bitmap.h"

using namespace Gdiplus;

namespace {

UINT const kQuadrants = 1;
UINT const kNotAnImage = 2;
UINT const kOtherType = 3; // the quadrants picture, as RCDATA
UINT const kEmpty = 4;

std::vector<std::string> calls;
HGLOBAL lastBlock = nullptr;

decltype(&GlobalAlloc) realGlobalAlloc;
decltype(&GlobalFree) realGlobalFree;
decltype(&DllExports::GdipDisposeImage) realDisposeImage;
decltype(&DllExports::GdipFree) realGdipFree;

HGLOBAL WINAPI WatchGlobalAlloc(UINT flags, SIZE_T bytes) {
    lastBlock = realGlobalAlloc(flags, bytes);
    calls.push_back("GlobalAlloc");
    return lastBlock;
}
HGLOBAL WINAPI WatchGlobalFree(HGLOBAL block) {
    calls.push_back(block == lastBlock ? "GlobalFree(the block)" : "GlobalFree(another block)");
    return realGlobalFree(block);
}
GpStatus WINGDIPAPI WatchDisposeImage(GpImage* image) {
    calls.push_back("GdipDisposeImage");
    return realDisposeImage(image);
}
void WINGDIPAPI WatchGdipFree(void* memory) {
    calls.push_back("GdipFree");
    realGdipFree(memory);
}

// Points this executable's import of dll!function at watcher, keeping the real function; false
// when the executable does not import it.
template <typename Function>
bool Patch(const char* dll, const char* function, Function& real, Function watcher) {
    void* target = reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA(dll), function));
    real = reinterpret_cast<Function>(target);
    auto* base = reinterpret_cast<BYTE*>(GetModuleHandleA(nullptr));
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(
        base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY& table = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IAT];
    auto* slots = reinterpret_cast<void**>(base + table.VirtualAddress);
    for (size_t i = 0; target != nullptr && i < table.Size / sizeof(void*); ++i) {
        if (slots[i] == target) {
            DWORD protection = 0;
            VirtualProtect(&slots[i], sizeof(void*), PAGE_READWRITE, &protection);
            slots[i] = reinterpret_cast<void*>(watcher);
            VirtualProtect(&slots[i], sizeof(void*), protection, &protection);
            return true;
        }
    }
    return false;
}

TEST(ImageLoader, FreesWhatItTookOnEveryPathTheBitmapBeforeTheBlock) {
    ASSERT_TRUE(Patch("kernel32.dll", "GlobalAlloc", realGlobalAlloc, &WatchGlobalAlloc) &&
                Patch("kernel32.dll", "GlobalFree", realGlobalFree, &WatchGlobalFree) &&
                Patch("gdiplus.dll", "GdipDisposeImage", realDisposeImage, &WatchDisposeImage) &&
                Patch("gdiplus.dll", "GdipFree", realGdipFree, &WatchGdipFree));
    // The cases below must fail for the reason they name.
    ASSERT_NE(FindResourceA(nullptr, MAKEINTRESOURCEA(kOtherType), RT_RCDATA), nullptr);
    HRSRC empty = FindResourceA(nullptr, MAKEINTRESOURCEA(kEmpty), "PNG");
    ASSERT_TRUE(empty != nullptr && SizeofResource(nullptr, empty) == 0);

    // "the block" is the one allocated last.
    using Calls = std::vector<std::string>;
    const Calls released = {"GdipDisposeImage", "GdipFree", "GlobalFree(the block)"};
    const Calls taken = {"GlobalAlloc", "GdipDisposeImage", "GdipFree", "GlobalFree(the block)"};
    Calls reloaded = released;
    reloaded.insert(reloaded.end(), taken.begin(), taken.end());
    struct Case {
        const char* what;
        bool loadedBefore;
        LPCSTR name;
        bool loads;
        Calls calls; // from the load through the holder's destruction
    };
    const Case cases[] = {
        {"a real PNG", false, MAKEINTRESOURCEA(kQuadrants), true, taken},
        {"missing", false, "NO_SUCH_PICTURE", false, {}},
        {"present only as another type", false, MAKEINTRESOURCEA(kOtherType), false, {}},
        {"zero size", false, MAKEINTRESOURCEA(kEmpty), false, {}},
        {"not an image", false, MAKEINTRESOURCEA(kNotAnImage), false, taken},
        {"second load, missing", true, MAKEINTRESOURCEA(77), false, released},
        {"second load, not an image", true, MAKEINTRESOURCEA(kNotAnImage), false, reloaded},
        {"second load, a real PNG", true, MAKEINTRESOURCEA(kQuadrants), true, reloaded},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        {
            CGdiPlusBitmapResource holder;
            if (c.loadedBefore) {
                ASSERT_TRUE(holder.LoadFromResource(kQuadrants, "PNG", nullptr));
            }
            calls.clear();
            EXPECT_EQ(holder.LoadFromResource(c.name, "PNG", nullptr), c.loads);
            EXPECT_EQ(holder.GetBitmap() != nullptr, c.loads);
            EXPECT_EQ(holder.imageMemory != nullptr, c.loads);
        }
        EXPECT_EQ(calls, c.calls);
    }
}

} // namespace
