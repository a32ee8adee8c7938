// The keys the picture draws against the layout table the program types from.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "keyboard_rows.h"
#include "translation/layout.h"

namespace {

TEST(KeyboardRows, EveryRowIsFifteenUnitsWide) {
    for (const KeyRow& row : KeyboardRows()) {
        double units = 0;
        for (const KeyCap& key : row) {
            units += key.units;
        }
        EXPECT_DOUBLE_EQ(units, 15.0);
    }
}

TEST(KeyboardRows, RowsHoldTheCharacterKeysOfAUsKeyboard) {
    const size_t expected[] = {13, 13, 11, 10, 0};
    ASSERT_EQ(KeyboardRows().size(), 5u);
    for (size_t row = 0; row < 5; ++row) {
        size_t characters = 0;
        for (const KeyCap& key : KeyboardRows()[row]) {
            characters += key.kind == KeyKind::Character ? 1 : 0;
        }
        EXPECT_EQ(characters, expected[row]) << "row " << row;
    }
}

TEST(KeyboardRows, DrawEachMappedKeyOnce) {
    LayoutEntry table[kLayoutEntryCount];
    BuildLayout(table);
    std::map<uint16_t, int> drawn;
    for (const KeyRow& row : KeyboardRows()) {
        for (const KeyCap& key : row) {
            if (key.kind == KeyKind::Character) {
                ++drawn[key.scanCode];
            }
        }
    }
    std::set<uint16_t> mapped;
    for (uint16_t scanCode = 0; scanCode < kLayoutEntryCount; ++scanCode) {
        const LayoutEntry& entry = table[scanCode];
        if (entry.plain != 0 || entry.shift != 0 || entry.alt != 0 || entry.shiftAlt != 0) {
            mapped.insert(scanCode);
        }
    }
    // The extra key of 102-key keyboards types what the backslash key types; a US keyboard
    // has no such key.
    mapped.erase(86);
    for (const auto& [scanCode, count] : drawn) {
        EXPECT_EQ(count, 1) << "scan code " << scanCode;
    }
    std::set<uint16_t> drawnCodes;
    for (const auto& entry : drawn) {
        drawnCodes.insert(entry.first);
    }
    EXPECT_EQ(drawnCodes, mapped);
}

} // namespace
