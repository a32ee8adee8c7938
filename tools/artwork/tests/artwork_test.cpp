// The layout picture against the table it is drawn from: each key's quadrants show ink exactly
// where the table maps a character, and each mapped key is drawn once.
#include <gtest/gtest.h>

#include <algorithm>

#include "artwork.h"
#include "artwork_files.h"
#include "keyboard_rows.h"

// Pixels of a quadrant (0 shift, 1 shift+alt, 2 plain, 3 alt) unlike the colour at its left edge.
static int InkIn(const RgbImage& image, const PlacedKey& key, int quadrant) {
    const int left = static_cast<int>(key.x + (quadrant % 2) * key.width / 2) + 3;
    const int top = static_cast<int>(key.y + (quadrant / 2) * key.height / 2) + 3;
    const auto at = [&](int x, int y) { return &image.rgb[(y * image.width + x) * 3]; };
    const uint8_t* edge = at(left, top + static_cast<int>(key.height / 4) - 3);
    int ink = 0;
    for (int y = top; y < top + key.height / 2 - 5; ++y) {
        for (int x = left; x < left + key.width / 2 - 5; ++x) {
            ink += !std::equal(edge, edge + 3, at(x, y));
        }
    }
    return ink;
}

TEST(KeyboardPicture, ShowsInkExactlyWhereTheTableMapsACharacter) {
    ArtworkFonts* fonts = OpenArtworkFonts(kDefaultFontDirectory);
    ASSERT_NE(fonts, nullptr) << "fonts-noto-core is needed";
    LayoutEntry table[kLayoutEntryCount];
    BuildLayout(table);
    table[5].shiftAlt = table[16].plain; // not the program's table: the 4 key gains what Q loses
    table[16].plain = 0;
    const RgbImage image = DrawKeyboardPicture(fonts, table);
    CloseArtworkFonts(fonts);
    int drawn[kLayoutEntryCount] = {};
    for (const PlacedKey& key : PlaceKeys()) {
        const LayoutEntry& entry = table[key.key.scanCode];
        const uint16_t units[] = {entry.shift, entry.shiftAlt, entry.plain, entry.alt};
        for (int quadrant = 0; key.key.kind == KeyKind::Character && quadrant < 4; ++quadrant) {
            const int ink = InkIn(image, key, quadrant);
            EXPECT_TRUE(units[quadrant] == 0 ? ink == 0 : ink > 8) << key.key.label << quadrant;
        }
        drawn[key.key.scanCode] += key.key.kind == KeyKind::Character;
    }
    // The extra key of 102-key keyboards (scan code 86) types what the backslash key types.
    for (uint16_t scanCode = 0; scanCode < kLayoutEntryCount; ++scanCode) {
        const LayoutEntry& e = table[scanCode];
        const bool mapped = (e.plain | e.shift | e.alt | e.shiftAlt) != 0;
        EXPECT_EQ(drawn[scanCode], mapped && scanCode != 86) << "scan code " << scanCode;
    }
}
