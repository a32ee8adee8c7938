// The resource image loader against this executable's own resources, with its calls to the
// memory and GDI+ functions watched through the import table.
#include <windows.h>
#include <gdiplus.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gdiplus_session.h"
#include "import_patch.h"
#include "picture/gdiplus_bitmap.h"

using namespace Gdiplus;

namespace {

testing::Environment* const gdiplus = testing::AddGlobalTestEnvironment(new GdiplusSession);

UINT const kQuadrants = 1;
UINT const kNotAnImage = 2;
UINT const kOtherType = 3; // the quadrants picture, as RCDATA
UINT const kEmpty = 4;

struct Call {
    std::string name;
    ULONG_PTR handle; // the block or GDI+ object the call is about
    bool operator==(const Call& other) const {
        return name == other.name && handle == other.handle;
    }
};

std::vector<Call> calls;
bool watching = false;

void Record(const char* name, const void* handle) {
    if (watching) {
        calls.push_back(Call{name, reinterpret_cast<ULONG_PTR>(handle)});
    }
}

decltype(&GlobalAlloc) realGlobalAlloc;
decltype(&GlobalLock) realGlobalLock;
decltype(&GlobalUnlock) realGlobalUnlock;
decltype(&GlobalFree) realGlobalFree;
decltype(&DllExports::GdipAlloc) realGdipAlloc;
decltype(&DllExports::GdipFree) realGdipFree;
decltype(&DllExports::GdipCreateBitmapFromStream) realCreateBitmap;
decltype(&DllExports::GdipDisposeImage) realDisposeImage;

HGLOBAL WINAPI WatchGlobalAlloc(UINT flags, SIZE_T bytes) {
    HGLOBAL block = realGlobalAlloc(flags, bytes);
    Record(flags == GMEM_MOVEABLE ? "GlobalAlloc(GMEM_MOVEABLE)" : "GlobalAlloc(other)", block);
    return block;
}
LPVOID WINAPI WatchGlobalLock(HGLOBAL block) {
    Record("GlobalLock", block);
    return realGlobalLock(block);
}
BOOL WINAPI WatchGlobalUnlock(HGLOBAL block) {
    Record("GlobalUnlock", block);
    return realGlobalUnlock(block);
}
HGLOBAL WINAPI WatchGlobalFree(HGLOBAL block) {
    Record("GlobalFree", block);
    return realGlobalFree(block);
}
void* WINGDIPAPI WatchGdipAlloc(size_t bytes) {
    void* memory = realGdipAlloc(bytes);
    Record("GdipAlloc", memory);
    return memory;
}
void WINGDIPAPI WatchGdipFree(void* memory) {
    Record("GdipFree", memory);
    realGdipFree(memory);
}
GpStatus WINGDIPAPI WatchCreateBitmap(IStream* stream, GpBitmap** bitmap) {
    const GpStatus status = realCreateBitmap(stream, bitmap);
    Record("GdipCreateBitmapFromStream", *bitmap);
    return status;
}
GpStatus WINGDIPAPI WatchDisposeImage(GpImage* image) {
    Record("GdipDisposeImage", image);
    return realDisposeImage(image);
}

template <typename Function>
void Patch(const char* dll, const char* name, Function& real, Function watcher) {
    real = reinterpret_cast<Function>(PatchImport(dll, name, reinterpret_cast<void*>(watcher)));
    ASSERT_NE(real, nullptr) << name << " is not imported from " << dll;
}

class ImageLoader : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        Patch("kernel32.dll", "GlobalAlloc", realGlobalAlloc, &WatchGlobalAlloc);
        Patch("kernel32.dll", "GlobalLock", realGlobalLock, &WatchGlobalLock);
        Patch("kernel32.dll", "GlobalUnlock", realGlobalUnlock, &WatchGlobalUnlock);
        Patch("kernel32.dll", "GlobalFree", realGlobalFree, &WatchGlobalFree);
        Patch("gdiplus.dll", "GdipAlloc", realGdipAlloc, &WatchGdipAlloc);
        Patch("gdiplus.dll", "GdipFree", realGdipFree, &WatchGdipFree);
        Patch("gdiplus.dll", "GdipCreateBitmapFromStream", realCreateBitmap, &WatchCreateBitmap);
        Patch("gdiplus.dll", "GdipDisposeImage", realDisposeImage, &WatchDisposeImage);
    }
    void SetUp() override {
        calls.clear();
        watching = true;
    }
    void TearDown() override {
        watching = false;
    }

    static void ExpectEmpty(const CGdiPlusBitmapResource& holder) {
        EXPECT_EQ(holder.GetBitmap(), nullptr);
        EXPECT_EQ(holder.imageMemory, nullptr);
    }

    // Every block the calls allocated was unlocked and freed again, the bitmap before it.
    static void ExpectEverythingReleased() {
        for (size_t i = 0; i < calls.size(); ++i) {
            if (calls[i].name != "GlobalAlloc(GMEM_MOVEABLE)") {
                continue;
            }
            int frees = 0;
            for (size_t j = i + 1; j < calls.size(); ++j) {
                frees += calls[j] == Call{"GlobalFree", calls[i].handle} ? 1 : 0;
            }
            EXPECT_EQ(frees, 1) << "block " << calls[i].handle;
        }
    }

    static size_t CountOf(const std::string& name) {
        size_t count = 0;
        for (const Call& call : calls) {
            count += call.name == name ? 1 : 0;
        }
        return count;
    }
};

