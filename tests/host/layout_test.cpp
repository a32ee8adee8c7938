#include "translation/layout.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>

namespace {

LayoutEntry Built[kLayoutEntryCount];

class LayoutTest : public ::testing::Test {
  protected:
    void SetUp() override {
        BuildLayout(Built);
    }
};

// Names of the Unicode Character Database, read from Debian's unicode-data package.
const std::map<uint32_t, std::string>& UnicodeNames() {
    static const std::map<uint32_t, std::string> names = [] {
        std::map<uint32_t, std::string> result;
        std::ifstream file(QELVARO_UNICODE_DATA);
        std::string line;
        while (std::getline(file, line)) {
            std::istringstream fields(line);
            std::string code;
            std::string name;
            std::getline(fields, code, ';');
            std::getline(fields, name, ';');
            result[static_cast<uint32_t>(std::stoul(code, nullptr, 16))] = name;
        }
        return result;
    }();
    return names;
}

TEST_F(LayoutTest, EveryUnitIsAnAssignedCharacterOfTheExpectedKind) {
    const auto& names = UnicodeNames();
    ASSERT_GT(names.size(), 30000u) << "UnicodeData.txt not read";
    // Besides syllabics, only ASCII, Latin-1 and a few typographic signs.
    const std::set<uint16_t> signs = {0x2013, 0x2014, 0x2018, 0x2019, 0x201C,
                                      0x201D, 0x2022, 0x2026, 0x2122};
    int units = 0;
    for (unsigned scan = 0; scan < kLayoutEntryCount; ++scan) {
        for (unsigned plane = 0; plane < 4; ++plane) {
            const uint16_t unit = LayoutUnit(Built[scan], plane);
            if (unit == 0) {
                continue;
            }
            ++units;
            SCOPED_TRACE(testing::Message() << "scan " << scan << " plane " << plane);
            ASSERT_FALSE(unit >= 0xD800 && unit <= 0xDFFF) << "surrogate";
            const auto name = names.find(unit);
            ASSERT_NE(name, names.end()) << std::hex << unit << " is not assigned";
            EXPECT_NE(name->second[0], '<') << "control or other unnamed character";
            if (unit >= 0x1400 && unit <= 0x167F) {
                EXPECT_EQ(name->second.rfind("CANADIAN SYLLABICS ", 0), 0u) << name->second;
            } else {
                EXPECT_TRUE(unit <= 0xFF || signs.count(unit)) << std::hex << unit;
            }
        }
    }
    EXPECT_EQ(units, 184);
}

TEST_F(LayoutTest, OnlyTheCharacterKeysAreMapped) {
    std::set<unsigned> mapped;
    for (unsigned scan = 0; scan < kLayoutEntryCount; ++scan) {
        const LayoutEntry& e = Built[scan];
        if (e.plain || e.alt || e.shift || e.shiftAlt) {
            mapped.insert(scan);
        }
    }
    // The number row, the three letter rows with their punctuation, and the 102-key extra key;
    // the space bar, Esc, editing keys, modifiers, function keys and the keypad are not.
    std::set<unsigned> expected;
    for (unsigned scan = 2; scan <= 13; ++scan)
        expected.insert(scan);
    for (unsigned scan = 16; scan <= 27; ++scan)
        expected.insert(scan);
    for (unsigned scan = 30; scan <= 41; ++scan)
        expected.insert(scan);
    for (unsigned scan = 43; scan <= 53; ++scan)
        expected.insert(scan);
    expected.insert(86);
    EXPECT_EQ(mapped, expected);
}

TEST_F(LayoutTest, PlanesAreStoredUnderTheirOwnNames) {
    // Shift on the number row types the ASCII digits in keyboard order.
    const std::string digits = "1234567890";
    for (unsigned i = 0; i < digits.size(); ++i) {
        EXPECT_EQ(Built[2 + i].shift, static_cast<uint16_t>(digits[i])) << "scan " << 2 + i;
        EXPECT_GE(Built[2 + i].plain, 0x1400) << "scan " << 2 + i;
    }
    EXPECT_EQ(Built[2].alt, 0x1670);
    EXPECT_EQ(LayoutUnit(Built[2], 1), 0x1670);
    EXPECT_EQ(LayoutUnit(Built[2], 2), 0x0031);
    EXPECT_EQ(LayoutUnit(Built[37], 3), 0x1558);
    // The grave key has only its tilde.
    EXPECT_EQ(Built[41].shift, '~');
    EXPECT_EQ(Built[41].plain | Built[41].alt | Built[41].shiftAlt, 0);
    // The two backslash positions type the same characters.
    EXPECT_EQ(Built[43].plain, Built[86].plain);
    EXPECT_EQ(Built[43].alt, Built[86].alt);
    EXPECT_EQ(Built[43].shift, Built[86].shift);
    EXPECT_EQ(Built[43].shiftAlt, Built[86].shiftAlt);
}

TEST_F(LayoutTest, SetLayoutEntryIgnoresScanCodesOutsideTheTable) {
    LayoutEntry table[kLayoutEntryCount] = {};
    SetLayoutEntry(table, 128, 1, 2, 3, 4);
    SetLayoutEntry(table, 65535, 1, 2, 3, 4);
    for (const LayoutEntry& e : table) {
        EXPECT_EQ(e.plain | e.alt | e.shift | e.shiftAlt, 0);
    }
    SetLayoutEntry(table, 127, 0x1401, 0x1402, 0x1403, 0x1404);
    EXPECT_EQ(table[127].plain, 0x1401);
    EXPECT_EQ(table[127].shift, 0x1402);
    EXPECT_EQ(table[127].alt, 0x1403);
    EXPECT_EQ(table[127].shiftAlt, 0x1404);
}

TEST_F(LayoutTest, BuildingAgainOverwritesEverything) {
    LayoutEntry table[kLayoutEntryCount];
    for (unsigned scan = 0; scan < kLayoutEntryCount; ++scan) {
        table[scan] = LayoutEntry{0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF};
    }
    BuildLayout(table);
    BuildLayout(table);
    for (unsigned scan = 0; scan < kLayoutEntryCount; ++scan) {
        for (unsigned plane = 0; plane < 4; ++plane) {
            EXPECT_EQ(LayoutUnit(table[scan], plane), LayoutUnit(Built[scan], plane));
        }
    }
    EXPECT_EQ(table[57].plain | table[57].alt | table[57].shift | table[57].shiftAlt, 0);
}

} // namespace
