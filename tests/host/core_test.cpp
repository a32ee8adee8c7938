// The portable core over its whole input domain: the keystroke decision, the layout table, the
// sizing rule and the bounded copy.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <string>

using namespace std::string_literals;

#include "picture/minimum_size.h"
#include "shell/string_copy.h"
#include "translation/key_decision.h"

namespace {

using Kind = KeyActionKind;
using Table = LayoutEntry[kLayoutEntryCount];

const Table& Layout() {
    static Table table;
    static const bool built = (BuildLayout(table), true);
    (void)built;
    return table;
}

// With Caps Lock on, by Alt, Ctrl and Shift: whether the key passes, the plane it reads (by
// field name) and whether Left-Ctrl wraps the output.
struct ModifierRow {
    bool passes;
    uint16_t LayoutEntry::*plane;
    bool wrap;
};
ModifierRow const kModifierTable[2][2][2] = {
    {{{false, &LayoutEntry::plain, false}, {false, &LayoutEntry::shift, false}},
     {{true, nullptr, false}, {true, nullptr, false}}},
    {{{false, &LayoutEntry::alt, true}, {false, &LayoutEntry::shiftAlt, true}},
     {{false, &LayoutEntry::alt, false}, {false, &LayoutEntry::shiftAlt, false}}},
};

KeyAction Rule(uint32_t vk, uint32_t scan, const ModifierSnapshot& m, int32_t echo) {
    const KeyAction pass{Kind::Pass, 0, 0, false};
    if (vk == 0xE7) { // VK_PACKET: a character another program injects
        return pass;
    }
    if (!m.capsLock) {
        return echo == 0 ? pass
                         : KeyAction{vk == 20 ? Kind::PassClearHint : Kind::PassShowHint, 0, 0, false};
    }
    const ModifierRow& row = kModifierTable[m.alt][m.ctrl][m.shift];
    const uint16_t unit = row.passes || scan >= 128 ? 0 : Layout()[scan].*row.plane;
    if (unit == 0) {
        return pass;
    }
    if (echo == 1) {
        return {Kind::EchoKey, 0, static_cast<uint8_t>(vk & 0xFF), row.wrap};
    }
    return {Kind::InjectChar, unit, 0, row.wrap};
}

bool Same(const KeyAction& a, const KeyAction& b) {
    return a.kind == b.kind && a.character == b.character && a.virtualKey == b.virtualKey &&
           a.ctrlWrap == b.ctrlWrap;
}

TEST(KeyDecision, FollowsTheRulesForEveryKeyModifierAndMode) {
    std::set<uint32_t> scans = {0x1000, 0xFFFF, 0x80000000u, 0xFFFFFFFFu};
    for (uint32_t scan = 0; scan <= 300; ++scan) {
        scans.insert(scan);
    }
    for (uint32_t vk = 0; vk <= 0x1FF; ++vk) {
        for (uint32_t scan : scans) {
            for (int bits = 0; bits < 32; ++bits) {
                const ModifierSnapshot m{bits & 1, bits >> 1 & 1, bits >> 2 & 1, bits >> 3 & 1};
                const KeyAction action = DecideKeyAction(vk, scan, m, bits >> 4, Layout());
                ASSERT_TRUE(Same(action, Rule(vk, scan, m, bits >> 4)))
                    << "vk " << vk << " scan " << scan << " modifiers " << (bits & 15) << " echo "
                    << (bits >> 4) << ": kind " << static_cast<int>(action.kind) << " character "
                    << action.character << " wrap " << action.ctrlWrap;
            }
        }
    }
}

// A few keys whose result is known by heart: they pin the table and the order of its planes.
TEST(KeyDecision, KeysKnownByHeart) {
    const ModifierSnapshot caps{1, 0, 0, 0}, shift{1, 1, 0, 0}, alt{1, 0, 1, 0};
    const ModifierSnapshot ctrlAlt{1, 0, 1, 1}, shiftAlt{1, 1, 1, 0};
    const struct {
        const char* what;
        uint32_t vk, scan;
        ModifierSnapshot m;
        KeyAction expected;
    } keys[] = {
        {"Q", 'Q', 16, caps, {Kind::InjectChar, 0x158F, 0, false}},
        {"Shift+1", '1', 2, shift, {Kind::InjectChar, '1', 0, false}},
        {"Alt+1", '1', 2, alt, {Kind::InjectChar, 0x1670, 0, true}},
        {"Alt+K", 'K', 37, alt, {Kind::InjectChar, 0x14C5, 0, true}},
        {"Ctrl+Alt+K", 'K', 37, ctrlAlt, {Kind::InjectChar, 0x14C5, 0, false}},
        {"Shift+Alt+K", 'K', 37, shiftAlt, {Kind::InjectChar, 0x1558, 0, true}},
        {"grave", 0xC0, 41, caps, {Kind::Pass, 0, 0, false}},
        {"Shift+grave", 0xC0, 41, shift, {Kind::InjectChar, '~', 0, false}},
        {"a packet carrying 'q'", 0xE7, 16, caps, {Kind::Pass, 0, 0, false}},
    };
    for (const auto& key : keys) {
        const KeyAction action = DecideKeyAction(key.vk, key.scan, key.m, 0, Layout());
        EXPECT_TRUE(Same(action, key.expected))
            << key.what << ": kind " << static_cast<int>(action.kind) << " character "
            << action.character << " wrap " << action.ctrlWrap;
    }
}

TEST(Layout, EveryUnitIsAnAssignedCharacterOfTheExpectedKind) {
    std::map<uint32_t, std::string> names;
    std::ifstream data(QELVARO_UNICODE_DATA);
    for (std::string line; std::getline(data, line);) {
        const size_t semicolon = line.find(';');
        names[std::stoul(line.substr(0, semicolon), nullptr, 16)] =
            line.substr(semicolon + 1, line.find(';', semicolon + 1) - semicolon - 1);
    }
    ASSERT_GT(names.size(), 30000u) << "UnicodeData.txt not read";
    // Besides syllabics, only ASCII, Latin-1 and a few typographic signs.
    const std::set<uint32_t> signs = {0x2013, 0x2014, 0x2018, 0x2019, 0x201C,
                                      0x201D, 0x2022, 0x2026, 0x2122};
    std::set<unsigned> mapped;
    for (unsigned scan = 0; scan < kLayoutEntryCount; ++scan) {
        const LayoutEntry& e = Layout()[scan];
        for (uint16_t unit : {e.plain, e.alt, e.shift, e.shiftAlt}) {
            if (unit == 0) {
                continue;
            }
            mapped.insert(scan);
            const std::string& name = names[unit];
            EXPECT_FALSE(name.empty() || name[0] == '<') << std::hex << unit << " at " << scan;
            if (unit >= 0x1400 && unit <= 0x167F) {
                EXPECT_EQ(name.rfind("CANADIAN SYLLABICS ", 0), 0u) << name;
            } else {
                EXPECT_TRUE(unit >= 0x20 && unit <= 0xFF ? unit != 0x7F : signs.count(unit) > 0)
                    << std::hex << unit << " at " << scan;
            }
        }
    }
    // The character keys: the number row, the three letter rows and the extra key of 102-key
    // keyboards. Space, editing keys, modifiers, function keys and the keypad pass.
    std::set<unsigned> characterKeys = {86};
    for (const auto& row : {std::make_pair(2, 13), {16, 27}, {30, 41}, {43, 53}}) {
        for (int scan = row.first; scan <= row.second; ++scan) {
            characterKeys.insert(static_cast<unsigned>(scan));
        }
    }
    EXPECT_EQ(mapped, characterKeys);
    EXPECT_EQ(std::memcmp(&Layout()[43], &Layout()[86], sizeof(LayoutEntry)), 0);
}

TEST(Layout, BuildsFromScratchAndIgnoresScanCodesBeyondTheTable) {
    Table table;
    std::memset(table, 0xFF, sizeof table);
    BuildLayout(table);
    EXPECT_EQ(std::memcmp(table, Layout(), sizeof table), 0) << "every unit set anew";
    SetLayoutEntry(table, 128, 1, 2, 3, 4);
    SetLayoutEntry(table, 0xFFFF, 1, 2, 3, 4);
    EXPECT_EQ(std::memcmp(table, Layout(), sizeof table), 0);
    SetLayoutEntry(table, 127, 1, 2, 3, 4);
    EXPECT_TRUE(table[127].plain == 1 && table[127].shift == 2 && table[127].alt == 3 &&
                table[127].shiftAlt == 4);
}

// Only the dragged edge moves, and only to make the rectangle exactly 96 wide or 46 tall.
TEST(ApplyMinimumSize, MovesOnlyTheDraggedEdgeToTheMinimum) {
    const int32_t sizes[] = {-30, 0, 45, 46, 47, 95, 96, 97, 973};
    for (uint32_t edge = 0; edge <= 9; ++edge) {
        const bool left = edge == 1 || edge == 4 || edge == 7;
        const bool right = edge == 2 || edge == 5 || edge == 8;
        const bool top = edge >= 3 && edge <= 5;
        const bool bottom = edge >= 6 && edge <= 8;
        for (int32_t width : sizes) {
            for (int32_t height : sizes) {
                const SizingRect in{-200, 300, -200 + width, 300 + height};
                const SizingRect out = ApplyMinimumSize(edge, in);
                const bool narrow = width < 96, low = height < 46;
                SCOPED_TRACE(testing::Message()
                             << "edge " << edge << ", " << width << " by " << height);
                EXPECT_EQ(out.left, left && narrow ? in.right - 96 : in.left);
                EXPECT_EQ(out.right, right && narrow ? in.left + 96 : in.right);
                EXPECT_EQ(out.top, top && low ? in.bottom - 46 : in.top);
                EXPECT_EQ(out.bottom, bottom && low ? in.top + 46 : in.bottom);
            }
        }
    }
    // Widths beyond 32 bits neither overflow nor wrap the moved edge around.
    EXPECT_EQ(ApplyMinimumSize(1, {INT_MIN, 0, INT_MAX, 100}).left, INT_MIN);
    EXPECT_EQ(ApplyMinimumSize(8, {INT_MAX, INT_MAX, INT_MIN, INT_MIN}).right, INT_MAX);
    EXPECT_EQ(ApplyMinimumSize(4, {INT_MAX, INT_MAX, INT_MIN, INT_MIN}).top, INT_MIN);
}

// Every capacity and length up to a few bytes: capacity - 1 characters at most, always
// terminated, nothing written past the terminator.
TEST(CopyStringBounded, CopiesAtMostCapacityMinusOneAndTerminates) {
    const char source[] = "Qelvaro syll";
    for (size_t length = 0; length < sizeof source; ++length) {
        const std::string text(source, length);
        for (size_t capacity = 0; capacity <= 12; ++capacity) {
            char target[16];
            std::memset(target, '#', sizeof target);
            EXPECT_EQ(CopyStringBounded(target, text.c_str(), capacity), target);
            const size_t kept = capacity == 0 ? 0 : std::min(length, capacity - 1);
            const std::string expected = text.substr(0, kept) + (capacity == 0 ? "" : "\0"s);
            EXPECT_EQ(std::string(target, expected.size()), expected)
                << length << " into " << capacity;
            EXPECT_EQ(std::string(target + expected.size(), sizeof target - expected.size()),
                      std::string(sizeof target - expected.size(), '#'))
                << length << " into " << capacity;
        }
    }
}

} // namespace