DWORD ResourceSize(LPCSTR name, LPCSTR type) {
    HRSRC resource = FindResourceA(nullptr, name, type);
    return resource == nullptr ? 0 : SizeofResource(nullptr, resource);
}

UINT ImageWidth(const CGdiPlusBitmap& holder) {
    UINT width = 0;
    DllExports::GdipGetImageWidth(HeldImage(&holder), &width);
    return width;
}

TEST_F(ImageLoader, LoadsARealPngIntoALockedPrivateCopy) {
    CGdiPlusBitmapResource holder;
    ASSERT_TRUE(holder.LoadFromResource(kQuadrants, "PNG", nullptr));
    ASSERT_NE(holder.GetBitmap(), nullptr);
    ASSERT_NE(holder.imageMemory, nullptr);
    EXPECT_EQ(ImageWidth(holder), 8u);
    EXPECT_EQ(GlobalFlags(holder.imageMemory) & GMEM_LOCKCOUNT, 1u);
    EXPECT_EQ(GlobalSize(holder.imageMemory), ResourceSize(MAKEINTRESOURCEA(kQuadrants), "PNG"));

    const auto block = reinterpret_cast<ULONG_PTR>(holder.imageMemory);
    const auto wrapper = reinterpret_cast<ULONG_PTR>(holder.GetBitmap());
    const auto image = reinterpret_cast<ULONG_PTR>(holder.GetBitmap()->image);
    const std::vector<Call> expected = {{"GlobalAlloc(GMEM_MOVEABLE)", block},
                                        {"GlobalLock", block},
                                        {"GdipAlloc", wrapper},
                                        {"GdipCreateBitmapFromStream", image}};
    EXPECT_EQ(calls, expected);
}

TEST_F(ImageLoader, ReleasesTheBitmapBeforeTheBlock) {
    std::vector<Call> expected;
    {
        CGdiPlusBitmapResource holder;
        ASSERT_TRUE(holder.LoadFromResource(kQuadrants, "PNG", nullptr));
        const auto block = reinterpret_cast<ULONG_PTR>(holder.imageMemory);
        expected = {{"GdipDisposeImage", reinterpret_cast<ULONG_PTR>(holder.GetBitmap()->image)},
                    {"GdipFree", reinterpret_cast<ULONG_PTR>(holder.GetBitmap())},
                    {"GlobalUnlock", block},
                    {"GlobalFree", block}};
        calls.clear();
    }
    EXPECT_EQ(calls, expected);
}

TEST_F(ImageLoader, UnloadEmptiesAndDestroyingAnEmptyHolderCallsNothing) {
    {
        CGdiPlusBitmapResource holder;
        ASSERT_TRUE(holder.LoadFromResource(kQuadrants, "PNG", nullptr));
        holder.Unload();
        ExpectEmpty(holder);
        ExpectEverythingReleased();
        calls.clear();
    }
    EXPECT_TRUE(calls.empty());
}

