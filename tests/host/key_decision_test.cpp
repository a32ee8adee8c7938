#include "translation/key_decision.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr uint32_t kVkPacket = 0xE7;
constexpr uint32_t kVkCapital = 20;

LayoutEntry Table[kLayoutEntryCount];

class KeyDecisionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        BuildLayout(Table);
    }
};

ModifierSnapshot Mods(int caps, int shift, int alt, int ctrl) {
    return ModifierSnapshot{caps, shift, alt, ctrl};
}

// Every modifier combination, both modes, every scan code up to 255 and a few far beyond.
struct Sweep {
    std::vector<uint32_t> scans;
    std::vector<uint32_t> vks{0x00, 0x08, 0x10, kVkCapital, 0x41, 0x4B, 0x5A, 0xA2, 0xFF, 0x1FF};
    Sweep() {
        for (uint32_t scan = 0; scan < 256; ++scan)
            scans.push_back(scan);
        for (uint32_t scan : {256u, 0x1000u, 0xFFFFu, 0x80000000u, 0xFFFFFFFFu})
            scans.push_back(scan);
    }
    template <typename Check> void Run(Check check) const {
        for (int echo = 0; echo < 2; ++echo)
            for (int bits = 0; bits < 16; ++bits)
                for (uint32_t vk : vks)
                    for (uint32_t scan : scans) {
                        const ModifierSnapshot m =
                            Mods(bits & 1, (bits >> 1) & 1, (bits >> 2) & 1, (bits >> 3) & 1);
                        check(vk, scan, m, echo, DecideKeyAction(vk, scan, m, echo, Table));
                    }
    }
};

TEST_F(KeyDecisionTest, CapsLockOffPassesOrHintsForEveryKey) {
    Sweep().Run([](uint32_t vk, uint32_t, const ModifierSnapshot& m, int echo, KeyAction a) {
        if (m.capsLock) {
            return;
        }
        if (echo == 0) {
            ASSERT_EQ(a.kind, KeyActionKind::Pass);
        } else {
            ASSERT_EQ(a.kind,
                      vk == kVkCapital ? KeyActionKind::PassClearHint : KeyActionKind::PassShowHint)
                << "vk " << vk;
        }
    });
}

// The modifier table with Caps Lock on: which plane is read and whether Left-Ctrl wraps it.
struct ModifierRow {
    int alt, ctrl, shift;
    bool passes;
    unsigned plane;
    bool wrap;
};
const ModifierRow kModifierRows[] = {
    {0, 0, 0, false, 0, false}, {0, 0, 1, false, 2, false}, {0, 1, 0, true, 0, false},
    {0, 1, 1, true, 0, false},  {1, 0, 0, false, 1, true},  {1, 0, 1, false, 3, true},
    {1, 1, 0, false, 1, false}, {1, 1, 1, false, 3, false},
};

TEST_F(KeyDecisionTest, CapsLockOnFollowsTheModifierTableForEveryKey) {
    Sweep().Run([](uint32_t vk, uint32_t scan, const ModifierSnapshot& m, int echo, KeyAction a) {
        if (!m.capsLock) {
            return;
        }
        const ModifierRow* row = nullptr;
        for (const ModifierRow& r : kModifierRows) {
            if (r.alt == m.alt && r.ctrl == m.ctrl && r.shift == m.shift)
                row = &r;
        }
        ASSERT_NE(row, nullptr);
        const uint16_t unit = scan < 128 ? LayoutUnit(Table[scan], row->plane) : 0;
        if (row->passes || unit == 0) {
            ASSERT_EQ(a.kind, KeyActionKind::Pass) << "scan " << scan;
            return;
        }
        ASSERT_EQ(a.ctrlWrap, row->wrap) << "scan " << scan;
        if (echo) {
            ASSERT_EQ(a.kind, KeyActionKind::EchoKey);
            ASSERT_EQ(a.virtualKey, vk & 0xFF);
        } else {
            ASSERT_EQ(a.kind, KeyActionKind::InjectChar);
            ASSERT_EQ(a.character, unit);
        }
    });
}

