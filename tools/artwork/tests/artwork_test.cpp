// The layout picture against the table it is drawn from: ink exactly where a character is mapped.
#include <gtest/gtest.h>

#include <algorithm>

#include "artwork.h"
#include "artwork_files.h"
#include "keyboard_rows.h"

TEST(KeyboardPicture, ShowsInkExactlyWhereTheTableMapsACharacter) {
    ArtworkFonts* fonts = OpenArtworkFonts(kDefaultFontDirectory);
    ASSERT_NE(fonts, nullptr) << "fonts-noto-core is needed";
    LayoutEntry table[kLayoutEntryCount];
    BuildLayout(table);
    table[5].shiftAlt = table[16].plain; // not the program's table: the 4 key gains what Q loses
    table[16].plain = 0;
    const RgbImage image = DrawKeyboardPicture(fonts, table);
    CloseArtworkFonts(fonts);
    const auto at = [&](int x, int y) { return &image.rgb[(y * image.width + x) * 3]; };
    int drawn[kLayoutEntryCount] = {};
    for (const PlacedKey& key : PlaceKeys()) {
        const LayoutEntry& entry = table[key.key.scanCode];
        const uint16_t units[] = {entry.shift, entry.shiftAlt, entry.plain, entry.alt};
        // Quadrants 0 shift, 1 shift+alt, 2 plain, 3 alt: pixels unlike the colour at the left
        // edge.
        for (int quadrant = 0; key.key.kind == KeyKind::Character && quadrant < 4; ++quadrant) {
            const int left = static_cast<int>(key.x + (quadrant % 2) * key.width / 2) + 3;
            const int top = static_cast<int>(key.y + (quadrant / 2) * key.height / 2) + 3;
            const uint8_t* edge = at(left, top + static_cast<int>(key.height / 4) - 3);
            int ink = 0;
            for (int y = top; y < top + key.height / 2 - 5; ++y) {
                for (int x = left; x < left + key.width / 2 - 5; ++x) {
                    ink += !std::equal(edge, edge + 3, at(x, y));
                }
            }
            EXPECT_TRUE(units[quadrant] == 0 ? ink == 0 : ink > 8) << key.key.label << quadrant;
        }
        drawn[key.key.scanCode] += key.key.kind == KeyKind::Character;
    }
    // Each mapped key drawn once, but for scan code 86, the 102-key extra that types as backslash.
    for (uint16_t scanCode = 0; scanCode < kLayoutEntryCount; ++scanCode) {
        const LayoutEntry& e = table[scanCode];
        const bool mapped = (e.plain | e.shift | e.alt | e.shiftAlt) != 0;
        EXPECT_EQ(drawn[scanCode], mapped && scanCode != 86) << "scan code " << scanCode;
    }
}
