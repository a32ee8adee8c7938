// The keys the picture draws and what their quadrants show, against the layout table the
// program types from.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <memory>

#include "artwork.h"
#include "artwork_files.h"
#include "keyboard_rows.h"

namespace {

TEST(KeyboardRows, EveryRowIsFifteenUnitsWideAndEachMappedKeyIsDrawnOnce) {
    std::map<uint16_t, int> drawn;
    for (const KeyRow& row : KeyboardRows()) {
        double units = 0;
        for (const KeyCap& key : row) {
            units += key.units;
            drawn[key.scanCode] += key.kind == KeyKind::Character ? 1 : 0;
        }
        EXPECT_DOUBLE_EQ(units, 15.0);
    }
    LayoutEntry table[kLayoutEntryCount];
    BuildLayout(table);
    // The extra key of 102-key keyboards types what the backslash key types; a US keyboard has
    // no such key.
    for (uint16_t scanCode = 0; scanCode < kLayoutEntryCount; ++scanCode) {
        const LayoutEntry& entry = table[scanCode];
        const bool mapped =
            entry.plain != 0 || entry.shift != 0 || entry.alt != 0 || entry.shiftAlt != 0;
        EXPECT_EQ(drawn[scanCode], mapped && scanCode != 86 ? 1 : 0) << "scan code " << scanCode;
    }
}

// Counts the pixels of one quadrant (0 shift, 1 shiftAlt, 2 plain, 3 alt) that differ from the
// colour at the quadrant's centre-left edge, i.e. the ink of its character.
int InkIn(const RgbImage& image, const PlacedKey& key, int quadrant) {
    const int left = static_cast<int>(std::ceil(key.x + (quadrant % 2) * key.width / 2)) + 2;
    const int top = static_cast<int>(std::ceil(key.y + (quadrant / 2) * key.height / 2)) + 2;
    const int right = static_cast<int>(key.x + (quadrant % 2 + 1) * key.width / 2) - 2;
    const int bottom = static_cast<int>(key.y + (quadrant / 2 + 1) * key.height / 2) - 2;
    const Rgb background = PixelAt(image, left, (top + bottom) / 2);
    int ink = 0;
    for (int y = top; y < bottom; ++y) {
        for (int x = left; x < right; ++x) {
            const Rgb p = PixelAt(image, x, y);
            ink +=
                p.red != background.red || p.green != background.green || p.blue != background.blue;
        }
    }
    return ink;
}

TEST(KeyboardPicture, QuadrantsShowInkExactlyWhereTheTableMapsThatPlane) {
    const std::unique_ptr<ArtworkFonts, decltype(&CloseArtworkFonts)> fonts(
        OpenArtworkFonts(kDefaultFontDirectory), CloseArtworkFonts);
    ASSERT_NE(fonts, nullptr) << "fonts-noto-core is needed";
    for (const bool changed : {false, true}) {
        SCOPED_TRACE(changed ? "a changed table" : "the program's table");
        LayoutEntry table[kLayoutEntryCount];
        BuildLayout(table);
        if (changed) {
            table[5].shiftAlt = table[16].plain; // the 4 key gains what Q loses
            table[16].plain = 0;
        }
        const RgbImage image = DrawKeyboardPicture(fonts.get(), table);
        ASSERT_EQ(image.width, kPictureWidth);
        ASSERT_EQ(image.height, kPictureHeight);
        for (const PlacedKey& placed : PlaceKeys()) {
            if (placed.key.kind != KeyKind::Character) {
                continue;
            }
            const LayoutEntry& entry = table[placed.key.scanCode];
            const uint16_t units[] = {entry.shift, entry.shiftAlt, entry.plain, entry.alt};
            for (int quadrant = 0; quadrant < 4; ++quadrant) {
                SCOPED_TRACE(std::string(placed.key.label) + " quadrant " +
                             std::to_string(quadrant));
                const int ink = InkIn(image, placed, quadrant);
                EXPECT_TRUE(units[quadrant] == 0 ? ink == 0 : ink > 8) << ink << " pixels of ink";
            }
        }
    }
}

} // namespace
