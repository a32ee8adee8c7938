// The drawings themselves: what a key's quadrants show follows the layout table.
#include <gtest/gtest.h>

#include <cmath>

#include "artwork.h"
#include "artwork_files.h"
#include "keyboard_rows.h"

namespace {

struct Fonts {
    ArtworkFonts* fonts = OpenArtworkFonts(kDefaultFontDirectory);
    ~Fonts() {
        CloseArtworkFonts(fonts);
    }
};

PlacedKey KeyOf(uint16_t scanCode) {
    for (const PlacedKey& placed : PlaceKeys()) {
        if (placed.key.kind == KeyKind::Character && placed.key.scanCode == scanCode) {
            return placed;
        }
    }
    return PlacedKey{};
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
                p.red != background.red || p.green != background.green || p.blue != background.blue
                    ? 1
                    : 0;
        }
    }
    return ink;
}

TEST(KeyboardPicture, QuadrantsShowExactlyTheMappedPlanes) {
    Fonts fonts;
    ASSERT_NE(fonts.fonts, nullptr) << "fonts-noto-core is needed";
    LayoutEntry table[kLayoutEntryCount];
    BuildLayout(table);
    const RgbImage image = DrawKeyboardPicture(fonts.fonts, table);
    ASSERT_EQ(image.width, kPictureWidth);
    ASSERT_EQ(image.height, kPictureHeight);
    for (const PlacedKey& placed : PlaceKeys()) {
        if (placed.key.kind != KeyKind::Character) {
            continue;
        }
        const LayoutEntry& entry = table[placed.key.scanCode];
        const uint16_t units[] = {entry.shift, entry.shiftAlt, entry.plain, entry.alt};
        for (int quadrant = 0; quadrant < 4; ++quadrant) {
            SCOPED_TRACE(std::string(placed.key.label) + " quadrant " + std::to_string(quadrant));
            if (units[quadrant] == 0) {
                EXPECT_EQ(InkIn(image, placed, quadrant), 0);
            } else {
                EXPECT_GT(InkIn(image, placed, quadrant), 8);
            }
        }
    }
}

TEST(KeyboardPicture, FollowsAChangedTable) {
    Fonts fonts;
    ASSERT_NE(fonts.fonts, nullptr);
    LayoutEntry table[kLayoutEntryCount];
    BuildLayout(table);
    const PlacedKey q = KeyOf(16);
    ASSERT_GT(InkIn(DrawKeyboardPicture(fonts.fonts, table), q, 2), 8);
    table[16].plain = 0;
    EXPECT_EQ(InkIn(DrawKeyboardPicture(fonts.fonts, table), q, 2), 0);
}

TEST(KeyboardPicture, QuadrantColoursAreOrangeBlueGreenPink) {
    Fonts fonts;
    ASSERT_NE(fonts.fonts, nullptr);
    LayoutEntry table[kLayoutEntryCount];
    BuildLayout(table);
    const RgbImage image = DrawKeyboardPicture(fonts.fonts, table);
    const PlacedKey key = KeyOf(5); // the 4 key: its Shift+Alt quadrant is empty
    auto at = [&](double fx, double fy) {
        return PixelAt(image, static_cast<int>(key.x + fx * key.width),
                       static_cast<int>(key.y + fy * key.height));
    };
    const Rgb shift = at(0.1, 0.1), shiftAlt = at(0.9, 0.1), plain = at(0.1, 0.9),
              alt = at(0.9, 0.9);
    EXPECT_TRUE(shift.red > 200 && shift.green > 120 && shift.blue < 120) << "orange";
    EXPECT_TRUE(shiftAlt.blue > 200 && shiftAlt.red < 160) << "blue";
    EXPECT_TRUE(plain.green > 180 && plain.red < 180 && plain.blue < 180) << "green";
    EXPECT_TRUE(alt.red > 200 && alt.blue > 160 && alt.green < 200) << "pink";
}

TEST(KeyIcon, OnAndOffDifferOnlyInTheLowerLeftQuarter) {
    Fonts fonts;
    ASSERT_NE(fonts.fonts, nullptr);
    LayoutEntry table[kLayoutEntryCount];
    BuildLayout(table);
    for (int size : {16, 32}) {
        SCOPED_TRACE(size);
        const RgbImage on = DrawKeyIcon(fonts.fonts, table, size, IconBadge::On);
        const RgbImage off = DrawKeyIcon(fonts.fonts, table, size, IconBadge::Off);
        ASSERT_EQ(on.width, size);
        int differentOutside = 0;
        int differentInside = 0;
        for (int y = 0; y < size; ++y) {
            for (int x = 0; x < size; ++x) {
                const Rgb a = PixelAt(on, x, y);
                const Rgb b = PixelAt(off, x, y);
                const bool differs = a.red != b.red || a.green != b.green || a.blue != b.blue;
                // The badge is a disc centred in the lower-left quarter, a little larger.
                const bool inBadge = x < size * 0.62 && y >= size * 0.36;
                (inBadge ? differentInside : differentOutside) += differs ? 1 : 0;
            }
        }
        EXPECT_EQ(differentOutside, 0);
        EXPECT_GT(differentInside, size * size / 16);
        // The badge of "on" is green and that of "off" red, at the badge's centre ring.
        const Rgb onBadge = PixelAt(on, size * 3 / 10, size * 7 / 10 + size / 5);
        const Rgb offRing = PixelAt(off, size * 3 / 10, size * 7 / 10 + size / 5);
        EXPECT_GT(onBadge.green, onBadge.red);
        EXPECT_GT(offRing.red, offRing.green);
    }
}

TEST(GenerateArtwork, IsDeterministic) {
    const std::vector<ArtworkFile> first = GenerateArtwork(kDefaultFontDirectory);
    const std::vector<ArtworkFile> second = GenerateArtwork(kDefaultFontDirectory);
    ASSERT_EQ(first.size(), 3u);
    ASSERT_EQ(second.size(), 3u);
    for (size_t i = 0; i < first.size(); ++i) {
        EXPECT_EQ(first[i].name, second[i].name);
        EXPECT_TRUE(first[i].bytes == second[i].bytes) << first[i].name;
    }
}

TEST(GenerateArtwork, GivesNothingWithoutItsFonts) {
    EXPECT_TRUE(GenerateArtwork("/nonexistent-font-directory").empty());
}

} // namespace
