// The portable core over its whole input domain: the keystroke decision, the layout table, the
// sizing rule and the bounded copy.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <map>
#include <numeric>
#include <set>
#include <tuple>
#include <vector>

#include "picture/minimum_size.h"
#include "shell/string_copy.h"
#include "translation/key_decision.h"

namespace {

using Kind = KeyActionKind;
LayoutEntry layout[kLayoutEntryCount];
bool const built = (BuildLayout(layout), true);

// With Caps Lock on, by Alt, Ctrl and Shift: whether the key passes, the plane it reads (by
// field name) and whether Left-Ctrl wraps the output.
const std::tuple<bool, uint16_t LayoutEntry::*, bool> kModifierTable[2][2][2] = {
    {{{false, &LayoutEntry::plain, false}, {false, &LayoutEntry::shift, false}},
     {{true, nullptr, false}, {true, nullptr, false}}},
    {{{false, &LayoutEntry::alt, true}, {false, &LayoutEntry::shiftAlt, true}},
     {{false, &LayoutEntry::alt, false}, {false, &LayoutEntry::shiftAlt, false}}},
};

KeyAction Rule(uint32_t vk, uint32_t scan, uint32_t flags, const ModifierSnapshot& m,
               int32_t echo) {
    // VK_PACKET: another program's character; Windows-key shortcuts belong to Windows.
    if (vk == 0xE7 || m.windowsKey || (!m.capsLock && echo == 0)) {
        return {Kind::Pass, 0, 0, false};
    }
    if (!m.capsLock) {
        return {vk == 20 ? Kind::PassClearHint : Kind::PassShowHint, 0, 0, false};
    }
    const auto& [passes, plane, wrap] = kModifierTable[m.alt][m.ctrl][m.shift];
    const uint16_t unit = passes || scan >= 128 || (flags & 1) ? 0 : layout[scan].*plane;
    if (unit == 0) {
        return {Kind::Pass, 0, 0, false};
    }
    return echo == 1 ? KeyAction{Kind::EchoKey, 0, static_cast<uint8_t>(vk & 0xFF), wrap}
                     : KeyAction{Kind::InjectChar, unit, 0, wrap};
}

std::string Text(const KeyAction& a) {
    return std::to_string(static_cast<int>(a.kind)) + " " + std::to_string(a.character) + " " +
           std::to_string(a.virtualKey) + (a.ctrlWrap ? " wrapped" : "");
}

bool operator==(const KeyAction& a, const KeyAction& b) {
    return a.kind == b.kind && a.character == b.character && a.virtualKey == b.virtualKey &&
           a.ctrlWrap == b.ctrlWrap;
}

// Every virtual key and scan code with every modifier combination, mode and kind of event flags
// (extended, injected and Alt-down, all of them).
TEST(KeyDecision, FollowsTheRulesForEveryKeyModifierAndMode) {
    std::vector<uint32_t> scans(301);
    std::iota(scans.begin(), scans.end(), 0u);
    scans.insert(scans.end(), {0x1000, 0xFFFF, 0x80000000u, 0xFFFFFFFFu});
    const uint32_t flagSets[] = {0, 1, 0x30, 0xFFFFFFFF};
    for (uint32_t vk = 0; vk <= 0x1FF; ++vk) {
        for (uint32_t scan : scans) {
            for (int bits = 0; bits < 256; ++bits) {
                const ModifierSnapshot m{bits & 1, bits >> 1 & 1, bits >> 2 & 1, bits >> 3 & 1,
                                         bits >> 4 & 1};
                const uint32_t flags = flagSets[bits >> 6];
                const KeyAction action = DecideKeyAction(vk, scan, flags, m, bits >> 5 & 1, layout);
                const KeyAction expected = Rule(vk, scan, flags, m, bits >> 5 & 1);
                ASSERT_TRUE(action == expected)
                    << Text(action) << " for vk " << vk << " scan " << scan << " bits " << bits;
            }
        }
    }
}

TEST(Layout, MapsTheCharacterKeysToAssignedCharactersOfTheExpectedKind) {
    std::map<uint32_t, std::string> names;
    std::ifstream data("/usr/share/unicode/UnicodeData.txt");
    for (std::string code, name, rest; std::getline(data, code, ';') &&
                                       std::getline(data, name, ';') && std::getline(data, rest);) {
        names[std::stoul(code, nullptr, 16)] = name;
    }
    ASSERT_GT(names.size(), 30000u) << "UnicodeData.txt not read";
    // Besides syllabics only printable Latin-1 and a few typographic signs.
    const std::set<uint32_t> signs = {0x2013, 0x2014, 0x2018, 0x2019, 0x201C,
                                      0x201D, 0x2022, 0x2026, 0x2122};
    std::set<uint16_t> syllabics;
    const auto syllabic = [](uint16_t unit) { return unit >= 0x1400 && unit <= 0x167F; };
    for (unsigned scan = 0; scan < kLayoutEntryCount; ++scan) {
        const LayoutEntry& e = layout[scan];
        // Shift types the digits of the number row. Elsewhere Alt turns a syllabic into its long
        // vowel, which Unicode places right after the short one. No syllabic sits on two keys.
        if (scan >= 2 && scan <= 11) {
            EXPECT_EQ(e.shift, "1234567890"[scan - 2]) << "number row at " << scan;
        } else {
            EXPECT_TRUE((!syllabic(e.plain) || !syllabic(e.alt) || e.alt == e.plain + 1) &&
                        (!syllabic(e.shift) || !syllabic(e.shiftAlt) || e.shiftAlt == e.shift + 1))
                << "long vowels at " << scan;
        }
        // The number row, the three letter rows and the extra key of 102-key keyboards; the
        // space bar, editing keys, modifiers, function keys and keypad pass.
        const bool characterKey = (scan >= 2 && scan <= 53 && scan != 14 && scan != 15 &&
                                   scan != 28 && scan != 29 && scan != 42) ||
                                  scan == 86;
        EXPECT_EQ((e.plain | e.alt | e.shift | e.shiftAlt) != 0, characterKey) << "at " << scan;
        for (uint16_t unit : {e.plain, e.alt, e.shift, e.shiftAlt}) {
            const std::string& name = names[unit];
            EXPECT_TRUE(
                unit == 0 ||
                (syllabic(unit)
                     ? name.rfind("CANADIAN SYLLABICS ", 0) == 0 && syllabics.insert(unit).second
                     : (unit >= 0x20 && unit <= 0xFF && name[0] != '<') || signs.count(unit)))
                << std::hex << unit << " " << name << " (or twice) at " << std::dec << scan;
        }
    }
    EXPECT_EQ(std::memcmp(&layout[43], &layout[86], sizeof(LayoutEntry)), 0);
}

// Only the dragged edge moves, and only to make the rectangle exactly 96 wide or 46 tall.
TEST(ApplyMinimumSize, MovesOnlyTheDraggedEdgeToTheMinimum) {
    const int32_t sizes[] = {-30, 0, 45, 46, 47, 95, 96, 97, 973};
    for (uint32_t edge = 0; edge <= 9; ++edge) {
        const bool left = edge % 3 == 1 && edge < 9, right = edge % 3 == 2 && edge < 9;
        const bool top = edge >= 3 && edge <= 5, bottom = edge >= 6 && edge <= 8;
        for (int32_t width : sizes) {
            for (int32_t height : sizes) {
                const SizingRect in{-200, 300, -200 + width, 300 + height};
                const SizingRect out = ApplyMinimumSize(edge, in);
                EXPECT_TRUE(out.left == (left && width < 96 ? in.right - 96 : in.left) &&
                            out.right == (right && width < 96 ? in.left + 96 : in.right) &&
                            out.top == (top && height < 46 ? in.bottom - 46 : in.top) &&
                            out.bottom == (bottom && height < 46 ? in.top + 46 : in.bottom))
                    << "edge " << edge << ", " << width << " by " << height;
            }
        }
    }
}

// Every capacity and length up to a dozen: capacity - 1 characters at most, always terminated,
// nothing written beyond.
TEST(CopyStringBounded, CopiesAtMostCapacityMinusOneAndTerminates) {
    const std::string source = "Qelvaro syll";
    for (size_t length = 0; length <= source.size(); ++length) {
        for (size_t capacity = 0; capacity <= 12; ++capacity) {
            char target[16];
            std::memset(target, '#', sizeof target);
            const std::string text = source.substr(0, length);
            EXPECT_EQ(CopyStringBounded(target, text.c_str(), capacity), target);
            std::string expected(sizeof target, '#');
            if (capacity > 0) {
                const size_t kept = std::min(length, capacity - 1);
                expected.replace(0, kept + 1, text.substr(0, kept) + '\0');
            }
            EXPECT_EQ(std::string(target, sizeof target), expected)
                << length << " into " << capacity;
        }
    }
}

} // namespace