TEST_F(ImageLoader, FailsBeforeAllocatingWhenTheResourceIsNotThere) {
    ASSERT_NE(FindResourceA(nullptr, MAKEINTRESOURCEA(kOtherType), RT_RCDATA), nullptr);
    ASSERT_NE(FindResourceA(nullptr, MAKEINTRESOURCEA(kEmpty), "PNG"), nullptr);
    ASSERT_EQ(ResourceSize(MAKEINTRESOURCEA(kEmpty), "PNG"), 0u) << "windres gave it bytes";
    struct Case {
        const char* what;
        LPCSTR name;
        LPCSTR type;
    };
    const Case cases[] = {
        {"missing id", MAKEINTRESOURCEA(77), "PNG"},
        {"missing name", "NO_SUCH_PICTURE", "PNG"},
        {"present as another type", MAKEINTRESOURCEA(kOtherType), "PNG"},
        {"right id, wrong type", MAKEINTRESOURCEA(kQuadrants), "JPEG"},
        {"zero size", MAKEINTRESOURCEA(kEmpty), "PNG"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        calls.clear();
        CGdiPlusBitmapResource holder;
        EXPECT_FALSE(holder.LoadFromResource(c.name, c.type, nullptr));
        ExpectEmpty(holder);
        EXPECT_TRUE(calls.empty());
    }
}

TEST_F(ImageLoader, FreesTheBlockWhenTheBytesAreNotAnImage) {
    CGdiPlusBitmapResource holder;
    EXPECT_FALSE(holder.LoadFromResource(kNotAnImage, "PNG", nullptr));
    ExpectEmpty(holder);
    ASSERT_EQ(CountOf("GlobalAlloc(GMEM_MOVEABLE)"), 1u);
    const ULONG_PTR block = calls.front().handle;
    ASSERT_EQ(CountOf("GdipAlloc"), 1u);
    // The decode failed, the wrapper is freed, then the block is unlocked and freed.
    const std::vector<std::string> order = {
        "GlobalAlloc(GMEM_MOVEABLE)", "GlobalLock", "GdipAlloc",    "GdipCreateBitmapFromStream",
        "GdipDisposeImage",           "GdipFree",   "GlobalUnlock", "GlobalFree"};
    ASSERT_EQ(calls.size(), order.size());
    for (size_t i = 0; i < order.size(); ++i) {
        EXPECT_EQ(calls[i].name, order[i]) << i;
    }
    EXPECT_EQ(calls.back().handle, block);
    // The handle is gone: the system no longer knows it.
    EXPECT_EQ(GlobalFlags(reinterpret_cast<HGLOBAL>(block)),
              static_cast<UINT>(GMEM_INVALID_HANDLE));
}

TEST_F(ImageLoader, ASecondLoadFirstReleasesThePicture) {
    struct Case {
        const char* what;
        UINT second;
        bool loaded;
    };
    for (const Case& c :
         {Case{"failing second load", kNotAnImage, false},
          Case{"missing second picture", 77, false}, Case{"good second load", kQuadrants, true}}) {
        SCOPED_TRACE(c.what);
        CGdiPlusBitmapResource holder;
        ASSERT_TRUE(holder.LoadFromResource(kQuadrants, "PNG", nullptr));
        const auto firstBlock = reinterpret_cast<ULONG_PTR>(holder.imageMemory);
        const auto firstWrapper = reinterpret_cast<ULONG_PTR>(holder.GetBitmap());
        calls.clear();
        EXPECT_EQ(holder.LoadFromResource(c.second, "PNG", nullptr), c.loaded);
        ASSERT_GE(calls.size(), 4u);
        EXPECT_EQ(calls[1], (Call{"GdipFree", firstWrapper}));
        EXPECT_EQ(calls[2], (Call{"GlobalUnlock", firstBlock}));
        EXPECT_EQ(calls[3], (Call{"GlobalFree", firstBlock}));
        if (c.loaded) {
            EXPECT_NE(holder.GetBitmap(), nullptr);
            EXPECT_EQ(ImageWidth(holder), 8u);
        } else {
            ExpectEmpty(holder);
            ExpectEverythingReleased();
        }
    }
}

TEST_F(ImageLoader, TakesNamesAndTheLowSixteenBitsOfNumbers) {
    struct Case {
        const char* what;
        bool (*load)(CGdiPlusBitmapResource&);
    };
    const Case cases[] = {
        {"string name",
         [](CGdiPlusBitmapResource& h) { return h.LoadFromResource("LAYOUT", "PNG", nullptr); }},
        {"MAKEINTRESOURCE",
         [](CGdiPlusBitmapResource& h) {
             return h.LoadFromResource(MAKEINTRESOURCEA(kQuadrants), "PNG", nullptr);
         }},
        {"number with high bits",
         [](CGdiPlusBitmapResource& h) {
             return h.LoadFromResource(0x50000u | kQuadrants, "PNG", nullptr);
         }},
        {"own module by handle",
         [](CGdiPlusBitmapResource& h) {
             return h.LoadFromResource(kQuadrants, "PNG", GetModuleHandleA(nullptr));
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CGdiPlusBitmapResource holder;
        EXPECT_TRUE(c.load(holder));
        EXPECT_EQ(ImageWidth(holder), 8u);
    }
}

TEST(ImageHolder, BaseHolderStartsEmptyAndHeldImageFollowsTheBitmap) {
    CGdiPlusBitmap plain;
    EXPECT_EQ(plain.GetBitmap(), nullptr);
    EXPECT_EQ(HeldImage(&plain), nullptr);
    EXPECT_EQ(HeldImage(nullptr), nullptr);
    CGdiPlusBitmapResource holder;
    ASSERT_TRUE(holder.LoadFromResource(kQuadrants, "PNG", nullptr));
    EXPECT_EQ(HeldImage(&holder), holder.GetBitmap()->image);
    EXPECT_EQ(holder.GetBitmap()->lastStatus, Ok) << "the status is taken when read";
}

} // namespace
