// Any key event, modifier snapshot and mode: the decision reads only inside the table and keeps
// the rules the hook relies on.
//
// Input: vkCode (u32), scanCode (u32), switches (u8: bit 0 Caps Lock, 1 Shift, 2 Alt, 3 Ctrl,
// 4 echo mode, 7 raw). With the raw bit, five i32 follow (Caps Lock, Shift, Alt, Ctrl, echo
// mode) and may hold any value, not only the 0 or 1 the hook produces.
#include "translation/key_decision.h"

#include "fuzz_input.h"

namespace {

// Exactly 128 entries on the heap, so that AddressSanitizer reports a read on either side.
const LayoutEntry (&HeapTable())[kLayoutEntryCount] {
    static const auto* table = [] {
        auto* built = new LayoutEntry[1][kLayoutEntryCount];
        BuildLayout(*built);
        return built;
    }();
    return *table;
}

bool Passes(KeyActionKind kind) {
    return kind == KeyActionKind::Pass || kind == KeyActionKind::PassShowHint ||
           kind == KeyActionKind::PassClearHint;
}

bool IsUnitOf(const LayoutEntry& entry, uint16_t unit) {
    return unit == entry.plain || unit == entry.alt || unit == entry.shift ||
           unit == entry.shiftAlt;
}

// Read by field name, apart from the code under test: plane = Shift * 2 + Alt.
uint16_t UnitOfPlane(const LayoutEntry& entry, unsigned plane) {
    switch (plane) {
    case 0: return entry.plain;
    case 1: return entry.alt;
    case 2: return entry.shift;
    default: return entry.shiftAlt;
    }
}

// Rules that hold whatever values the snapshot and the mode carry.
void CheckAnyInput(uint32_t vk, uint32_t scan, const ModifierSnapshot& m, const KeyAction& a) {
    const auto& table = HeapTable();
    FUZZ_REQUIRE(Passes(a.kind) || a.kind == KeyActionKind::InjectChar ||
                 a.kind == KeyActionKind::EchoKey);
    if (!m.capsLock) {
        FUZZ_REQUIRE(Passes(a.kind));
    }
    // A character typed by another program is never taken for a key position.
    if (vk == kVirtualKeyPacket) {
        FUZZ_REQUIRE(a.kind == KeyActionKind::Pass);
    }
    if (scan >= kLayoutEntryCount) {
        FUZZ_REQUIRE(Passes(a.kind));
    }
    if (a.ctrlWrap) {
        FUZZ_REQUIRE(m.alt);
        FUZZ_REQUIRE(!Passes(a.kind));
    }
    if (a.kind == KeyActionKind::InjectChar) {
        FUZZ_REQUIRE(a.character != 0);
        FUZZ_REQUIRE(IsUnitOf(table[scan], a.character));
    }
    if (a.kind == KeyActionKind::EchoKey) {
        FUZZ_REQUIRE(a.virtualKey == (vk & 0xFF));
        FUZZ_REQUIRE(scan < kLayoutEntryCount);
    }
}

// With the 0-or-1 values the hook produces, the outcome is fully determined.
void CheckHookInput(uint32_t vk, uint32_t scan, const ModifierSnapshot& m, int32_t echo,
                    const KeyAction& a) {
    const auto& table = HeapTable();
    if (vk == kVirtualKeyPacket) {
        return;
    }
    if (!m.capsLock) {
        const KeyActionKind expected = echo == 0                  ? KeyActionKind::Pass
                                       : vk == kVirtualKeyCapital ? KeyActionKind::PassClearHint
                                                                  : KeyActionKind::PassShowHint;
        FUZZ_REQUIRE(a.kind == expected);
        return;
    }
    const bool shortcut = m.ctrl && !m.alt;
    const unsigned plane = static_cast<unsigned>(m.shift * 2 + m.alt);
    const uint16_t unit = scan < kLayoutEntryCount ? UnitOfPlane(table[scan], plane) : 0;
    if (shortcut || unit == 0) {
        FUZZ_REQUIRE(a.kind == KeyActionKind::Pass);
        return;
    }
    FUZZ_REQUIRE(a.ctrlWrap == (m.alt && !m.ctrl));
    if (echo == 1) {
        FUZZ_REQUIRE(a.kind == KeyActionKind::EchoKey);
    } else {
        FUZZ_REQUIRE(a.kind == KeyActionKind::InjectChar);
        FUZZ_REQUIRE(a.character == unit);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput input(data, size);
    const uint32_t vk = input.U32();
    const uint32_t scan = input.U32();
    const uint8_t switches = input.U8();
    const bool raw = switches & 0x80;
    ModifierSnapshot m{switches & 1, (switches >> 1) & 1, (switches >> 2) & 1, (switches >> 3) & 1};
    int32_t echo = (switches >> 4) & 1;
    if (raw) {
        m = ModifierSnapshot{input.I32(), input.I32(), input.I32(), input.I32()};
        echo = input.I32();
    }
    const KeyAction action = DecideKeyAction(vk, scan, m, echo, HeapTable());
    CheckAnyInput(vk, scan, m, action);
    if (!raw) {
        CheckHookInput(vk, scan, m, echo, action);
    }
    return 0;
}