TEST_F(KeyDecisionTest, KeysPeopleUseEveryDay) {
    struct Case {
        const char* what;
        uint32_t vk, scan;
        ModifierSnapshot m;
        int echo;
        KeyActionKind kind;
        uint16_t character;
        uint8_t virtualKey;
        bool wrap;
    };
    const Case cases[] = {
        {"Q", 'Q', 16, Mods(1, 0, 0, 0), 0, KeyActionKind::InjectChar, 0x158F, 0, false},
        {"Shift+1", '1', 2, Mods(1, 1, 0, 0), 0, KeyActionKind::InjectChar, '1', 0, false},
        {"Alt+K", 'K', 37, Mods(1, 0, 1, 0), 0, KeyActionKind::InjectChar, 0x14C5, 0, true},
        {"Ctrl+Alt+K", 'K', 37, Mods(1, 0, 1, 1), 0, KeyActionKind::InjectChar, 0x14C5, 0, false},
        {"Shift+Alt+K", 'K', 37, Mods(1, 1, 1, 0), 0, KeyActionKind::InjectChar, 0x1558, 0, true},
        {"Ctrl+C", 'C', 46, Mods(1, 0, 0, 1), 0, KeyActionKind::Pass, 0, 0, false},
        {"Shift+grave", 0xC0, 41, Mods(1, 1, 0, 0), 0, KeyActionKind::InjectChar, '~', 0, false},
        {"grave", 0xC0, 41, Mods(1, 0, 0, 0), 0, KeyActionKind::Pass, 0, 0, false},
        {"space", ' ', 57, Mods(1, 0, 0, 0), 0, KeyActionKind::Pass, 0, 0, false},
        {"Enter", 0x0D, 28, Mods(1, 0, 0, 0), 0, KeyActionKind::Pass, 0, 0, false},
        {"Backspace", 0x08, 14, Mods(1, 0, 0, 0), 0, KeyActionKind::Pass, 0, 0, false},
        {"Tab", 0x09, 15, Mods(1, 0, 0, 0), 0, KeyActionKind::Pass, 0, 0, false},
        {"Left arrow", 0x25, 75, Mods(1, 0, 0, 0), 0, KeyActionKind::Pass, 0, 0, false},
        {"F1", 0x70, 59, Mods(1, 0, 0, 0), 0, KeyActionKind::Pass, 0, 0, false},
        {"F12", 0x7B, 88, Mods(1, 0, 0, 0), 0, KeyActionKind::Pass, 0, 0, false},
        {"keypad 7", 0x67, 71, Mods(1, 0, 0, 0), 0, KeyActionKind::Pass, 0, 0, false},
        {"keypad slash", 0x6F, 53, Mods(1, 0, 0, 0), 0, KeyActionKind::InjectChar, 0x152D, 0,
         false},
        {"echo K", 'K', 37, Mods(1, 0, 0, 0), 1, KeyActionKind::EchoKey, 0, 'K', false},
        {"echo Alt+K", 'K', 37, Mods(1, 0, 1, 0), 1, KeyActionKind::EchoKey, 0, 'K', true},
        {"echo space", ' ', 57, Mods(1, 0, 0, 0), 1, KeyActionKind::Pass, 0, 0, false},
        {"echo Shift, Caps Lock off", 0x10, 42, Mods(0, 1, 0, 0), 1, KeyActionKind::PassShowHint, 0,
         0, false},
        {"echo Caps Lock, Caps Lock off", kVkCapital, 58, Mods(0, 0, 0, 0), 1,
         KeyActionKind::PassClearHint, 0, 0, false},
    };
    for (const Case& c : cases) {
        const KeyAction a = DecideKeyAction(c.vk, c.scan, c.m, c.echo, Table);
        EXPECT_EQ(a.kind, c.kind) << c.what;
        if (c.kind == KeyActionKind::InjectChar) {
            EXPECT_EQ(a.character, c.character) << c.what;
        }
        if (c.kind == KeyActionKind::EchoKey) {
            EXPECT_EQ(a.virtualKey, c.virtualKey) << c.what;
        }
        EXPECT_EQ(a.ctrlWrap, c.wrap) << c.what;
    }
}

// Other programs type characters as VK_PACKET events whose scan-code field carries the
// character: a space, a carriage return or a digit must not come out as syllabics.
TEST_F(KeyDecisionTest, CharactersInjectedByOtherProgramsAlwaysPass) {
    const uint32_t characters[] = {' ', '\r', '0', '1', '5', 'q', 0x7F, 0x1401, 0xFFFF};
    for (uint32_t character : characters) {
        for (int echo = 0; echo < 2; ++echo) {
            for (int bits = 0; bits < 16; ++bits) {
                const ModifierSnapshot m =
                    Mods(bits & 1, (bits >> 1) & 1, (bits >> 2) & 1, (bits >> 3) & 1);
                EXPECT_EQ(DecideKeyAction(kVkPacket, character, m, echo, Table).kind,
                          KeyActionKind::Pass)
                    << "character " << character << " modifiers " << bits << " echo " << echo;
            }
        }
    }
}

TEST_F(KeyDecisionTest, AnEmptyTableTranslatesNothing) {
    LayoutEntry empty[kLayoutEntryCount] = {};
    for (uint32_t scan = 0; scan < 128; ++scan) {
        EXPECT_EQ(DecideKeyAction('A', scan, Mods(1, 0, 0, 0), 0, empty).kind, KeyActionKind::Pass);
        EXPECT_EQ(DecideKeyAction('A', scan, Mods(1, 1, 1, 0), 1, empty).kind, KeyActionKind::Pass);
    }
}

} // namespace
